#include "linewarden/detect/KixieDetector.h"

#include "linewarden/detect/OcrListing.h"
#include "linewarden/text/UnicodeText.h"

namespace linewarden {

bool detectKixieCallFromOCR(platform::Console& console, const std::vector<std::string>& lines) {
    return classifyKixieText(console, lines).callActive;
}

Classification classifyKixieText(platform::Console& console, const std::vector<std::string>& lines) {
    if (!lines.empty()) {
        console.err("[OCR] Detected " + std::to_string(lines.size()) + " text elements:\n");
        writeOcrListing(console, lines);
    }
    for (const std::string& line : lines) {
        if (containsCanonically(line, "On Call")) {
            console.err("[OCR] ✅ 'On Call' status found → IN CALL\n");
            return {true, "'On Call' in \"" + toValidUtf8(line) + "\""};
        }
    }
    console.err("[OCR] ❌ 'On Call' status not found\n");
    return {};
}

}  // namespace linewarden
