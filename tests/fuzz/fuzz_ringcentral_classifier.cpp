// The RingCentral classifier and its status machine on any recognised lines: no crash, valid UTF-8 in
// every message, and status lines only in pairs with their marker.

#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "linewarden/detect/RingCentralDetector.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    static linewarden::RingCentralTimerDetector detector;   // compiles its patterns once
    linewarden::RingCentralStatusMachine machine;
    return fuzz_support::fuzzClassifier(bytes, size, 4, machine, [](auto& console, const auto& lines) {
        return detector.detectCallFromOCR(console, lines);
    });
}
