#pragma once

// The dialer table: one row per dialer with everything that makes it that dialer. The launcher,
// the monitors and the drivers read their names, texts and settings from here.

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "linewarden/app/Applications.h"
#include "linewarden/detect/TwoStateStatusMachine.h"
#include "linewarden/monitors/BrowserMonitor.h"
#include "platform/Platform.h"

namespace linewarden {

// The dialers the monitor can watch, in dispatch order.
enum class DialerType { zoom, kixie, ringcentral, trellus };

// A classifier of the recognised lines of one scan: whether a call is active, and which rule said so.
using CallClassifier = Classification (*)(platform::Console& console, const std::vector<std::string>& lines);

struct Dialer {
    DialerType type = DialerType::zoom;
    std::string_view name{};         // the command-line name: "kixie"
    std::string_view displayName{};  // the name in its messages: "Kixie"
    // A dialer with an application of its own (Zoom) is watched there; the others in a browser tab
    // whose title contains `titleKeyword`, looked for through kBrowserSearchList.
    std::string_view ownApplication{};
    std::string_view titleKeyword{};
    BrowserDialerTable browser{};    // browser dialers: window search, crop, recognition, texts
    // Two-state dialers: the classifier and the status words. Others have a machine of their own.
    CallClassifier classifier = nullptr;
    const TwoStateWords* words = nullptr;
    // Browser dialers: the dialer's monitor for one browser, once it has found the dialer's tab
    // there; null when the browser has no such tab.
    std::unique_ptr<BrowserMonitor> (*openInBrowser)(platform::Platform& platform, std::string bundleId) = nullptr;
    // The driver's lines around the browser search.
    std::string notFoundLine{};      // "Error: Could not find Kixie window in any browser\n"
    std::string monitoringLine{};    // "Monitoring Kixie status...\n", "Monitoring Zoom...\n"
};

// Every dialer, in DialerType order.
std::span<const Dialer> dialers();
const Dialer& dialer(DialerType type);

// The dialer whose command-line name equals `name` exactly, or nothing.
std::optional<DialerType> dialerTypeFromRawValue(std::string_view name);

}  // namespace linewarden
