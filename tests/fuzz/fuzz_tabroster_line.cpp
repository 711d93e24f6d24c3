// A title as tabroster writes it, for any bytes: one line of valid UTF-8, and text that needed no
// change passes unchanged.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "tabroster/TabRoster.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string_view title(reinterpret_cast<const char*>(bytes), size);
    const std::string line = tabroster::asOneLine(title);
    fuzz_support::require(line.find_first_of("\n\r\v\f") == std::string::npos, "no line break");
    fuzz_support::require(line.find("\xC2\x85") == std::string::npos && line.find("\xE2\x80\xA8") == std::string::npos &&
                              line.find("\xE2\x80\xA9") == std::string::npos,
                          "no Unicode line break");
    fuzz_support::requireValidUtf8(line, "valid UTF-8");
    fuzz_support::require(tabroster::asOneLine(line) == line, "a line is left as it is");
    return 0;
}
