#include "linewarden/text/Format.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace linewarden {

std::string formatFixed2(double value) {
    std::array<char, 64> buffer{};
    const int n = std::snprintf(buffer.data(), buffer.size(), "%.2f", value);
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<std::size_t>(n));
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), "%.2f", value);
    big.resize(static_cast<std::size_t>(n));
    return big;
}

std::string formatShortest(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    // Fixed notation with the fewest digits that read back to `value`: never an exponent, however
    // large or small. The longest such form (the smallest subnormal) has 326 characters.
    std::array<char, 400> buffer{};
    const auto [end, ec] =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed);
    std::string text(buffer.data(), ec == std::errc{} ? end : buffer.data());
    if (text.find('.') == std::string::npos) text += ".0";
    return text;
}

}  // namespace linewarden
