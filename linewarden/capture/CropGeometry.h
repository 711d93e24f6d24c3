#pragma once

#include "platform/Image.h"

namespace linewarden {

// The regions in which the browser dialers show their call state, computed from the captured
// image's pixel size alone. A requested size larger than the image is reduced to the image, so a
// region never leaves it.

// Top-left corner (Kixie).
platform::PixelRect topRegion(int imageWidth, int imageHeight, double width, double height);
// Full-width band at the top (RingCentral).
platform::PixelRect topBand(int imageWidth, int imageHeight, double height);
// Top-right corner (Trellus).
platform::PixelRect topRightRegion(int imageWidth, int imageHeight, double width, double height);

}  // namespace linewarden
