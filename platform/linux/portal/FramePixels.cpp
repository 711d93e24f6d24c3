#include "platform/linux/portal/FramePixels.h"

#include <algorithm>

#include "platform/linux/PixelConversion.h"

namespace platform::portal {

namespace {

constexpr int kLargestSide = 16384;

bool fitsBytes(const FrameView& frame) {
    if (frame.width <= 0 || frame.height <= 0 || frame.width > kLargestSide || frame.height > kLargestSide) return false;
    const auto rowBytes = static_cast<std::size_t>(frame.width) * 4;
    if (frame.stride < 0 || static_cast<std::size_t>(frame.stride) < rowBytes) return false;
    return frame.bytes.size() >= static_cast<std::size_t>(frame.stride) * (frame.height - 1) + rowBytes;
}

bool hasAlpha(PixelOrder order) { return order == PixelOrder::BGRA || order == PixelOrder::RGBA; }

// The smallest rectangle holding every pixel whose alpha is not zero; nothing when there is none.
std::optional<PixelRect> opaqueBounds(const FrameView& frame) {
    int left = frame.width, right = -1, top = -1, bottom = -1;
    for (int y = 0; y < frame.height; ++y) {
        const std::uint8_t* row = frame.bytes.data() + static_cast<std::size_t>(frame.stride) * y;
        int first = -1, last = -1;
        for (int x = 0; x < frame.width; ++x) {
            if (row[x * 4 + 3] != 0) {
                if (first < 0) first = x;
                last = x;
            }
        }
        if (first < 0) continue;
        if (top < 0) top = y;
        bottom = y;
        left = std::min(left, first);
        right = std::max(right, last);
    }
    if (top < 0) return std::nullopt;
    return PixelRect{left, top, right - left + 1, bottom - top + 1};
}

}  // namespace

std::optional<PixelRect> windowRect(const FrameView& frame) {
    if (!fitsBytes(frame)) return std::nullopt;
    if (const auto& crop = frame.crop; crop && crop->width > 0 && crop->height > 0 && crop->x >= 0 && crop->y >= 0 &&
                                       crop->x <= frame.width - crop->width && crop->y <= frame.height - crop->height) {
        return crop;
    }
    if (hasAlpha(frame.order)) return opaqueBounds(frame);
    return PixelRect{0, 0, frame.width, frame.height};
}

std::optional<std::vector<std::uint8_t>> windowRgba(const FrameView& frame, const PixelRect& rect) {
    if (!fitsBytes(frame) || rect.width <= 0 || rect.height <= 0 || rect.x < 0 || rect.y < 0 ||
        rect.x > frame.width - rect.width || rect.y > frame.height - rect.height) {
        return std::nullopt;
    }
    x11::PixelLayout layout;
    layout.bitsPerPixel = 32;
    layout.bytesPerRow = static_cast<std::size_t>(frame.stride);
    const bool blueFirst = frame.order == PixelOrder::BGRx || frame.order == PixelOrder::BGRA;
    layout.redMask = blueFirst ? 0x00ff0000u : 0x000000ffu;
    layout.greenMask = 0x0000ff00u;
    layout.blueMask = blueFirst ? 0x000000ffu : 0x00ff0000u;
    const std::size_t offset = static_cast<std::size_t>(frame.stride) * rect.y + static_cast<std::size_t>(rect.x) * 4;
    return x11::convertToRgba(frame.bytes.subspan(offset), rect.width, rect.height, layout);
}

}  // namespace platform::portal
