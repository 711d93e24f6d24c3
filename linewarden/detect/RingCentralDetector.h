#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "linewarden/detect/Classification.h"
#include "linewarden/text/UnicodeText.h"
#include "platform/Console.h"

namespace linewarden {

// Looks for a running call timer (m:ss, mm:ss, h:mm:ss) among the recognised lines. Besides an
// exact timer, any line holding ":dd", "d:" or "d:d" counts, because the recogniser often
// misreads or clips the timer. The patterns are compiled once, when the detector is made.
class RingCentralTimerDetector {
public:
    RingCentralTimerDetector();

    // True when some line shows a timer. Lists the lines and the outcome on standard error.
    bool detectCallFromOCR(platform::Console& console, const std::vector<std::string>& lines);
    // The same, saying which line and which pattern decided.
    Classification classify(platform::Console& console, const std::vector<std::string>& lines);

private:
    std::optional<Regex> exactTime_;
    std::optional<Regex> flexibleColonDigits_;
    std::optional<Regex> flexibleDigitColon_;
    std::optional<Regex> flexibleDigitColonDigit_;
};

// Debounces the per-scan verdicts: a call starts at the second timer sighting in a row and ends
// at the third scan in a row without one. Writes status and marker lines to standard output and
// nothing to standard error.
class RingCentralStatusMachine {
public:
    static constexpr std::int64_t requiredDetections = 2;
    static constexpr std::int64_t requiredMisses = 3;

    // True when the state changed, the verdict is true or a call is active.
    bool handleStatusChange(platform::Console& console, bool isCallActive);

    bool isDialing() const { return isDialing_; }
    // Absent until the first status line; then "Available" or "Dialing".
    const std::optional<std::string>& previousStatus() const { return previousStatus_; }
    std::int64_t consecutiveDetections() const { return consecutiveDetections_; }
    std::int64_t consecutiveMisses() const { return consecutiveMisses_; }

private:
    std::optional<std::string> previousStatus_;
    bool isDialing_ = false;
    std::int64_t consecutiveDetections_ = 0;
    std::int64_t consecutiveMisses_ = 0;
};

}  // namespace linewarden
