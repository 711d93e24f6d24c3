#pragma once

// Pixels as the X server hands them over, turned into the RGBA rows of platform::Image, and
// resampled to the size the monitor asks for.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace platform::x11 {

// Blocks of at least this size are mapped apart by the C library and returned when freed
// (LinuxDesktop::open sets it): a large window's pixels at twice its size are such blocks, and
// doubling offers them to the kernel for huge pages before it touches them.
constexpr std::size_t kMappedApartBytes = 6u << 20;

// How one Z-format image is laid out in memory.
struct PixelLayout {
    int bitsPerPixel = 32;        // 16, 24 or 32
    bool mostSignificantFirst = false;   // the server's image byte order
    std::uint32_t redMask = 0;
    std::uint32_t greenMask = 0;
    std::uint32_t blueMask = 0;
    std::size_t bytesPerRow = 0;  // including the scanline padding
};

// Opaque RGBA rows; nothing when the layout is not one of a true-colour visual or the data is
// shorter than the layout says.
std::optional<std::vector<std::uint8_t>> convertToRgba(std::span<const std::uint8_t> data, int width, int height,
                                                       const PixelLayout& layout);

// RGBA rows resampled from one size to another: linear interpolation when enlarging, a weighted
// average of the pixels under each target pixel when shrinking. Sizes must be positive. Doubling
// both sides, what every capture asks for, takes a faster road to the same result.
std::vector<std::uint8_t> resizeRgba(std::span<const std::uint8_t> rgba, int width, int height, int targetWidth,
                                     int targetHeight);

// The general road of resizeRgba, for any pair of sizes.
std::vector<std::uint8_t> resampleRgba(std::span<const std::uint8_t> rgba, int width, int height, int targetWidth,
                                       int targetHeight);

}  // namespace platform::x11
