#include "linewarden/detect/RingCentralDetector.h"

#include <limits>

#include "linewarden/detect/OcrListing.h"
#include "linewarden/detect/TwoStateStatusMachine.h"

namespace linewarden {

RingCentralTimerDetector::RingCentralTimerDetector()
    : exactTime_(Regex::compile(R"(^\d{1,2}:\d{2}(:\d{2})?$)")),
      flexibleColonDigits_(Regex::compile(R"(:\d{2})")),
      flexibleDigitColon_(Regex::compile(R"(\d{1,2}:)")),
      flexibleDigitColonDigit_(Regex::compile(R"(\d:\d)")) {}

bool RingCentralTimerDetector::detectCallFromOCR(platform::Console& console, const std::vector<std::string>& lines) {
    return classify(console, lines).callActive;
}

Classification RingCentralTimerDetector::classify(platform::Console& console, const std::vector<std::string>& lines) {
    if (lines.empty()) {
        console.err("[OCR] No text detected to check for timer\n");
        return {};
    }
    console.err("[OCR] Checking " + std::to_string(lines.size()) + " text elements for timer pattern:\n");
    writeOcrListing(console, lines);

    if (!exactTime_) {
        console.err("[OCR] Error: Could not create exact time regex pattern\n");
        return {};
    }
    if (!flexibleColonDigits_ || !flexibleDigitColon_ || !flexibleDigitColonDigit_) {
        console.err("[OCR] Error: Could not create flexible regex patterns\n");
        return {};
    }

    for (const std::string& line : lines) {
        // Built by appending: GCC 12 at -O3 reports a false -Wrestrict on "literal" + temporary.
        std::string quoted(1, '"');
        quoted += toValidUtf8(line);
        quoted += '"';
        if (exactTime_->find(line)) {
            console.err("[OCR] ✅ Timer found (exact match): " + quoted + " → IN CALL\n");
            return {true, "a whole timer in " + quoted};
        }
        const char* pattern = flexibleColonDigits_->find(line)     ? "':dd'"
                              : flexibleDigitColon_->find(line)      ? "'d:' or 'dd:'"
                              : flexibleDigitColonDigit_->find(line) ? "'d:d'"
                                                                     : nullptr;
        if (pattern) {
            console.err("[OCR] ✅ Timer found (flexible match): " + quoted + " → IN CALL\n");
            return {true, "a timer's " + std::string(pattern) + " in " + quoted};
        }
    }
    console.err("[OCR] ❌ No timer pattern found in detected text\n");
    return {};
}

namespace {

// The counters only have to reach their thresholds; stopping at the top keeps a process that
// runs for ever well defined.
void countUp(std::int64_t& counter) {
    if (counter < std::numeric_limits<std::int64_t>::max()) ++counter;
}

}  // namespace

bool RingCentralStatusMachine::handleStatusChange(platform::Console& console, bool isCallActive) {
    std::optional<std::string_view> pendingStatus;
    bool changed = false;

    if (isCallActive) {
        countUp(consecutiveDetections_);
        consecutiveMisses_ = 0;
        if (consecutiveDetections_ >= requiredDetections) {
            pendingStatus = "Dialing";
            if (!isDialing_) {
                isDialing_ = true;
                changed = true;
                writeStatusPair(console, "Status changed to Dialing (Timer detected via OCR)", "isDialing");
            }
        } else if (isDialing_) {
            return true;
        }
    } else {
        countUp(consecutiveMisses_);
        consecutiveDetections_ = 0;
        if (consecutiveMisses_ >= requiredMisses && isDialing_) {
            isDialing_ = false;
            pendingStatus = "Available";
            changed = true;
            writeStatusPair(console, "Status changed to Available (Timer absent)", "NotConnected");
        } else if (!isDialing_ && !previousStatus_) {
            pendingStatus = "Available";
            changed = true;
            writeStatusPair(console, "Initial status: Available", "NotConnected");
        } else if (isDialing_) {
            return true;
        }
    }

    if (pendingStatus) previousStatus_ = std::string(*pendingStatus);
    return changed || isCallActive;
}

}  // namespace linewarden
