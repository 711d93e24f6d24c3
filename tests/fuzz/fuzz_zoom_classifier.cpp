// The Zoom classifier and its status machine on any recognised lines: no crash, valid UTF-8 in
// every message, and status lines only in pairs with their marker.

#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "linewarden/detect/ZoomDetector.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    static linewarden::ZoomMarkerDetector detector;   // compiles its patterns once
    linewarden::ZoomStatusMachine machine;
    return fuzz_support::fuzzClassifier(bytes, size, 4, machine, [](auto& console, const auto& lines) {
        return detector.detectMarkers(console, lines);
    });
}
