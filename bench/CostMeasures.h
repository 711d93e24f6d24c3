#pragma once

// What the cost reports measure of a scan and of a watching process, said once for all of them
// (X11, sway, GNOME through the portal).

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "e2e/EndToEnd.h"
#include "platform/Platform.h"

namespace cost {

// The value at quantile q (0.5 the median) of `values`; 0 for none.
double quantile(std::vector<double> values, double q);

// CPU milliseconds the calling thread has used so far.
double threadCpuMilliseconds();

// Resident memory in MB of a process (VmRSS of /proc/PID/status), or its peak with "VmHWM:".
double residentMegabytes(pid_t pid, const std::string& field = "VmRSS:");

// User plus system CPU seconds of a process so far (/proc/PID/stat, fields 14 and 15).
double cpuSeconds(pid_t pid);

// A page brought to `state`, painted and quiet: two captures a quarter second apart agree.
void showAndSettle(e2e::PageServer& pages, platform::Platform& platform, const nlohmann::json& state,
                   std::chrono::milliseconds shownWithin = std::chrono::seconds(5));

}  // namespace cost
