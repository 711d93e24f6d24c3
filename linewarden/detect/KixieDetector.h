#pragma once

#include <string>
#include <vector>

#include "linewarden/detect/Classification.h"
#include "linewarden/detect/TwoStateStatusMachine.h"
#include "platform/Console.h"

namespace linewarden {

// The Kixie agent status: "On Call" while a call is active, "Available" otherwise.
inline constexpr TwoStateWords kKixieWords{
    .activeWord = "On Call",
    .idleWord = "Available",
    .callStartedDiagnostic = "[handleStatusChange] 🔵 Transitioning to ON CALL\n",
    .callEndedDiagnostic = "[handleStatusChange] 🔴 Transitioning to AVAILABLE (call ended)\n",
    .initialDiagnostic = "[handleStatusChange] 🟡 Initial status: AVAILABLE\n",
};

// True when some recognised line contains "On Call" (case-sensitive, each line on its own).
// Lists the lines and the outcome on standard error.
bool detectKixieCallFromOCR(platform::Console& console, const std::vector<std::string>& lines);
// The same, saying which line decided.
Classification classifyKixieText(platform::Console& console, const std::vector<std::string>& lines);

}  // namespace linewarden
