#include "tabroster/TabRoster.h"

#include <algorithm>
#include <string_view>

#include "linewarden/app/Applications.h"

namespace tabroster {

int runTabRoster(platform::Platform& platform) {
    auto& accessibility = platform.accessibility;
    for (const auto& app : platform.workspace.runningApplications()) {
        if (!app.localizedName) continue;
        const auto& targetBrowsers = linewarden::kListedBrowsers;
        const auto browser = std::find_if(targetBrowsers.begin(), targetBrowsers.end(),
                                          [&](const auto& b) { return b.localizedName == *app.localizedName; });
        if (browser == targetBrowsers.end()) continue;

        const platform::AXElementRef element = accessibility.createApplication(app.processId);
        const platform::AXAnswer windows = accessibility.copyAttribute(element, platform::kAXWindowsAttribute);
        if (!windows.ok() || !windows.elements()) continue;
        for (const auto& window : *windows.elements()) {
            const platform::AXAnswer title = accessibility.copyAttribute(window, platform::kAXTitleAttribute);
            if (!title.ok() || !title.string() || title.string()->empty()) continue;
            platform.console.out(std::string(browser->localizedName) + ": " + *title.string() + "\n");
        }
    }
    return 0;
}

}  // namespace tabroster
