// The PNG files linewarden-inspect writes, read back by Leptonica: every pixel as it was, whichever
// row filter the encoder chose, and the region's frame where it belongs.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "inspect/Pictures.h"
#include "platform/linux/ocr/ImageFile.h"
#include "support/TestSupport.h"

namespace {

// Noise, flat fills and gradients, so that rows favour different filters.
platform::Image testPattern(int width, int height) {
    std::mt19937 random(7);
    std::vector<std::uint8_t> rgba;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto noise = static_cast<std::uint8_t>(random());
            const auto r = static_cast<std::uint8_t>(y < height / 3 ? noise : x * 5);
            const auto g = static_cast<std::uint8_t>(y < height / 3 ? noise / 2 : (y % 2 ? 200 : y * 3));
            const auto b = static_cast<std::uint8_t>(x < width / 2 ? 40 : x + y);
            rgba.insert(rgba.end(), {r, g, b, 255});
        }
    }
    return platform::Image(width, height, std::move(rgba));
}

TEST(InspectPictures, PngFilesReadBackPixelForPixel) {
    test_support::TempDirectory dir;
    const platform::Image image = testPattern(53, 31);
    ASSERT_TRUE(inspect::writePngFile(image, dir.path() + "/pattern.png"));
    const auto read = platform::tess::readImageFile(dir.path() + "/pattern.png");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->width(), 53);
    EXPECT_EQ(read->height(), 31);
    EXPECT_EQ(read->rgba(), image.rgba());

    EXPECT_FALSE(inspect::writePngFile(platform::Image(0, 5), dir.path() + "/empty.png"));
    EXPECT_FALSE(inspect::writePngFile(image, dir.path() + "/missing/pattern.png"));
}

TEST(InspectPictures, TheRegionIsFramedInsideItsEdgesAndTheRestIsUntouched) {
    const platform::Image image = testPattern(40, 30);
    const platform::Image marked = inspect::withRegionMarked(image, {10, 5, 20, 12});
    const auto pixel = [](const platform::Image& from, int x, int y) {
        const auto* p = &from.rgba()[(static_cast<std::size_t>(y) * from.width() + x) * 4];
        return std::vector<std::uint8_t>(p, p + 4);
    };
    const std::vector<std::uint8_t> red{230, 0, 0, 255};
    for (const auto& [x, y] : {std::pair{10, 5}, {29, 16}, {13, 10}, {20, 8}}) EXPECT_EQ(pixel(marked, x, y), red);
    for (const auto& [x, y] : {std::pair{9, 5}, {30, 16}, {14, 9}, {20, 17}, {0, 0}}) {
        EXPECT_EQ(pixel(marked, x, y), pixel(image, x, y)) << x << "," << y;
    }
    // A region beyond the image is clipped; an image without pixels is drawn white first.
    const platform::Image blank = inspect::withRegionMarked(platform::Image(8, 8), {4, 4, 100, 100});
    EXPECT_EQ(pixel(blank, 7, 7), red);
    EXPECT_EQ(pixel(blank, 0, 0), (std::vector<std::uint8_t>{255, 255, 255, 255}));
}

}  // namespace
