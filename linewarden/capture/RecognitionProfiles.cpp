#include "linewarden/capture/RecognitionProfiles.h"

namespace linewarden {

namespace {
const std::vector<std::string> kEnglish{"en-US"};
}  // namespace

platform::RecognitionSettings kixieRecognitionSettings() {
    return {platform::RecognitionLevel::fast, false, {"Available", "On Call", "Do Not Disturb"}, 0.025f, kEnglish, 1};
}

platform::RecognitionSettings trellusRecognitionSettings() {
    return {platform::RecognitionLevel::fast, false, {"Idle", "Active"}, 0.025f, kEnglish, 1};
}

platform::RecognitionSettings zoomRecognitionSettings() {
    return {platform::RecognitionLevel::accurate, false, {"Calling", "Test"}, 0.01f, kEnglish, 1};
}

platform::RecognitionSettings ringCentralRecognitionSettings(platform::RecognitionLevel level) {
    return {level, false, {"RingCentral"}, 0.025f, kEnglish, 3};
}

}  // namespace linewarden
