// Preparing screenshots for the text engine: fills become white, text dark, whatever the colours.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/linux/ocr/Preprocess.h"

namespace {

using platform::Image;
using namespace platform::tess;

constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kGreen = 0x16A34A;
constexpr std::uint32_t kNight = 0x111827;

// An RGBA picture painted with rectangles.
class Canvas {
public:
    Canvas(int width, int height, std::uint32_t rgb) : width_(width), height_(height), rgba_(width * height * 4) {
        fill(0, 0, width, height, rgb);
    }
    Canvas& fill(int x, int y, int w, int h, std::uint32_t rgb) {
        for (int row = y; row < y + h; ++row) {
            for (int column = x; column < x + w; ++column) {
                std::uint8_t* p = &rgba_[(row * width_ + column) * 4];
                p[0] = static_cast<std::uint8_t>(rgb >> 16);
                p[1] = static_cast<std::uint8_t>(rgb >> 8);
                p[2] = static_cast<std::uint8_t>(rgb);
                p[3] = 255;
            }
        }
        return *this;
    }
    // Upright strokes 2 pixels wide and `height` tall, 6 pixels apart, like a word's letters.
    Canvas& strokes(int x, int y, int count, int height, std::uint32_t rgb) {
        for (int i = 0; i < count; ++i) fill(x + i * 6, y, 2, height, rgb);
        return *this;
    }
    // A two-colour gradient running diagonally across the whole picture.
    Canvas& diagonalGradient(std::uint32_t from, std::uint32_t to) {
        for (int row = 0; row < height_; ++row) {
            for (int column = 0; column < width_; ++column) {
                const double t = static_cast<double>(row + column) / (width_ + height_ - 2);
                std::uint8_t* p = &rgba_[(row * width_ + column) * 4];
                for (int c = 0; c < 3; ++c) {
                    const int a = static_cast<int>((from >> (16 - 8 * c)) & 0xFF);
                    const int b = static_cast<int>((to >> (16 - 8 * c)) & 0xFF);
                    p[c] = static_cast<std::uint8_t>(a + (b - a) * t + 0.5);
                }
            }
        }
        return *this;
    }
    // A disc whose edge is blended over two pixels, as a video behind a translucent bar shows one.
    Canvas& disc(double cx, double cy, double radius, std::uint32_t rgb) {
        for (int row = 0; row < height_; ++row) {
            for (int column = 0; column < width_; ++column) {
                const double cover = std::clamp((radius + 1 - std::hypot(column - cx, row - cy)) / 2, 0.0, 1.0);
                std::uint8_t* p = &rgba_[(row * width_ + column) * 4];
                for (int c = 0; c < 3; ++c) {
                    const int value = static_cast<int>((rgb >> (16 - 8 * c)) & 0xFF);
                    p[c] = static_cast<std::uint8_t>(p[c] + (value - p[c]) * cover + 0.5);
                }
            }
        }
        return *this;
    }
    Image image() const { return Image(width_, height_, rgba_); }

private:
    int width_;
    int height_;
    std::vector<std::uint8_t> rgba_;
};

TEST(Preprocess, LightTextOnAColouredPillComesOutDarkOnWhite) {
    // A white-on-green badge on a white page: the engine would read it as garbage in colour.
    const Image badge = Canvas(200, 80, kWhite).fill(20, 20, 150, 40, kGreen).strokes(40, 30, 8, 20, kWhite).image();
    const GreyImage grey = normaliseForText(badge).grey;
    EXPECT_EQ(grey.at(5, 5), 255);      // page
    EXPECT_EQ(grey.at(25, 25), 255);    // pill
    EXPECT_EQ(grey.at(160, 50), 255);   // pill
    EXPECT_LT(grey.at(40, 40), 40);     // a stroke
    EXPECT_LT(grey.at(82, 35), 40);     // another stroke
}

TEST(Preprocess, DarkThemeTextComesOutDarkOnWhite) {
    const Image dark = Canvas(160, 60, kNight).strokes(20, 20, 10, 18, 0xE5E7EB).image();
    const GreyImage grey = normaliseForText(dark).grey;
    EXPECT_EQ(grey.at(5, 5), 255);
    EXPECT_EQ(grey.at(23, 30), 255);   // between two strokes
    EXPECT_LT(grey.at(20, 30), 40);
}

TEST(Preprocess, ContrastIsStretchedPerMarkButFaintMarksStayFaint) {
    const Image page = Canvas(260, 60, kWhite)
                           .strokes(20, 20, 5, 18, 0x111111)   // bold dark text
                           .strokes(80, 20, 5, 18, 0x9CA3AF)   // grey secondary text beside it: 99 levels
                           .strokes(180, 20, 5, 18, 0xE2E2E2)  // barely visible: 29 levels
                           .image();
    const GreyImage grey = normaliseForText(page).grey;
    EXPECT_LT(grey.at(20, 30), 10);
    EXPECT_LT(grey.at(80, 30), 10);
    EXPECT_GT(grey.at(180, 30), 150);
}

TEST(Preprocess, AnOutlineDrawnAroundTextIsNotText) {
    // A pill drawn as a two-pixel white outline on black, yellow text inside, as high-contrast
    // themes draw controls; and a light theme's black outline around black text.
    auto outlined = [](std::uint32_t page, std::uint32_t line, std::uint32_t text) {
        return Canvas(220, 80, page)
            .fill(20, 15, 160, 2, line)
            .fill(20, 63, 160, 2, line)
            .fill(20, 15, 2, 50, line)
            .fill(178, 15, 2, 50, line)
            .strokes(50, 30, 8, 20, text)
            .image();
    };
    for (const auto& pill : {outlined(0x000000, kWhite, 0xFFFF00), outlined(kWhite, 0x000000, 0x000000)}) {
        const GreyImage grey = normaliseForText(pill).grey;
        EXPECT_EQ(grey.at(100, 15), 255);
        EXPECT_EQ(grey.at(20, 40), 255);
        EXPECT_LT(grey.at(50, 40), 40);
    }
}

TEST(Preprocess, AnOutlineBetweenTwoFillsIsNotText) {
    // A dark pill with a one-pixel anti-aliased rim on a white page; the rim touches both fills.
    const Image pill = Canvas(200, 80, kWhite)
                           .fill(19, 19, 152, 42, 0x888888)
                           .fill(20, 20, 150, 40, 0x222222)
                           .strokes(40, 30, 8, 20, kWhite)
                           .image();
    const GreyImage grey = normaliseForText(pill).grey;
    EXPECT_EQ(grey.at(19, 40), 255);
    EXPECT_EQ(grey.at(100, 19), 255);
    EXPECT_LT(grey.at(40, 40), 40);
}

TEST(Preprocess, TextOnAGradientComesOutDarkOnWhite) {
    const Image header = Canvas(240, 80, kWhite).diagonalGradient(0x6366F1, 0xEC4899).strokes(40, 30, 8, 20, kWhite).image();
    const GreyImage grey = normaliseForText(header).grey;
    EXPECT_EQ(grey.at(5, 5), 255);
    EXPECT_EQ(grey.at(230, 70), 255);
    EXPECT_EQ(grey.at(43, 40), 255);   // between two strokes
    EXPECT_LT(grey.at(40, 40), 40);
    EXPECT_LT(grey.at(82, 35), 40);
}

TEST(Preprocess, LettersCrossingStripesStayTextWhileTheStripesGo) {
    // Strokes standing on two stripes at once are no rim between them: they stand out from both.
    Canvas striped(200, 80, 0x334155);
    for (int y = 0; y < 80; y += 16) striped.fill(0, y, 200, 8, 0x64748B);
    const GreyImage grey = normaliseForText(striped.strokes(40, 30, 8, 20, kWhite).image()).grey;
    EXPECT_EQ(grey.at(5, 5), 255);
    EXPECT_EQ(grey.at(5, 12), 255);
    EXPECT_LT(grey.at(40, 31), 40);
    EXPECT_LT(grey.at(40, 45), 40);
}

TEST(Preprocess, TextThatALargeShapesEdgeRunsThroughStaysText) {
    // A disc's long rim crosses one letter; the rim goes, the letter it joins stays.
    const Image bar = Canvas(200, 400, 0x2A2A2A).disc(500, 200, 400, 0x6A6A6A).strokes(88, 190, 4, 20, kWhite).image();
    const GreyImage grey = normaliseForText(bar).grey;
    EXPECT_LT(grey.at(100, 200), 60);   // the letter on the rim
    EXPECT_LT(grey.at(94, 200), 60);
    EXPECT_EQ(grey.at(143, 20), 255);   // the rim far from the text
}

TEST(Preprocess, StrokesThinnerThanAFillStayTextThickShapesBecomeFills) {
    // With radius 3 a fill must hold 7x7 squares; a 6 pixel stroke cannot, a 30 pixel block can.
    const Image shapes = Canvas(200, 80, kWhite).fill(20, 10, 6, 60, 0x000000).fill(100, 20, 30, 30, 0x000000).image();
    const GreyImage grey = normaliseForText(shapes, 3).grey;
    EXPECT_LT(grey.at(22, 40), 10);
    EXPECT_EQ(grey.at(115, 35), 255);
}

TEST(Preprocess, SmallTextHeightIsTheLowerQuartileOfGlyphHeights) {
    EXPECT_EQ(normaliseForText(Canvas(300, 80, kWhite).strokes(10, 10, 12, 14, 0x000000).image()).smallTextHeight, 14);
    const Image mixed = Canvas(300, 80, kWhite).strokes(10, 10, 3, 10, 0x000000).strokes(100, 10, 12, 22, 0x000000).image();
    EXPECT_EQ(normaliseForText(mixed).smallTextHeight, 22);
    const Image mostlySmall = Canvas(300, 80, kWhite).strokes(10, 10, 12, 10, 0x000000).strokes(100, 10, 4, 22, 0x000000).image();
    EXPECT_EQ(normaliseForText(mostlySmall).smallTextHeight, 10);
    EXPECT_EQ(normaliseForText(Canvas(50, 50, kWhite).image()).smallTextHeight, 0);
    // A timer "00:07": the colon's two points would otherwise halve the measure.
    Canvas timer(200, 60, kWhite);
    timer.strokes(10, 10, 2, 22, 0x000000).fill(24, 16, 6, 6, 0x000000).fill(24, 26, 6, 6, 0x000000).strokes(36, 10, 2, 22, 0x000000);
    EXPECT_EQ(normaliseForText(timer.image()).smallTextHeight, 22);
    // Slivers of a curve's edge stand one above the other, never in a row like text: left out.
    Canvas slivers(300, 200, kWhite);
    slivers.strokes(10, 10, 12, 22, 0x000000);
    for (int y = 60; y < 160; y += 20) slivers.fill(200, y, 1, 8, 0x000000);
    EXPECT_EQ(normaliseForText(slivers.image()).smallTextHeight, 22);
}

TEST(Preprocess, AnImageWithoutAnyFillStillComesOutOnWhite) {
    // Every pixel different from its neighbours: no flat region at all.
    std::vector<std::uint8_t> noise(16 * 16 * 4, 255);
    for (std::size_t i = 0; i < noise.size(); i += 4) noise[i] = static_cast<std::uint8_t>(i * 37);
    const NormalisedText result = normaliseForText(Image(16, 16, noise));
    EXPECT_EQ(result.grey.width, 16);
    EXPECT_EQ(result.grey.pixels.size(), 256u);
}

TEST(Preprocess, LuminanceWeighsGreenMost) {
    const GreyImage grey = luminance(Canvas(3, 1, 0xFF0000).fill(1, 0, 1, 1, 0x00FF00).fill(2, 0, 1, 1, 0x0000FF).image());
    EXPECT_EQ(grey.pixels, (std::vector<std::uint8_t>{76, 150, 29}));
}

TEST(Preprocess, ResizingCroppingAndMargins) {
    const Image quarters = Canvas(4, 2, 0x000000).fill(0, 0, 2, 2, kWhite).image();
    const Image half = halved(quarters);
    ASSERT_EQ(half.width(), 2);
    ASSERT_EQ(half.height(), 1);
    EXPECT_EQ(half.rgba()[0], 255);
    EXPECT_EQ(half.rgba()[4], 0);

    GreyImage ramp{2, 1, {0, 200}};
    const GreyImage doubled = scaled(ramp, 2.0);
    EXPECT_EQ(doubled.width, 4);
    EXPECT_EQ(doubled.height, 2);
    EXPECT_EQ(doubled.at(0, 0), 0);
    EXPECT_EQ(doubled.at(3, 1), 200);
    EXPECT_EQ(doubled.at(1, 0), 50);

    const GreyImage framed = withBorder(ramp, 3);
    EXPECT_EQ(framed.width, 8);
    EXPECT_EQ(framed.height, 7);
    EXPECT_EQ(framed.at(0, 0), 255);
    EXPECT_EQ(framed.at(3, 3), 0);
    EXPECT_EQ(framed.at(4, 3), 200);

    const GreyImage part = cropped(GreyImage{3, 2, {1, 2, 3, 4, 5, 6}}, {1, -5, 10, 10});
    EXPECT_EQ(part.width, 2);
    EXPECT_EQ(part.height, 2);
    EXPECT_EQ(part.pixels, (std::vector<std::uint8_t>{2, 3, 5, 6}));
}

}  // namespace
