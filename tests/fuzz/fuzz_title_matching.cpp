// Title matching on any title and keyword: no crash, and a keyword always matches a title that
// carries it verbatim.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "linewarden/window/WindowDiscovery.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    const std::string keyword = data.ConsumeRandomLengthString(64);
    const std::string title = data.ConsumeRemainingBytesAsString();
    const std::array<std::string_view, 2> keywords{keyword, "Kixie PowerCall"};
    linewarden::titleMatchesDialer(title, keywords);
    // Blanks compose with nothing, so a keyword set between them stays whole in any title.
    const std::string carrying = title + " " + keyword + " ";
    if (linewarden::toValidUtf8(carrying) == carrying) {
        fuzz_support::require(linewarden::titleMatchesDialer(carrying, keywords), "a title carrying the keyword matches");
    }
    return 0;
}
