#pragma once

#include <string>
#include <vector>

#include "linewarden/detect/Classification.h"
#include "linewarden/detect/TwoStateStatusMachine.h"
#include "platform/Console.h"

namespace linewarden {

// The Trellus dialer shows "Active" or "Idle".
inline constexpr TwoStateWords kTrellusWords{
    .activeWord = "Active",
    .idleWord = "Idle",
    .callStartedDiagnostic = "[handleStatusChange] 🔵 Transitioning to ACTIVE\n",
    .callEndedDiagnostic = "[handleStatusChange] 🔴 Transitioning to IDLE (call ended)\n",
    .initialDiagnostic = "[handleStatusChange] 🟡 Initial status: IDLE\n",
};

// True when some recognised line looks like "Active": it contains "tive" or its lower-case form
// contains "active", so clipped and upper-case readings count (and so do "Inactive" and
// "Negative"). An "Active" line anywhere wins over an "Idle" line. Lists the lines and the
// outcome on standard error.
bool detectTrellusCallFromOCR(platform::Console& console, const std::vector<std::string>& lines);
// The same, saying which line and which of the tests decided (an "Idle" line decides too).
Classification classifyTrellusText(platform::Console& console, const std::vector<std::string>& lines);

}  // namespace linewarden
