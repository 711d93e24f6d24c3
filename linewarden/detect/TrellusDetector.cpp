#include "linewarden/detect/TrellusDetector.h"

#include "linewarden/detect/OcrListing.h"
#include "linewarden/text/UnicodeText.h"

namespace linewarden {

namespace {

bool looksActive(const std::string& line) {
    return containsCanonically(line, "Active") || containsCanonically(lowercased(line), "active") ||
           containsCanonically(line, "ctive") || containsCanonically(line, "tive");
}

bool looksIdle(const std::string& line) {
    return containsCanonically(line, "Idle") || containsCanonically(lowercased(line), "idle");
}

}  // namespace

bool detectTrellusCallFromOCR(platform::Console& console, const std::vector<std::string>& lines) {
    if (!lines.empty()) {
        console.err("[OCR] Detected " + std::to_string(lines.size()) + " text elements:\n");
        writeOcrListing(console, lines);
    }
    for (const std::string& line : lines) {
        if (looksActive(line)) {
            console.err("[OCR] ✅ 'Active' status found (matched: \"" + toValidUtf8(line) + "\") → IN CALL\n");
            return true;
        }
    }
    for (const std::string& line : lines) {
        if (looksIdle(line)) {
            console.err("[OCR] ❌ 'Idle' status found → NOT IN CALL\n");
            return false;
        }
    }
    console.err("[OCR] ❌ 'Active' status not found (likely Idle)\n");
    return false;
}

}  // namespace linewarden
