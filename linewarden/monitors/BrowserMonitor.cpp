#include "linewarden/monitors/BrowserMonitor.h"

#include <utility>

#include "linewarden/capture/CropGeometry.h"
#include "linewarden/capture/TextRecognition.h"
#include "linewarden/capture/WindowCapture.h"
#include "linewarden/text/Format.h"
#include "linewarden/text/UnicodeText.h"
#include "linewarden/window/AccessibilityHelper.h"
#include "linewarden/window/WindowDiscovery.h"
#include "linewarden/window/WindowNumberResolution.h"

namespace linewarden {

namespace {
constexpr std::string_view kPipeline = "[detectCallViaScreenshot] ";
}  // namespace

BrowserMonitor::BrowserMonitor(platform::Platform& platform, std::string bundleId, const BrowserDialerTable& table)
    : platform_(platform), bundleId_(std::move(bundleId)), table_(table) {
    setupAppRef();
}

void BrowserMonitor::setupAppRef() {
    appRef_ = AccessibilityHelper::setupAppRef(platform_, bundleId_);
}

std::optional<platform::WindowNumber> BrowserMonitor::getWindowID(const platform::AXElementRef& window) {
    return linewarden::getWindowID(platform_, window, table_.partialKey, table_.tracesWindowSearch);
}

bool BrowserMonitor::haveAppRef(bool report) {
    if (!appRef_) setupAppRef();
    if (!appRef_ && report) platform_.console.err("Browser not running (Bundle ID: " + bundleId_ + ")\n");
    return appRef_ != nullptr;
}

BrowserMonitor::Walk BrowserMonitor::walkWindows(bool report, bool warnUnresolved) {
    auto& console = platform_.console;
    const platform::AXAnswer windows = platform_.accessibility.copyAttribute(appRef_, platform::kAXWindowsAttribute);
    if (!windows.ok() || !windows.elements()) {
        if (report) console.err("No windows found for " + bundleId_ + "\n");
        return Walk::unreadable;
    }
    auto found = firstMatchingWindow(platform_.accessibility, *windows.elements(), table_.titleKeywords);
    if (!found) return Walk::notFound;
    if (report) console.err(std::string(table_.foundMessage) + toValidUtf8(found->title) + "\n");
    window_ = found->element;
    windowTitle_ = std::move(found->title);
    if (const auto number = getWindowID(window_)) {
        if (windowID_ != number) windowOwner_.reset();
        windowID_ = number;
        if (report) console.err("Got window ID: " + std::to_string(*number) + "\n");
    } else if (warnUnresolved) {
        console.err("Warning: Could not get window ID\n");
    }
    platform_.accessibility.setAttribute(window_, platform::kAXMainAttribute, true);
    return Walk::found;
}

void BrowserMonitor::reportNotFound() {
    platform_.console.err(std::string(table_.notFoundMessage) + bundleId_ + "\n");
    platform_.console.err(table_.keywordMessage);
}

bool BrowserMonitor::findWindow() {
    if (!haveAppRef(true)) return false;
    const Walk walk = walkWindows(true, true);
    if (walk == Walk::notFound) reportNotFound();
    return walk == Walk::found;
}

bool BrowserMonitor::stopEarly() { return lost_ ? handleStatusChange(false) : false; }

bool BrowserMonitor::scanElements(bool initialScan) {
    auto& console = platform_.console;
    if (!haveAppRef(initialScan)) return stopEarly();

    if (!window_ || !windowID_) {
        if (walkWindows(initialScan, false) == Walk::unreadable) return stopEarly();
        if (!window_ && initialScan) {
            reportNotFound();
            return stopEarly();
        }
    }

    if (!windowID_) {
        if (!initialScan) console.err("[Scan] No window ID available for screenshot detection\n");
        return stopEarly();
    }
    if (lost_) {
        lost_ = false;
        console.err("[Scan] Found the dialer's window again: \"" + toValidUtf8(windowTitle_.value_or("")) + "\", window " +
                    std::to_string(*windowID_) + "\n");
    }

    const bool verdict = detectCallViaScreenshot();
    switch (trouble_) {
        case WindowTrouble::minimised:
            console.err("[Scan] Window " + std::to_string(*windowID_) +
                        " is minimised: the status stays as it is until the window is shown again\n");
            return isDialing();
        case WindowTrouble::gone:
            letWindowGo();
            break;
        case WindowTrouble::none:
            break;
    }
    return handleStatusChange(verdict);
}

void BrowserMonitor::letWindowGo() {
    if (windowID_) {
        platform_.console.err("[Scan] Window " + std::to_string(*windowID_) +
                              " is gone (closed, its browser quit, or the number names another window now); "
                              "looking for the dialer's window again\n");
    }
    window_.reset();
    windowTitle_.reset();
    windowID_.reset();
    windowOwner_.reset();
    memory_.forget();
    lost_ = true;
    // An application whose element cannot list its windows any more has quit (or lost its
    // display): the next scan looks the browser up again.
    if (appRef_ && !platform_.accessibility.copyAttribute(appRef_, platform::kAXWindowsAttribute).ok()) {
        appRef_.reset();
    }
}

void BrowserMonitor::refreshReferences() {
    if (!appRef_ || platform_.accessibility.copyAttribute(appRef_, platform::kAXWindowsAttribute).ok()) return;
    if (window_) letWindowGo();
    appRef_.reset();
}

bool BrowserMonitor::detectCallViaScreenshot() {
    auto& console = platform_.console;
    const bool narrate = table_.reportsPipeline;
    trouble_ = WindowTrouble::none;
    if (!windowID_) {
        if (narrate) console.err(std::string(kPipeline) + "\u274C No windowID available\n");
        return false;
    }
    if (narrate) {
        console.err(std::string(kPipeline) + "\U0001F4F8 Attempting to capture window " + std::to_string(*windowID_) +
                    "...\n");
    }
    platform::ProcessId owner = 0;
    // Only the region the dialer is read in is taken of the window.
    const platform::RegionOfCapture readRegion = [this](int width, int height) { return regionOf(width, height); };
    auto screenshot = captureWindowByNumber(platform_, *windowID_, memory_, &owner, &readRegion);
    if (screenshot && owner != 0) {
        // The number was reused: another application's window is not the dialer's.
        if (windowOwner_ && *windowOwner_ != owner) {
            screenshot.reset();
            trouble_ = WindowTrouble::gone;
        } else {
            windowOwner_ = owner;
        }
    }
    if (!screenshot) {
        if (trouble_ == WindowTrouble::none && window_) {
            switch (platform_.accessibility.windowPresence(window_)) {
                case platform::WindowPresence::minimised: trouble_ = WindowTrouble::minimised; return isDialing();
                case platform::WindowPresence::gone: trouble_ = WindowTrouble::gone; break;
                case platform::WindowPresence::shown:
                case platform::WindowPresence::unknown: break;
            }
        }
        if (narrate) console.err(std::string(kPipeline) + "\u274C Failed to capture screenshot\n");
        return false;
    }
    if (narrate) {
        console.err(std::string(kPipeline) + "\u2705 Screenshot captured, size: " + describeSize(screenshot->width, screenshot->height) + "\n");
    }
    if (table_.guardsWindowWidth && !acceptsWidth(screenshot->width)) return isDialing();

    const auto region = cropRegion(*screenshot);
    if (!region) {
        if (narrate) console.err(std::string(kPipeline) + "\u274C Failed to crop image\n");
        return false;
    }
    if (narrate) console.err(table_.croppedMessage);
    const std::vector<std::string> lines = recognize(*region);
    if (narrate) {
        console.err(std::string(kPipeline) + "OCR returned " + std::to_string(lines.size()) + " text elements\n");
    }
    return detectCallFromOCR(lines);
}

bool BrowserMonitor::acceptsWidth(int width) {
    const double w = width;
    if (lastKnownWindowWidth_ > 0 && w < lastKnownWindowWidth_ * 0.5) {
        platform_.console.err(std::string(kPipeline) + "\u26A0\uFE0F Window size changed dramatically (" +
                              formatShortest(lastKnownWindowWidth_) + " \u2192 " + formatShortest(w) +
                              "), skipping this scan\n");
        return false;
    }
    lastKnownWindowWidth_ = w;
    return true;
}

platform::PixelRect BrowserMonitor::regionOf(int width, int height) const {
    switch (table_.crop) {
        case CropRegion::topLeft: return topRegion(width, height, table_.cropWidth, table_.cropHeight);
        case CropRegion::topBand: return topBand(width, height, table_.cropHeight);
        case CropRegion::topRight: return topRightRegion(width, height, table_.cropWidth, table_.cropHeight);
    }
    return {};
}

std::optional<Reading> BrowserMonitor::cropRegion(const Reading& screenshot) {
    if (!screenshot.readable) return std::nullopt;
    const platform::PixelRect rect = regionOf(screenshot.width, screenshot.height);
    if (table_.crop == CropRegion::topRight) {
        platform_.console.err("[cropTopRightRegion] Image size: " + formatShortest(screenshot.width) + "x" +
                              std::to_string(screenshot.height) + ", cropping at x:" + formatShortest(rect.x) +
                              " size:" + formatShortest(rect.width) + "x" + formatShortest(rect.height) + "\n");
    }
    return memory_.crop(screenshot, rect);
}

std::vector<std::string> BrowserMonitor::recognize(const Reading& region) {
    std::vector<std::string> lines = memory_.recognize(platform_, region, table_.recognition);
    if (table_.robustRecognition) writeRobustListing(platform_.console, lines);
    return lines;
}

}  // namespace linewarden
