#pragma once

// The applications the programs watch: the three browsers and Zoom, one row each, with what a
// desktop recognises them by. Everything else derives from these rows: the browser search list,
// tabroster's browser names, the window-list owner test, and the list handed to the desktop
// backend when it is opened. Header only, so that tabroster uses the rows without linking the
// monitor's code.

#include <array>
#include <string_view>
#include <vector>

#include "platform/Applications.h"

namespace linewarden {

inline constexpr std::string_view CHROME_BUNDLE_ID = "com.google.Chrome";
inline constexpr std::string_view BRAVE_BUNDLE_ID = "com.brave.Browser";
inline constexpr std::string_view EDGE_BUNDLE_ID = "com.microsoft.edgemac";
inline constexpr std::string_view ZOOM_BUNDLE_ID = "us.zoom.xos";

// A browser in which a dialer's tab is looked for.
struct BrowserEntry {
    std::string_view displayName;    // "Chrome": the progress lines, and what marks its windows' owner
    std::string_view bundleId;
    std::string_view localizedName;  // "Google Chrome": the application's own name
};

inline constexpr BrowserEntry kChrome{"Chrome", CHROME_BUNDLE_ID, "Google Chrome"};
inline constexpr BrowserEntry kBrave{"Brave", BRAVE_BUNDLE_ID, "Brave Browser"};
inline constexpr BrowserEntry kEdge{"Edge", EDGE_BUNDLE_ID, "Microsoft Edge"};

// Where a browser dialer's tab is looked for, first to last.
inline constexpr std::array<BrowserEntry, 3> kBrowserSearchList{kBrave, kChrome, kEdge};
// The browsers tabroster lists, in its order.
inline constexpr std::array<BrowserEntry, 3> kListedBrowsers{kChrome, kBrave, kEdge};

// The applications as the desktop backend is told about them. On X11, Chromium-based browsers name
// their class after the desktop file ("google-chrome.desktop" gives "Google-chrome"); beta and
// developer channels carry a suffix and are other applications, as on macOS. Zoom's windows say
// "zoom" (some builds add a trailing blank); its floating video and banner windows have classes of
// their own, which the program name still ties to Zoom.
inline const std::vector<platform::ApplicationDescription>& knownApplications() {
    static const std::vector<platform::ApplicationDescription> applications{
        {kChrome.bundleId, kChrome.localizedName, {"Google-chrome"}, {"chrome", "google-chrome"}},
        {kBrave.bundleId, kBrave.localizedName, {"Brave-browser"}, {"brave", "brave-browser"}},
        {kEdge.bundleId, kEdge.localizedName, {"Microsoft-edge"}, {"msedge", "microsoft-edge"}},
        {ZOOM_BUNDLE_ID, "Zoom", {"zoom"}, {"zoom", "ZoomLauncher"}},
    };
    return applications;
}

}  // namespace linewarden
