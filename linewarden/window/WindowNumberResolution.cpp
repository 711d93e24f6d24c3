#include "linewarden/window/WindowNumberResolution.h"

#include <string>

#include "linewarden/app/Applications.h"
#include "linewarden/text/UnicodeText.h"

namespace linewarden {

bool isBrowserOwner(std::string_view ownerName) {
    for (const BrowserEntry& browser : kListedBrowsers) {
        if (containsCanonically(ownerName, browser.displayName)) return true;
    }
    return false;
}

std::optional<platform::WindowNumber> matchWindowNumber(const std::vector<platform::WindowListEntry>& entries,
                                                        std::string_view title, std::string_view partialKey,
                                                        platform::Console* trace) {
    const auto browserOwned = [](const platform::WindowListEntry& entry) {
        return entry.ownerName && isBrowserOwner(*entry.ownerName);
    };

    for (const auto& entry : entries) {
        if (!browserOwned(entry)) continue;
        std::optional<std::string> name = entry.windowName;
        if (trace) {
            if (!name) name = "(no title)";
            trace->err("[getWindowID] Browser window: ID=" + std::to_string(entry.windowNumber.value_or(0)) +
                       ", Title=\"" + toValidUtf8(*name) + "\"\n");
        }
        if (!name || !equalsCanonically(*name, title) || !entry.windowNumber) continue;
        if (trace) trace->err("[getWindowID] \u2705 Exact match found!\n");
        return entry.windowNumber;
    }

    if (trace) trace->err("[getWindowID] No exact match, trying partial...\n");
    for (const auto& entry : entries) {
        if (!browserOwned(entry) || !entry.windowName) continue;
        if (!containsCanonically(*entry.windowName, partialKey) || !entry.windowNumber) continue;
        if (trace) trace->err("[getWindowID] \u2705 Partial match found: " + toValidUtf8(*entry.windowName) + "\n");
        return entry.windowNumber;
    }

    if (trace) trace->err("[getWindowID] \u274C No matching window found\n");
    return std::nullopt;
}

std::optional<platform::WindowNumber> getWindowID(platform::Platform& platform, const platform::AXElementRef& window,
                                                  std::string_view partialKey, bool traced) {
    auto& console = platform.console;
    const platform::AXAnswer answer = platform.accessibility.copyAttribute(window, platform::kAXTitleAttribute);
    if (!answer.ok() || !answer.string()) {
        console.err("[getWindowID] Failed to get title from accessibility element\n");
        return std::nullopt;
    }
    const std::string& title = *answer.string();
    if (traced) console.err("[getWindowID] Looking for window with title: " + toValidUtf8(title) + "\n");

    const auto entries = platform.windowList.onScreenWindows();
    if (!entries) {
        console.err("[getWindowID] Failed to get window list\n");
        return std::nullopt;
    }
    if (traced) console.err("[getWindowID] Checking " + std::to_string(entries->size()) + " windows...\n");
    return matchWindowNumber(*entries, title, partialKey, traced ? &console : nullptr);
}

}  // namespace linewarden
