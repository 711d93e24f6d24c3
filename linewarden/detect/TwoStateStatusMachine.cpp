#include "linewarden/detect/TwoStateStatusMachine.h"

#include "linewarden/text/Format.h"

namespace linewarden {

void writeStatusPair(platform::Console& console, std::string_view statusLine, std::string_view marker) {
    std::string pair;
    pair.reserve(statusLine.size() + marker.size() + 2);
    pair.append(statusLine).append("\n").append(marker).append("\n");
    console.out(pair);
    console.flushOut();
}

bool TwoStateStatusMachine::handleStatusChange(platform::Console& console, bool isCallActive) {
    console.err(std::string("[handleStatusChange] Called with isCallActive: ") + formatBool(isCallActive) +
                ", currentDialingState: " + formatBool(isDialing_) +
                ", previousStatus: " + previousStatus_.value_or("nil") + "\n");

    std::optional<std::string_view> pendingStatus;
    bool changed = false;

    if (isCallActive) {
        pendingStatus = words_.activeWord;
        if (isDialing_) {
            console.err("[handleStatusChange] Already in call, no state change\n");
        } else {
            isDialing_ = true;
            changed = true;
            console.err(words_.callStartedDiagnostic);
            const std::string previous = previousStatus_.value_or(std::string(words_.idleWord));
            writeStatusPair(console, "Status changed from " + previous + " to " + std::string(words_.activeWord),
                            "isDialing");
        }
    } else if (isDialing_) {
        isDialing_ = false;
        pendingStatus = words_.idleWord;
        changed = true;
        console.err(words_.callEndedDiagnostic);
        writeStatusPair(console,
                        "Status changed from " + std::string(words_.activeWord) + " to " + std::string(words_.idleWord),
                        "NotConnected");
    } else if (!previousStatus_) {
        pendingStatus = words_.idleWord;
        changed = true;
        console.err(words_.initialDiagnostic);
        writeStatusPair(console, "Initial status: " + std::string(words_.idleWord), "NotConnected");
    } else {
        console.err("[handleStatusChange] Not in call, no state change\n");
    }

    if (pendingStatus) previousStatus_ = std::string(*pendingStatus);

    const bool result = changed || isCallActive;
    console.err(std::string("[handleStatusChange] Returning: ") + formatBool(result) + "\n");
    return result;
}

}  // namespace linewarden
