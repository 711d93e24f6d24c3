#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"

namespace linewarden {

// The recognised text: up to `maximumCandidates` readings of each observation, best first, the
// observations in the order delivered. An observation without candidates adds nothing.
std::vector<std::string> collectCandidates(const std::vector<platform::TextObservation>& observations,
                                           int maximumCandidates);

// Recognises the image with these settings. Empty when the image cannot be read, when nothing was
// recognised and after any failure of the recogniser, which is not reported.
std::vector<std::string> performOCR(platform::Platform& platform, const platform::Image& image,
                                    const platform::RecognitionSettings& settings);

// Lists what the accurate recognition found on standard error, numbered from 1.
void writeRobustListing(platform::Console& console, const std::vector<std::string>& lines);

}  // namespace linewarden
