#pragma once

// The pictures linewarden-inspect writes: PNG files of captured windows, regions and the
// recogniser's input, the region the dialer reads marked on the window.

#include <cstdint>
#include <filesystem>
#include <vector>

#include "platform/Image.h"

namespace inspect {

// A copy of the image with a red frame drawn just inside `region` (clipped to the image). An
// image that only describes its text is drawn white first.
platform::Image withRegionMarked(const platform::Image& image, const platform::PixelRect& region);

// The image as a PNG file (8-bit RGB, alpha dropped; an image without pixels is white); empty
// when the image has no area.
std::vector<std::uint8_t> encodePng(const platform::Image& image);

// Writes encodePng(image) to `path`; false when it cannot be encoded or written whole.
bool writePngFile(const platform::Image& image, const std::filesystem::path& path);

}  // namespace inspect
