#include "linewarden/capture/TextRecognition.h"

#include <algorithm>

#include "linewarden/text/UnicodeText.h"

namespace linewarden {

std::vector<std::string> collectCandidates(const std::vector<platform::TextObservation>& observations,
                                           int maximumCandidates) {
    std::vector<std::string> lines;
    const auto wanted = static_cast<std::size_t>(std::max(maximumCandidates, 0));
    for (const auto& observation : observations) {
        const std::size_t count = std::min(wanted, observation.candidates.size());
        lines.insert(lines.end(), observation.candidates.begin(),
                     observation.candidates.begin() + static_cast<std::ptrdiff_t>(count));
    }
    return lines;
}

std::vector<std::string> performOCR(platform::Platform& platform, const platform::Image& image,
                                    const platform::RecognitionSettings& settings) {
    if (!image.readable()) return {};
    // A failed run still hands back whatever was delivered before the failure.
    const platform::RecognitionOutcome outcome = platform.textRecognizer.recognize(image, settings);
    return collectCandidates(outcome.observations, settings.maximumCandidates);
}

void writeRobustListing(platform::Console& console, const std::vector<std::string>& lines) {
    if (lines.empty()) {
        console.err("[OCR] Accurate recognition: No text detected\n");
        return;
    }
    console.err("[OCR] Accurate recognition detected " + std::to_string(lines.size()) + " text elements:\n");
    for (std::size_t i = 0; i < lines.size(); ++i) {
        console.err("[OCR]   [" + std::to_string(i + 1) + "] \"" + toValidUtf8(lines[i]) + "\"\n");
    }
}

}  // namespace linewarden
