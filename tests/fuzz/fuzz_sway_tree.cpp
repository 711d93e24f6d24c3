// sway's get_tree reply as any bytes may make it: no crash, no hang, and every view kept has a
// place of its own size.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzSupport.h"
#include "platform/linux/wayland/SwayTree.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const auto tree = platform::wayland::parseSwayTree(std::string_view(reinterpret_cast<const char*>(bytes), size));
    if (!tree) return 0;
    for (const auto& view : tree->views) {
        fuzz_support::require(view.content.width >= 0 && view.content.height >= 0, "a view's size is never negative");
        fuzz_support::require(view.processId >= 0, "a process id is never negative");
    }
    return 0;
}
