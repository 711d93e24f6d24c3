// The Kixie classifier and its status machine on any recognised lines: no crash, valid UTF-8 in
// every message, and status lines only in pairs with their marker.

#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "linewarden/detect/KixieDetector.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    linewarden::TwoStateStatusMachine machine(linewarden::kKixieWords);
    return fuzz_support::fuzzClassifier(bytes, size, 3, machine, [](auto& console, const auto& lines) {
        return linewarden::detectKixieCallFromOCR(console, lines);
    });
}
