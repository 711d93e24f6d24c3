#include "tabroster/TabRoster.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace tabroster {

namespace {
constexpr std::array<std::string_view, 3> targetBrowsers{"Google Chrome", "Brave Browser", "Microsoft Edge"};
}  // namespace

int runTabRoster(platform::Platform& platform) {
    auto& accessibility = platform.accessibility;
    for (const auto& app : platform.workspace.runningApplications()) {
        if (!app.localizedName) continue;
        const auto browser = std::find(targetBrowsers.begin(), targetBrowsers.end(), *app.localizedName);
        if (browser == targetBrowsers.end()) continue;

        const platform::AXElementRef element = accessibility.createApplication(app.processId);
        const platform::AXAnswer windows = accessibility.copyAttribute(element, platform::kAXWindowsAttribute);
        if (!windows.ok() || !windows.elements()) continue;
        for (const auto& window : *windows.elements()) {
            const platform::AXAnswer title = accessibility.copyAttribute(window, platform::kAXTitleAttribute);
            if (!title.ok() || !title.string() || title.string()->empty()) continue;
            platform.console.out(std::string(*browser) + ": " + *title.string() + "\n");
        }
    }
    return 0;
}

}  // namespace tabroster
