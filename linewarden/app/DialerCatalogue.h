#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace linewarden {

// The dialers the monitor can watch, in dispatch order.
enum class DialerType { zoom, kixie, ringcentral, trellus };

// The dialer whose command-line name equals `name` exactly, or nothing.
std::optional<DialerType> dialerTypeFromRawValue(std::string_view name);
std::string_view rawValue(DialerType type);
// The bundle identifier of the dialer's own desktop application (Zoom only).
std::optional<std::string_view> appBundleId(DialerType type);
// The text that marks the dialer's tab in a browser window title (none for Zoom).
std::vector<std::string_view> windowTitles(DialerType type);

inline constexpr std::string_view CHROME_BUNDLE_ID = "com.google.Chrome";
inline constexpr std::string_view BRAVE_BUNDLE_ID = "com.brave.Browser";
inline constexpr std::string_view EDGE_BUNDLE_ID = "com.microsoft.edgemac";
inline constexpr std::string_view ZOOM_BUNDLE_ID = "us.zoom.xos";

struct BrowserEntry {
    std::string_view displayName;
    std::string_view bundleId;
};

// Where a browser dialer's tab is looked for, first to last.
inline constexpr std::array<BrowserEntry, 3> kBrowserSearchList{{
    {"Brave", BRAVE_BUNDLE_ID},
    {"Chrome", CHROME_BUNDLE_ID},
    {"Edge", EDGE_BUNDLE_ID},
}};

}  // namespace linewarden
