#include "linewarden/detect/ZoomDetector.h"

#include "linewarden/detect/TwoStateStatusMachine.h"
#include "linewarden/text/Format.h"

namespace linewarden {

ZoomMarkerDetector::ZoomMarkerDetector() : timer_(Regex::compile(R"(\d{2}:\d{2})")) {}

bool ZoomMarkerDetector::detectMarkers(platform::Console& console, const std::vector<std::string>& lines) {
    return classify(console, lines).callActive;
}

Classification ZoomMarkerDetector::classify(platform::Console& console, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        const std::string trimmed = trimmedWhitespaceAndNewlines(line);
        if (trimmed.empty()) continue;

        if (containsCanonically(lowercased(trimmed), "calling")) {
            console.err("[detectMarkers] ✅ 'Calling' found → DIALING\n");
            return {true, "'calling' in any case in \"" + toValidUtf8(trimmed) + "\""};
        }
        if (timer_ && timer_->find(trimmed)) {
            console.err("[detectMarkers] ✅ Timer '" + trimmed + "' found → IN CALL\n");
            return {true, "a timer 'dd:dd' in \"" + toValidUtf8(trimmed) + "\""};
        }
        if (endsWithCanonically(trimmed, " -") || endsWithCanonically(trimmed, " –")) {
            console.err("[detectMarkers] ✅ Call banner '" + trimmed + "' found → IN CALL\n");
            return {true, "a call banner ending in a dash in \"" + toValidUtf8(trimmed) + "\""};
        }
    }
    return {};
}

bool ZoomStatusMachine::handleStatusChange(platform::Console& console, bool isCallActive) {
    console.err(std::string("[Zoom][handleStatusChange] isCallActive: ") + formatBool(isCallActive) +
                ", isDialing: " + formatBool(isDialing_) + ", previousStatus: " + previousStatus_.value_or("nil") +
                "\n");

    std::optional<std::string_view> newStatus;
    bool changed = false;

    if (isCallActive) {
        newStatus = "On Call";
        if (!isDialing_) {
            isDialing_ = true;
            changed = true;
            writeStatusPair(console, "Status changed from " + previousStatus_.value_or("Available") + " to On Call",
                            "isDialing");
        }
    } else if (isDialing_) {
        isDialing_ = false;
        newStatus = "Available";
        changed = true;
        writeStatusPair(console, "Status changed from On Call to Available", "NotConnected");
    } else if (!previousStatus_) {
        newStatus = "Available";
        changed = true;
        writeStatusPair(console, "Initial status: Available", "NotConnected");
    }

    if (newStatus) previousStatus_ = std::string(*newStatus);
    return changed || isCallActive;
}

}  // namespace linewarden
