#include "linewarden/detect/OcrListing.h"

#include "linewarden/text/UnicodeText.h"

namespace linewarden {

void writeOcrListing(platform::Console& console, const std::vector<std::string>& lines) {
    for (std::size_t i = 0; i < lines.size(); ++i)
        console.err("[OCR]   [" + std::to_string(i + 1) + "] \"" + toValidUtf8(lines[i]) + "\"\n");
}

}  // namespace linewarden
