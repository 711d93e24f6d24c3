#include "linewarden/app/Launcher.h"

#include <optional>

#include "linewarden/app/DialerCatalogue.h"
#include "linewarden/app/Drivers.h"
#include "linewarden/monitors/ZoomMonitor.h"
#include "linewarden/window/AccessibilityHelper.h"

namespace linewarden {

namespace {

constexpr std::string_view kDialerOption = "--dialer=";

// The value of the first argument that begins with the option keyword, with every occurrence of
// the keyword removed; nothing when no argument begins with it.
std::optional<std::string> firstDialerValue(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (!arg.starts_with(kDialerOption)) continue;
        std::string value;
        for (std::size_t pos = 0; pos < arg.size();) {
            if (arg.compare(pos, kDialerOption.size(), kDialerOption) == 0) {
                pos += kDialerOption.size();
            } else {
                value += arg[pos++];
            }
        }
        return value;
    }
    return std::nullopt;
}

void writeAccessProblem(platform::Platform& platform) {
    if (!platform.accessProblem.empty()) platform.console.err(platform.accessProblem);
}

}  // namespace

bool ensureScreenRecordingPermissions(platform::Platform& platform, std::string_view displayName) {
    if (platform.screenCapture.preflightAccess()) return true;
    writeAccessProblem(platform);
    platform.console.err("Error: Screen Recording permission not granted (required for " + std::string(displayName) +
                         " OCR).\n");
    platform.console.err("Requesting Screen Recording permission...\n");
    platform.screenCapture.requestAccess();
    if (platform.screenCapture.preflightAccess()) return true;
    platform.console.err("Error: Screen Recording permission still not granted.\n");
    platform.console.err(
        "Fix: System Settings \u2192 Privacy & Security \u2192 Screen Recording \u2192 enable for 'linewarden'. "
        "Then restart Quorlin.\n");
    return false;
}

int runLineWarden(const std::vector<std::string>& args, platform::Platform& platform) {
    auto& console = platform.console;
    if (args.size() < 2) {
        console.err("Usage: linewarden --dialer=<zoom|kixie|ringcentral>\n");
        return 1;
    }

    std::optional<DialerType> dialerType;
    if (const auto value = firstDialerValue(args)) dialerType = dialerTypeFromRawValue(*value);
    if (!dialerType) {
        console.err("Error: Invalid dialer type. Use: zoom, kixie, ringcentral, or trellus\n");
        return 1;
    }

    if (!AccessibilityHelper::checkPermissions(platform)) {
        writeAccessProblem(platform);
        console.err("Error: Accessibility permissions not granted\n");
        console.err("Please go to System Preferences > Security & Privacy > Privacy > Accessibility\n");
        console.err("and add this application to the list of allowed apps.\n");
        return 1;
    }

    const Dialer& row = dialer(*dialerType);
    if (row.ownApplication.empty()) return runBrowserDriver(platform, row);
    if (!ensureScreenRecordingPermissions(platform, row.displayName)) return 1;
    console.err(row.monitoringLine);
    return runZoomDriver<ZoomMonitor>(platform);
}

}  // namespace linewarden
