#include "linewarden/capture/CropGeometry.h"

#include <algorithm>
#include <cmath>

namespace linewarden {

namespace {
// A requested extent in whole pixels, never beyond the image and never negative.
int clampedExtent(double requested, int available) {
    if (!(requested > 0)) return 0;
    return static_cast<int>(std::min<double>(std::floor(requested), available));
}
}  // namespace

platform::PixelRect topRegion(int imageWidth, int imageHeight, double width, double height) {
    return {0, 0, clampedExtent(width, imageWidth), clampedExtent(height, imageHeight)};
}

platform::PixelRect topBand(int imageWidth, int imageHeight, double height) {
    return {0, 0, std::max(imageWidth, 0), clampedExtent(height, imageHeight)};
}

platform::PixelRect topRightRegion(int imageWidth, int imageHeight, double width, double height) {
    const int w = clampedExtent(width, imageWidth);
    return {std::max(0, imageWidth - w), 0, w, clampedExtent(height, imageHeight)};
}

}  // namespace linewarden
