#include <gtest/gtest.h>

#include "linewarden/capture/CropGeometry.h"
#include "linewarden/capture/TextRecognition.h"
#include "linewarden/capture/WindowCapture.h"

using platform::PixelRect;

TEST(CropGeometry, RegionsAreReducedToTheImage) {
    EXPECT_EQ(linewarden::topRegion(800, 600, 300, 200), (PixelRect{0, 0, 300, 200}));
    EXPECT_EQ(linewarden::topRegion(250, 120, 300, 200), (PixelRect{0, 0, 250, 120}));
    EXPECT_EQ(linewarden::topBand(800, 600, 150), (PixelRect{0, 0, 800, 150}));
    EXPECT_EQ(linewarden::topBand(800, 100, 150), (PixelRect{0, 0, 800, 100}));
    EXPECT_EQ(linewarden::topRightRegion(800, 600, 400, 200), (PixelRect{400, 0, 400, 200}));
    EXPECT_EQ(linewarden::topRightRegion(350, 150, 400, 200), (PixelRect{0, 0, 350, 150}));
    EXPECT_EQ(linewarden::topRightRegion(0, 0, 400, 200), (PixelRect{0, 0, 0, 0}));
}

TEST(CropGeometry, CroppingACropWithTheSameArgumentsKeepsIt) {
    const platform::Image image(800, 600, std::vector<std::uint8_t>(800 * 600 * 4, 0x7f));
    const auto once = image.cropped(linewarden::topRightRegion(800, 600, 400, 200));
    ASSERT_TRUE(once);
    const auto twice = once->cropped(linewarden::topRightRegion(once->width(), once->height(), 400, 200));
    ASSERT_TRUE(twice);
    EXPECT_EQ(twice->width(), 400);
    EXPECT_EQ(twice->height(), 200);
}

TEST(CaptureSize, TwiceTheFrameTruncated) {
    using linewarden::doubledPixelSize;
    EXPECT_EQ(doubledPixelSize({0, 0, 400, 300}, false), std::make_pair(800, 600));
    EXPECT_EQ(doubledPixelSize({0, 0, 300.75, 10.2}, false), std::make_pair(601, 20));
    EXPECT_EQ(doubledPixelSize({0, 0, 0, 0}, true), std::make_pair(1, 1));
    EXPECT_EQ(doubledPixelSize({0, 0, 0, 0}, false), std::make_pair(0, 0));
    // Absurd frames are clamped instead of overflowing the conversion.
    EXPECT_EQ(doubledPixelSize({0, 0, 1e300, -5}, false), std::make_pair(2147483647, 0));
}

TEST(CaptureSize, DescribedAsTheSizeStructure) {
    EXPECT_EQ(linewarden::describeSize(platform::Image(800, 600)), "(800.0, 600.0)");
}

TEST(CollectCandidates, KeepsUpToTheWantedReadingsInOrder) {
    const std::vector<platform::TextObservation> observations{
        {{"0:07", "0:O7", "O:07"}, std::nullopt, std::nullopt},
        {{}, std::nullopt, std::nullopt},
        {{"", "x"}, std::nullopt, std::nullopt},
        {{"Ringing"}, std::nullopt, std::nullopt},
    };
    EXPECT_EQ(linewarden::collectCandidates(observations, 1), (std::vector<std::string>{"0:07", "", "Ringing"}));
    EXPECT_EQ(linewarden::collectCandidates(observations, 3),
              (std::vector<std::string>{"0:07", "0:O7", "O:07", "", "x", "Ringing"}));
}

TEST(RobustListing, CountsEntriesAndNumbersFromOne) {
    platform::RecordingConsole console;
    linewarden::writeRobustListing(console, {"Ringing", "0:07"});
    EXPECT_EQ(console.standardError(),
              "[OCR] Accurate recognition detected 2 text elements:\n"
              "[OCR]   [1] \"Ringing\"\n"
              "[OCR]   [2] \"0:07\"\n");
    console.clear();
    linewarden::writeRobustListing(console, {});
    EXPECT_EQ(console.standardError(), "[OCR] Accurate recognition: No text detected\n");
}
