#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "linewarden/app/DialerCatalogue.h"
#include "linewarden/text/Format.h"
#include "linewarden/window/AccessibilityHelper.h"
#include "platform/Platform.h"

namespace linewarden {

inline constexpr std::chrono::nanoseconds kBrowserPause{3'000'000'000};
inline constexpr std::chrono::nanoseconds kZoomPause{2'000'000'000};

// The texts by which one browser driver names its dialer.
struct BrowserDriverTexts {
    std::string_view notFoundLine;     // "Error: Could not find Kixie window in any browser\n"
    std::string_view monitoringLine;   // "Monitoring Kixie status...\n"
};

namespace detail {

// Runs one scan and reports how long it took, in milliseconds.
template <class Monitor>
void timedScan(platform::Platform& platform, Monitor& monitor) {
    const double start = platform.clock.now();
    monitor.scanElements(false);
    const double elapsedMs = (platform.clock.now() - start) * 1000.0;
    platform.console.err("DEBUG: scanElements execution time: " + formatFixed2(elapsedMs) + "ms\n");
}

}  // namespace detail

// Looks for the dialer's tab in Brave, Chrome and Edge, keeps the first monitor that finds it,
// then scans forever: timing line, accessibility probe after every third scan, 3 s pause.
// `open(platform, bundleId)` gives the dialer's monitor for one browser once it has found the tab
// there, or null. Returns 1 when no browser has the tab; otherwise returns only when the platform
// winds down.
template <class Open>
int runBrowserDriver(platform::Platform& platform, Open&& open, const BrowserDriverTexts& texts) {
    decltype(open(platform, std::string())) monitor;
    for (const BrowserEntry& browser : kBrowserSearchList) {
        platform.console.err("Checking " + std::string(browser.displayName) + " browser...\n");
        if ((monitor = open(platform, std::string(browser.bundleId)))) break;
    }
    if (!monitor) {
        platform.console.err(texts.notFoundLine);
        return 1;
    }
    platform.console.err(texts.monitoringLine);

    int scansSinceProbe = 0;
    while (!platform.clock.windingDown()) {
        detail::timedScan(platform, *monitor);
        if (++scansSinceProbe >= 3) {
            if (!AccessibilityHelper::checkAccessibilityHealth(platform, monitor->appRef())) {
                platform.console.err("DEBUG: Accessibility health check failed, may need to refresh references\n");
                if constexpr (requires { monitor->refreshReferences(); }) monitor->refreshReferences();
            }
            scansSinceProbe = 0;
        }
        platform.clock.sleepFor(kBrowserPause);  // an early end only starts the next cycle sooner
    }
    return 0;
}

// The same for a monitor class whose `findWindow` looks for the tab.
template <class Monitor>
int runBrowserDriver(platform::Platform& platform, bool (Monitor::*findWindow)(), const BrowserDriverTexts& texts) {
    const auto open = [findWindow](platform::Platform& p, std::string bundleId) -> std::unique_ptr<Monitor> {
        auto monitor = std::make_unique<Monitor>(p, std::move(bundleId));
        if (((*monitor).*findWindow)()) return monitor;
        return nullptr;
    };
    return runBrowserDriver(platform, open, texts);
}

// The driver of a browser dialer's row.
inline int runBrowserDriver(platform::Platform& platform, const Dialer& dialer) {
    return runBrowserDriver(platform, dialer.openInBrowser, {dialer.notFoundLine, dialer.monitoringLine});
}

// Scans Zoom forever with a 2 s pause; returns only when the platform winds down.
template <class Monitor>
int runZoomDriver(platform::Platform& platform) {
    Monitor monitor(platform);
    while (!platform.clock.windingDown()) {
        detail::timedScan(platform, monitor);
        platform.clock.sleepFor(kZoomPause);
    }
    return 0;
}

}  // namespace linewarden
