#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// A rectangle in whole pixels, origin at the top-left corner, y growing downward.
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool operator==(const PixelRect&) const = default;
};

// The part of `rect` inside an image of this size (empty, at the clipped corner, when none is).
PixelRect clippedRect(const PixelRect& rect, int width, int height);

// One piece of text as a recogniser sees it: its candidate readings, best first, where it stands
// in the image (absent when the place does not matter) and how sure the recogniser is of the best
// reading, from 0 to 1 (absent when it does not say).
struct TextObservation {
    std::vector<std::string> candidates;
    std::optional<PixelRect> box;
    std::optional<float> confidence;

    bool operator==(const TextObservation&) const = default;
};

// A captured window or a region of one. The pixel width and height are the image's size in every
// computation of the monitor. Pixels are 8-bit RGBA rows, top row first; a scripted desktop may
// instead describe what the image shows as text observations, which cropping carries along.
class Image {
public:
    Image() = default;
    // An image of the given size with RGBA pixels (width * height * 4 bytes, or empty).
    Image(int width, int height, std::vector<std::uint8_t> rgba = {});
    // An image that only describes its text (scripted desktops).
    static Image withText(int width, int height, std::vector<TextObservation> text);
    // An image whose pixels cannot be read (the recogniser gets nothing from it).
    static Image unreadable(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }
    bool readable() const { return readable_; }
    const std::vector<std::uint8_t>& rgba() const { return rgba_; }
    const std::vector<TextObservation>& text() const { return text_; }

    // The part of the image inside `rect`, clipped to the image; nothing when the clipped
    // rectangle is empty or the image cannot be read. Text observations are kept when their box
    // lies wholly inside the region (moved into the region's coordinates), and always when they
    // have no box.
    std::optional<Image> cropped(const PixelRect& rect) const;

private:
    int width_ = 0;
    int height_ = 0;
    bool readable_ = true;
    std::vector<std::uint8_t> rgba_;
    std::vector<TextObservation> text_;
};

}  // namespace platform
