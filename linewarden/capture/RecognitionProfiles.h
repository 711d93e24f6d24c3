#pragma once

#include "platform/Platform.h"

namespace linewarden {

// What each monitor asks of the recogniser. Language correction is off for all of them: the
// words looked for are short UI labels and timers, not prose.
platform::RecognitionSettings kixieRecognitionSettings();
platform::RecognitionSettings trellusRecognitionSettings();
platform::RecognitionSettings zoomRecognitionSettings();
platform::RecognitionSettings ringCentralRecognitionSettings(platform::RecognitionLevel level);

}  // namespace linewarden
