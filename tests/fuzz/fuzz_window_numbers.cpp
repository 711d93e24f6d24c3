// Window-number matching on any window list: no crash, a number found is one the list holds,
// and the traced search quotes every name as valid UTF-8.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "linewarden/window/WindowNumberResolution.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    const std::string title = data.ConsumeRandomLengthString(64);
    const std::string partialKey = data.ConsumeBool() ? "RingCentral" : data.ConsumeRandomLengthString(16);
    std::vector<platform::WindowListEntry> entries;
    while (entries.size() < 32 && data.remaining_bytes() > 0) {
        platform::WindowListEntry entry;
        const auto present = data.ConsumeIntegral<std::uint8_t>();
        if (present & 1) entry.ownerName = data.ConsumeBool() ? "Google Chrome" : data.ConsumeRandomLengthString(32);
        if (present & 2) entry.windowName = data.ConsumeBool() ? title : data.ConsumeRandomLengthString(64);
        if (present & 4) entry.windowNumber = data.ConsumeIntegral<platform::WindowNumber>();
        entries.push_back(std::move(entry));
    }
    platform::RecordingConsole trace;
    const auto traced = linewarden::matchWindowNumber(entries, title, partialKey, &trace);
    const auto quiet = linewarden::matchWindowNumber(entries, title, partialKey);
    // A traced search compares a window without a name as "(no title)"; otherwise the trace only
    // reports.
    if (!linewarden::equalsCanonically(title, "(no title)")) {
        fuzz_support::require(traced == quiet, "tracing does not change the answer");
    }
    if (traced) {
        bool listed = false;
        for (const auto& entry : entries) listed = listed || entry.windowNumber == traced;
        fuzz_support::require(listed, "the number comes from the list");
    }
    fuzz_support::requireValidUtf8(trace.standardError(), "the trace is valid UTF-8");
    return 0;
}
