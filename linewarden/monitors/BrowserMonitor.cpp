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

bool BrowserMonitor::findWindow() {
    auto& console = platform_.console;
    if (!appRef_) setupAppRef();
    if (!appRef_) {
        console.err("Browser not running (Bundle ID: " + bundleId_ + ")\n");
        return false;
    }
    const platform::AXAnswer windows = platform_.accessibility.copyAttribute(appRef_, platform::kAXWindowsAttribute);
    if (!windows.ok() || !windows.elements()) {
        console.err("No windows found for " + bundleId_ + "\n");
        return false;
    }
    auto found = firstMatchingWindow(platform_.accessibility, *windows.elements(), table_.titleKeywords);
    if (!found) {
        console.err(std::string(table_.notFoundMessage) + bundleId_ + "\n");
        console.err(table_.keywordMessage);
        return false;
    }
    console.err(std::string(table_.foundMessage) + toValidUtf8(found->title) + "\n");
    window_ = found->element;
    windowTitle_ = std::move(found->title);
    if (const auto number = getWindowID(window_)) {
        windowID_ = number;
        console.err("Got window ID: " + std::to_string(*number) + "\n");
    } else {
        console.err("Warning: Could not get window ID\n");
    }
    platform_.accessibility.setAttribute(window_, platform::kAXMainAttribute, true);
    return true;
}

bool BrowserMonitor::scanElements(bool initialScan) {
    auto& console = platform_.console;
    if (!appRef_) setupAppRef();
    if (!appRef_) {
        if (initialScan) console.err("Browser not running (Bundle ID: " + bundleId_ + ")\n");
        return false;
    }

    if (!window_ || !windowID_) {
        const platform::AXAnswer windows =
            platform_.accessibility.copyAttribute(appRef_, platform::kAXWindowsAttribute);
        if (!windows.ok() || !windows.elements()) {
            if (initialScan) console.err("No windows found for " + bundleId_ + "\n");
            return false;
        }
        if (auto found = firstMatchingWindow(platform_.accessibility, *windows.elements(), table_.titleKeywords)) {
            if (initialScan) console.err(std::string(table_.foundMessage) + toValidUtf8(found->title) + "\n");
            window_ = found->element;
            windowTitle_ = std::move(found->title);
            if (const auto number = getWindowID(window_)) {
                windowID_ = number;
                if (initialScan) console.err("Got window ID: " + std::to_string(*number) + "\n");
            }
            platform_.accessibility.setAttribute(window_, platform::kAXMainAttribute, true);
        }
        if (!window_ && initialScan) {
            console.err(std::string(table_.notFoundMessage) + bundleId_ + "\n");
            console.err(table_.keywordMessage);
            return false;
        }
    }

    if (!windowID_) {
        if (!initialScan) console.err("[Scan] No window ID available for screenshot detection\n");
        return false;
    }
    return handleStatusChange(detectCallViaScreenshot());
}

bool BrowserMonitor::detectCallViaScreenshot() {
    auto& console = platform_.console;
    const bool narrate = table_.reportsPipeline;
    if (!windowID_) {
        if (narrate) console.err(std::string(kPipeline) + "\u274C No windowID available\n");
        return false;
    }
    if (narrate) {
        console.err(std::string(kPipeline) + "\U0001F4F8 Attempting to capture window " + std::to_string(*windowID_) +
                    "...\n");
    }
    const auto screenshot = captureWindowByNumber(platform_, *windowID_, memory_);
    if (!screenshot) {
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
