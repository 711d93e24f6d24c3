#include "platform/Image.h"

#include <algorithm>
#include <utility>

namespace platform {

PixelRect clippedRect(const PixelRect& rect, int width, int height) {
    const int left = std::clamp(rect.x, 0, std::max(width, 0));
    const int top = std::clamp(rect.y, 0, std::max(height, 0));
    const int right = std::clamp(rect.x + std::max(rect.width, 0), left, std::max(width, 0));
    const int bottom = std::clamp(rect.y + std::max(rect.height, 0), top, std::max(height, 0));
    return {left, top, right - left, bottom - top};
}

Image::Image(int width, int height, std::vector<std::uint8_t> rgba)
    : width_(std::max(width, 0)), height_(std::max(height, 0)), rgba_(std::move(rgba)) {
    if (!rgba_.empty() && rgba_.size() != static_cast<std::size_t>(width_) * height_ * 4) {
        rgba_.clear();  // never keep a buffer that disagrees with the size
    }
}

Image Image::withText(int width, int height, std::vector<TextObservation> text) {
    Image image(width, height);
    image.text_ = std::move(text);
    return image;
}

Image Image::unreadable(int width, int height) {
    Image image(width, height);
    image.readable_ = false;
    return image;
}

std::optional<Image> Image::cropped(const PixelRect& rect) const {
    if (!readable_) return std::nullopt;
    const PixelRect kept = clippedRect(rect, width_, height_);
    if (kept.width == 0 || kept.height == 0) return std::nullopt;
    const int left = kept.x;
    const int top = kept.y;
    const int right = left + kept.width;
    const int bottom = top + kept.height;

    Image out(kept.width, kept.height);
    if (!rgba_.empty()) {
        const std::size_t rowBytes = static_cast<std::size_t>(out.width_) * 4;
        out.rgba_.resize(rowBytes * out.height_);
        for (int row = 0; row < out.height_; ++row) {
            const auto* src = rgba_.data() + (static_cast<std::size_t>(top + row) * width_ + left) * 4;
            std::copy_n(src, rowBytes, out.rgba_.data() + row * rowBytes);
        }
    }
    for (const auto& observation : text_) {
        if (!observation.box) {
            out.text_.push_back(observation);
            continue;
        }
        const PixelRect& box = *observation.box;
        if (box.x >= left && box.y >= top && box.x + box.width <= right && box.y + box.height <= bottom) {
            TextObservation moved = observation;
            moved.box = PixelRect{box.x - left, box.y - top, box.width, box.height};
            out.text_.push_back(std::move(moved));
        }
    }
    return out;
}

}  // namespace platform
