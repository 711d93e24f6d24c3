#pragma once

// Shared by the fuzz targets: turning the fuzzer's bytes into lines of text, a console that keeps
// what was written, and the checks every target makes besides "does not crash".

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "linewarden/text/UnicodeText.h"
#include "platform/Console.h"

namespace fuzz_support {

// Up to `most` strings of any bytes, line breaks included.
inline std::vector<std::string> someLines(FuzzedDataProvider& data, std::size_t most = 16) {
    std::vector<std::string> lines;
    while (lines.size() < most && data.remaining_bytes() > 0) lines.push_back(data.ConsumeRandomLengthString(256));
    return lines;
}

// A property that must hold for every input; a failure is reported like a crash.
inline void require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}

// Messages quote outside text as valid UTF-8, whatever bytes it came as.
inline void requireValidUtf8(std::string_view text, const char* what) {
    require(linewarden::toValidUtf8(text) == text, what);
}

// One dialer's classifier and status machine over a few scans of any recognised lines: no crash,
// valid UTF-8 in every message, and status lines only in pairs with their marker, one flush each.
template <typename Machine, typename Classify>
int fuzzClassifier(const std::uint8_t* bytes, std::size_t size, int scans, Machine& machine, Classify classify) {
    FuzzedDataProvider data(bytes, size);
    platform::RecordingConsole console;
    for (int scan = 0; scan < scans && data.remaining_bytes() > 0; ++scan) {
        const auto lines = someLines(data, data.ConsumeIntegralInRange<std::size_t>(0, 12));
        machine.handleStatusChange(console, classify(console, lines));
    }
    requireValidUtf8(console.standardError(), "messages are valid UTF-8");
    const auto& out = console.standardOutput();
    require(console.flushCount() * 2 == static_cast<int>(std::count(out.begin(), out.end(), '\n')),
            "one flush per status pair");
    return 0;
}

}  // namespace fuzz_support
