#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Console.h"

namespace linewarden {

// The words and emoji diagnostics that make a two-state machine a particular dialer's. The status
// lines are built from the two words: "Status changed from <previous> to <active>",
// "Status changed from <active> to <idle>" and "Initial status: <idle>".
struct TwoStateWords {
    std::string_view activeWord;
    std::string_view idleWord;
    std::string_view callStartedDiagnostic;
    std::string_view callEndedDiagnostic;
    std::string_view initialDiagnostic;
};

// Turns one verdict per scan into status lines for the host, with no debouncing: one true verdict
// starts a call, one false verdict ends it. Each status line is followed by its marker line
// ("isDialing" or "NotConnected") and standard output is flushed once per pair.
class TwoStateStatusMachine {
public:
    explicit TwoStateStatusMachine(const TwoStateWords& words) : words_(words) {}

    // True when the state changed or the verdict is true.
    bool handleStatusChange(platform::Console& console, bool isCallActive);

    bool isDialing() const { return isDialing_; }
    // Absent until the first status line; then the idle or the active word.
    const std::optional<std::string>& previousStatus() const { return previousStatus_; }

private:
    TwoStateWords words_;
    std::optional<std::string> previousStatus_;
    bool isDialing_ = false;
};

// Writes a status line and its marker line to standard output and flushes once, so that the host
// reads the pair together.
void writeStatusPair(platform::Console& console, std::string_view statusLine, std::string_view marker);

}  // namespace linewarden
