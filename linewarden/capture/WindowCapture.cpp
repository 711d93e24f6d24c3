#include "linewarden/capture/WindowCapture.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "linewarden/text/Format.h"

namespace linewarden {

namespace {
int doubledSide(double points, bool atLeastOnePixel) {
    double pixels = points * 2.0;
    if (atLeastOnePixel) pixels = std::max(1.0, pixels);
    if (!(pixels > 0)) return 0;  // an empty or meaningless frame cannot be captured anyway
    return static_cast<int>(std::min(std::trunc(pixels), static_cast<double>(std::numeric_limits<int>::max())));
}
}  // namespace

std::pair<int, int> doubledPixelSize(const platform::FrameInPoints& frame, bool atLeastOnePixel) {
    return {doubledSide(frame.width, atLeastOnePixel), doubledSide(frame.height, atLeastOnePixel)};
}

std::optional<Reading> captureWindowByNumber(platform::Platform& platform, platform::WindowNumber windowID,
                                             ReadingMemory& memory, platform::ProcessId* owner,
                                             const platform::RegionOfCapture* regionOf) {
    if (owner) *owner = 0;
    const auto windows = platform.screenCapture.shareableWindows(false, true);
    if (!windows) return std::nullopt;
    const auto it = std::find_if(windows->begin(), windows->end(),
                                 [windowID](const platform::ShareableWindow& w) { return w.windowID == windowID; });
    if (it == windows->end()) return std::nullopt;
    if (owner && it->owningApplication) *owner = it->owningApplication->processId;
    const auto [width, height] = doubledPixelSize(it->frame, false);
    return memory.capture(platform, *it, width, height, regionOf);
}

std::optional<Reading> captureListedWindow(platform::Platform& platform, const platform::ShareableWindow& window,
                                           ReadingMemory& memory) {
    const auto [width, height] = doubledPixelSize(window.frame, true);
    return memory.capture(platform, window, width, height);
}

std::string describeSize(int width, int height) {
    // Appended piece by piece: GCC 12 at -O3 misreads `"(" + std::string` as an overlapping copy.
    std::string size = "(";
    size += formatShortest(width);
    size += ", ";
    size += formatShortest(height);
    size += ")";
    return size;
}

}  // namespace linewarden
