#pragma once

// The window's own pixels in one frame of a screen-cast stream. A stream's frame can be larger
// than the window: mutter 43 sends a window at the top left of a frame of the monitor's size and
// leaves the rest transparent, saying where the window is in the frame's crop metadata. Crop
// rectangles come from another process and are checked against the frame before use.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/Image.h"

namespace platform::portal {

// Byte order of a 32-bit pixel in memory, as the stream's format names it.
enum class PixelOrder { BGRx, BGRA, RGBx, RGBA };

struct FrameView {
    std::span<const std::uint8_t> bytes;
    int width = 0;
    int height = 0;
    int stride = 0;   // bytes from one row to the next
    PixelOrder order = PixelOrder::BGRx;
    std::optional<PixelRect> crop;   // the frame's crop metadata, when it has any
};

// Where the window is in the frame: the crop when it is a non-empty rectangle inside the frame;
// without one, for a format with alpha, the bounds of the pixels that are not transparent;
// otherwise the whole frame. Nothing when the frame's own sizes do not fit its bytes, or when
// nothing of the frame is visible.
std::optional<PixelRect> windowRect(const FrameView& frame);

// The pixels of `rect` (inside the frame) as opaque RGBA rows; nothing when they cannot be read.
std::optional<std::vector<std::uint8_t>> windowRgba(const FrameView& frame, const PixelRect& rect);

}  // namespace platform::portal
