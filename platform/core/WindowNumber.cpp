#include <cmath>
#include <limits>

#include "platform/Platform.h"

namespace platform {

std::optional<WindowNumber> exactWindowNumber(double raw) {
    if (!std::isfinite(raw) || raw < 0 || raw > std::numeric_limits<WindowNumber>::max()) return std::nullopt;
    if (std::trunc(raw) != raw) return std::nullopt;
    return static_cast<WindowNumber>(raw);
}

}  // namespace platform
