#pragma once

// Reading and writing picture files (PNG and whatever else Leptonica reads), for tools and
// tests that feed the recogniser from disk and for looking at what the recogniser was given.

#include <optional>
#include <string>

#include "Preprocess.h"
#include "platform/Image.h"

namespace platform::tess {

// The picture as RGBA rows, or nothing when the file cannot be read.
std::optional<Image> readImageFile(const std::string& path);

// Writes RGBA pixels or grey levels as a PNG file; false on failure.
bool writePng(const Image& image, const std::string& path);
bool writePng(const GreyImage& image, const std::string& path);

}  // namespace platform::tess
