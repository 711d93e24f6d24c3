// The Tesseract recogniser on captured dialer regions, with the monitors' own settings.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <thread>

#include "linewarden/capture/RecognitionProfiles.h"
#include "platform/linux/ocr/ImageFile.h"
#include "platform/linux/ocr/TesseractRecognizer.h"

namespace {

using namespace platform;
using tess::TesseractRecognizer;

const std::filesystem::path kFixtures = std::filesystem::path(LINEWARDEN_CORPUS_DIR) / "fixtures";

Image fixture(const std::string& name) {
    auto image = tess::readImageFile((kFixtures / name).string());
    EXPECT_TRUE(image) << name;
    return image.value_or(Image());
}

std::vector<std::string> bestReadings(const RecognitionOutcome& outcome) {
    std::vector<std::string> lines;
    for (const auto& observation : outcome.observations) lines.push_back(observation.candidates.front());
    return lines;
}

bool anyContains(const std::vector<std::string>& lines, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

// Everything written to file descriptor 2 while it lives.
class StandardErrorCapture {
public:
    StandardErrorCapture() : file_(std::tmpfile()) {
        std::fflush(stderr);
        saved_ = dup(2);
        dup2(fileno(file_), 2);
    }
    ~StandardErrorCapture() { std::fclose(file_); }
    std::string finish() {
        std::fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
        std::string text;
        std::rewind(file_);
        for (int c = std::fgetc(file_); c != EOF; c = std::fgetc(file_)) text += static_cast<char>(c);
        return text;
    }

private:
    std::FILE* file_;
    int saved_ = -1;
};

class Recognizer : public testing::Test {
protected:
    // One recogniser for the suite, gone before the process ends: the engine's shared caches
    // must outlive the engines that use them.
    static void SetUpTestSuite() { shared_ = std::make_unique<TesseractRecognizer>(); }
    static void TearDownTestSuite() { shared_.reset(); }
    void SetUp() override {
        if (tess::tessdataDirectory().empty()) GTEST_SKIP() << "no Tesseract English model installed";
    }
    static inline std::unique_ptr<TesseractRecognizer> shared_;
    TesseractRecognizer& recognizer_ = *shared_;
};

TEST_F(Recognizer, ReadsAWhiteOnGreenBadgeInADarkTheme) {
    const Image crop = fixture("kixie-on-call-dark.png");
    const auto outcome = recognizer_.recognize(crop, linewarden::kixieRecognitionSettings());
    EXPECT_TRUE(outcome.succeeded);
    EXPECT_TRUE(anyContains(bestReadings(outcome), "On Call")) << testing::PrintToString(bestReadings(outcome));
    for (const auto& observation : outcome.observations) {
        EXPECT_EQ(observation.candidates.size(), 1u);
        ASSERT_TRUE(observation.box);
        EXPECT_GE(observation.box->x, 0);
        EXPECT_GE(observation.box->y, 0);
        EXPECT_LE(observation.box->x + observation.box->width, crop.width());
        EXPECT_LE(observation.box->y + observation.box->height, crop.height());
    }
}

TEST_F(Recognizer, ReadsANarrowlySetCustomPhraseWithItsSpace) {
    // An orange pill in a 12 px serif: at the first size the engine ran it together, "OnCally".
    const auto outcome =
        recognizer_.recognize(fixture("kixie-on-call-narrow-serif.png"), linewarden::kixieRecognitionSettings());
    EXPECT_TRUE(anyContains(bestReadings(outcome), "On Call")) << testing::PrintToString(bestReadings(outcome));
}

TEST_F(Recognizer, ReadsSpacedCapitalsInAPill) {
    const auto outcome = recognizer_.recognize(fixture("trellus-active-caps.png"), linewarden::trellusRecognitionSettings());
    EXPECT_TRUE(anyContains(bestReadings(outcome), "ACTIVE")) << testing::PrintToString(bestReadings(outcome));
}

// 9 px grey text on a dark band, 3:1 and 4.5:1: the first reading is sure of "On Cal" and "1207",
// so the small rows are read again alone (the timer also from its plain grey levels).
TEST_F(Recognizer, ReadsNinePixelSecondaryTextThatTheFirstReadingGotWrongSurely) {
    const auto status = recognizer_.recognize(fixture("kixie-on-call-9px-faint.png"), linewarden::kixieRecognitionSettings());
    EXPECT_TRUE(anyContains(bestReadings(status), "On Call")) << testing::PrintToString(bestReadings(status));
    const auto timer = recognizer_.recognize(fixture("ringcentral-timer-9px-faint.png"),
                                             linewarden::ringCentralRecognitionSettings(RecognitionLevel::accurate));
    EXPECT_TRUE(anyContains(bestReadings(timer), "12:07")) << testing::PrintToString(bestReadings(timer));
}

TEST_F(Recognizer, AccurateReadingOffersUpToThreeDistinctCandidates) {
    const auto settings = linewarden::ringCentralRecognitionSettings(RecognitionLevel::accurate);
    const auto outcome = recognizer_.recognize(fixture("ringcentral-timer-band.png"), settings);
    EXPECT_TRUE(anyContains(bestReadings(outcome), "1:02:33")) << testing::PrintToString(bestReadings(outcome));
    for (const auto& observation : outcome.observations) {
        EXPECT_GE(observation.candidates.size(), 1u);
        EXPECT_LE(observation.candidates.size(), 3u);
        const std::set<std::string> distinct(observation.candidates.begin(), observation.candidates.end());
        EXPECT_EQ(distinct.size(), observation.candidates.size());
    }
}

TEST_F(Recognizer, ObservationsComeInReadingOrder) {
    const auto outcome = recognizer_.recognize(fixture("zoom-banner-light.png"), linewarden::zoomRecognitionSettings());
    const auto lines = bestReadings(outcome);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "Sam Patel -");
    EXPECT_EQ(lines.back(), "End");
    for (std::size_t i = 1; i < outcome.observations.size(); ++i) {
        const PixelRect& before = *outcome.observations[i - 1].box;
        const PixelRect& after = *outcome.observations[i].box;
        const bool sameRow = after.y + after.height / 2 <= before.y + before.height && after.y >= before.y;
        EXPECT_TRUE(after.y >= before.y || sameRow) << lines[i - 1] << " before " << lines[i];
        if (sameRow) {
            EXPECT_GT(after.x, before.x) << lines[i - 1] << " before " << lines[i];
        }
    }
}

// The minimum is the text's size; a line's box holds only its ink, 0.7 of the size for capitals
// and digits alone.
TEST_F(Recognizer, LinesOfTextSmallerThanTheMinimumTextHeightAreLeftOut) {
    auto settings = linewarden::zoomRecognitionSettings();
    const Image window = fixture("zoom-banner-light.png");
    const auto all = recognizer_.recognize(window, settings);
    ASSERT_FALSE(all.observations.empty());
    int tallest = 0;
    for (const auto& observation : all.observations) tallest = std::max(tallest, observation.box->height);
    const auto sizeOfInk = [&](double ink) { return static_cast<float>(ink / 0.7 / window.height()); };
    settings.minimumTextHeight = sizeOfInk(tallest - 0.5);
    EXPECT_FALSE(recognizer_.recognize(window, settings).observations.empty());
    settings.minimumTextHeight = sizeOfInk(tallest + 0.5);
    EXPECT_TRUE(recognizer_.recognize(window, settings).observations.empty());
}

TEST_F(Recognizer, ImagesWithoutReadablePixelsGiveNoText) {
    const auto settings = linewarden::kixieRecognitionSettings();
    for (const Image& image : {Image::unreadable(300, 200), Image(300, 200), Image(2, 2, std::vector<std::uint8_t>(5, 0)),
                               Image(0, 0)}) {
        const auto outcome = recognizer_.recognize(image, settings);
        EXPECT_TRUE(outcome.succeeded);
        EXPECT_TRUE(outcome.observations.empty());
    }
    for (std::uint8_t level : {std::uint8_t{0}, std::uint8_t{255}}) {
        const auto outcome = recognizer_.recognize(Image(300, 200, std::vector<std::uint8_t>(300 * 200 * 4, level)), settings);
        EXPECT_TRUE(outcome.succeeded);
        EXPECT_TRUE(outcome.observations.empty());
    }
}

TEST_F(Recognizer, AnUnknownLanguageIsAFailure) {
    auto settings = linewarden::kixieRecognitionSettings();
    settings.languages = {"xx-YY"};
    const auto outcome = recognizer_.recognize(fixture("kixie-on-call-dark.png"), settings);
    EXPECT_FALSE(outcome.succeeded);
    EXPECT_TRUE(outcome.observations.empty());
}

TEST_F(Recognizer, ProfilesDoNotDisturbEachOther) {
    const Image kixie = fixture("kixie-on-call-dark.png");
    const Image band = fixture("ringcentral-timer-band.png");
    const auto first = recognizer_.recognize(kixie, linewarden::kixieRecognitionSettings()).observations;
    const auto timer =
        recognizer_.recognize(band, linewarden::ringCentralRecognitionSettings(RecognitionLevel::accurate)).observations;
    EXPECT_EQ(recognizer_.recognize(kixie, linewarden::kixieRecognitionSettings()).observations, first);
    EXPECT_EQ(recognizer_.recognize(band, linewarden::ringCentralRecognitionSettings(RecognitionLevel::accurate)).observations,
              timer);

    // A fresh recogniser, on another thread, reads the same.
    std::vector<TextObservation> elsewhere;
    std::thread([&] {
        elsewhere = TesseractRecognizer().recognize(kixie, linewarden::kixieRecognitionSettings()).observations;
    }).join();
    EXPECT_EQ(elsewhere, first);
}

// Answers remembered from earlier images, whole or in part, read exactly as a recogniser that
// remembers nothing: over an image, the same with a corner repainted, and the first again.
TEST_F(Recognizer, RememberedAnswersReadAsAFreshReading) {
    const Image band = fixture("ringcentral-timer-band.png");
    std::vector<std::uint8_t> pixels = band.rgba();
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 40; ++x) pixels[(static_cast<std::size_t>(y) * band.width() + x) * 4 + 1] ^= 0x40;
    }
    const Image repainted(band.width(), band.height(), std::move(pixels));
    const auto settings = linewarden::ringCentralRecognitionSettings(RecognitionLevel::accurate);
    TesseractRecognizer forgetful(0);
    for (const Image* image : {&band, &repainted, &band, &repainted}) {
        EXPECT_EQ(recognizer_.recognize(*image, settings).observations, forgetful.recognize(*image, settings).observations);
    }
}

TEST_F(Recognizer, NothingReachesStandardError) {
    StandardErrorCapture capture;
    {
        TesseractRecognizer fresh;
        auto settings = linewarden::zoomRecognitionSettings();
        fresh.recognize(fixture("zoom-banner-light.png"), settings);
        fresh.recognize(Image(300, 200, std::vector<std::uint8_t>(300 * 200 * 4, 255)), settings);  // an empty page
        settings.languages = {"xx-YY"};
        fresh.recognize(fixture("zoom-banner-light.png"), settings);
        fresh.recognize(fixture("ringcentral-timer-band.png"),
                        linewarden::ringCentralRecognitionSettings(RecognitionLevel::fast));
    }
    EXPECT_FALSE(tess::readImageFile((kFixtures / "missing.png").string()));
    EXPECT_EQ(capture.finish(), "");
}

}  // namespace
