// The RingCentral classifier and its status machine on any recognised lines: no crash, valid UTF-8 in
// every message, and status lines only in pairs with their marker.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "linewarden/detect/RingCentralDetector.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    static linewarden::RingCentralTimerDetector detector;   // compiles its patterns once
    FuzzedDataProvider data(bytes, size);
    platform::RecordingConsole console;
    linewarden::RingCentralStatusMachine machine;
    for (int scan = 0; scan < 4 && data.remaining_bytes() > 0; ++scan) {
        const auto lines = fuzz_support::someLines(data, data.ConsumeIntegralInRange<std::size_t>(0, 12));
        const bool verdict = detector.detectCallFromOCR(console, lines);
        machine.handleStatusChange(console, verdict);
    }
    fuzz_support::requireValidUtf8(console.standardError(), "messages are valid UTF-8");
    fuzz_support::require(console.flushCount() * 2 ==
                              static_cast<int>(std::count(console.standardOutput().begin(),
                                                          console.standardOutput().end(), '\n')),
                          "one flush per status pair");
    return 0;
}
