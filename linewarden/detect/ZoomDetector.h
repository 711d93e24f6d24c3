#pragma once

#include <optional>
#include <string>
#include <vector>

#include "linewarden/detect/Classification.h"
#include "linewarden/text/UnicodeText.h"
#include "platform/Console.h"

namespace linewarden {

// Finds call markers in the text recognised from a whole Zoom window: the word "calling" in any
// case, a running timer "dd:dd", or a banner line ending in " -" or " –". The timer pattern is
// compiled once, when the detector is made.
class ZoomMarkerDetector {
public:
    ZoomMarkerDetector();

    // True at the first line (trimmed) that carries a marker; only that line's first matching
    // rule is reported on standard error. Nothing is written when no line matches.
    bool detectMarkers(platform::Console& console, const std::vector<std::string>& lines);
    // The same, saying which line and which rule decided.
    Classification classify(platform::Console& console, const std::vector<std::string>& lines);

private:
    std::optional<Regex> timer_;  // absent if it did not compile: the timer rule is then skipped
};

// Reports Zoom calls to the host with no debouncing: one scan with markers starts a call, one
// without ends it. Writes one "[Zoom][handleStatusChange]" line to standard error per call.
class ZoomStatusMachine {
public:
    // True when the status changed or the verdict is true.
    bool handleStatusChange(platform::Console& console, bool isCallActive);

    bool isDialing() const { return isDialing_; }
    // Absent until the first status line; then "Available" or "On Call".
    const std::optional<std::string>& previousStatus() const { return previousStatus_; }

private:
    std::optional<std::string> previousStatus_;
    bool isDialing_ = false;
};

}  // namespace linewarden
