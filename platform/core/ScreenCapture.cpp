#include "platform/Platform.h"

namespace platform {

std::optional<RegionCapture> ScreenCapture::captureWindowRegion(const ShareableWindow& window, int widthPixels,
                                                                int heightPixels, const RegionOfCapture& regionOf) {
    auto image = captureWindow(window, widthPixels, heightPixels);
    if (!image) return std::nullopt;
    RegionCapture capture{image->width(), image->height(), image->readable(), {}, std::nullopt};
    capture.region = clippedRect(regionOf(capture.width, capture.height), capture.width, capture.height);
    capture.pixels = image->cropped(capture.region);
    return capture;
}

}  // namespace platform
