#include "linewarden/detect/TrellusDetector.h"

#include "linewarden/detect/OcrListing.h"
#include "linewarden/text/UnicodeText.h"

namespace linewarden {

namespace {

// The test by which the line looks "Active", or nothing.
const char* activeTest(const std::string& line) {
    if (containsCanonically(line, "Active")) return "'Active'";
    if (containsCanonically(lowercased(line), "active")) return "'active' in any case";
    if (containsCanonically(line, "ctive")) return "'ctive'";
    if (containsCanonically(line, "tive")) return "'tive'";
    return nullptr;
}

const char* idleTest(const std::string& line) {
    if (containsCanonically(line, "Idle")) return "'Idle'";
    if (containsCanonically(lowercased(line), "idle")) return "'idle' in any case";
    return nullptr;
}

std::string ruleText(const char* test, const std::string& line) {
    return std::string(test) + " in \"" + toValidUtf8(line) + "\"";
}

}  // namespace

bool detectTrellusCallFromOCR(platform::Console& console, const std::vector<std::string>& lines) {
    return classifyTrellusText(console, lines).callActive;
}

Classification classifyTrellusText(platform::Console& console, const std::vector<std::string>& lines) {
    if (!lines.empty()) {
        console.err("[OCR] Detected " + std::to_string(lines.size()) + " text elements:\n");
        writeOcrListing(console, lines);
    }
    for (const std::string& line : lines) {
        if (const char* test = activeTest(line)) {
            console.err("[OCR] ✅ 'Active' status found (matched: \"" + toValidUtf8(line) + "\") → IN CALL\n");
            return {true, ruleText(test, line)};
        }
    }
    for (const std::string& line : lines) {
        if (const char* test = idleTest(line)) {
            console.err("[OCR] ❌ 'Idle' status found → NOT IN CALL\n");
            return {false, ruleText(test, line)};
        }
    }
    console.err("[OCR] ❌ 'Active' status not found (likely Idle)\n");
    return {};
}

}  // namespace linewarden
