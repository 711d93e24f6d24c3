// linewarden-inspect against real chromium windows: for each dialer, a page showing a call and
// then none; the verdict lines, the pictures and how they fit together; and the exit status 1
// when no browser runs at all.

#include <gtest/gtest.h>

#include <filesystem>

#include "e2e/EndToEnd.h"
#include "platform/linux/ocr/ImageFile.h"
#include "support/TestSupport.h"

namespace {

using namespace e2e;
using Lines = std::vector<std::string>;

struct DialerPage {
    const char* dialer;
    const char* windowClass;
    const char* page;
    const char* title;
    nlohmann::json inCall;
    nlohmann::json idle;
    int width;
    int height;
    const char* shownAs;                    // how the first line names the browser or application
    platform::PixelRect (*region)(int w, int h);   // the region in a capture of w x h pixels
};

void PrintTo(const DialerPage& page, std::ostream* os) { *os << page.dialer; }

const DialerPage kPages[] = {
    {"kixie", "Brave-browser", "kixie.html", "Kixie PowerCall", {{"status", "On Call"}}, {{"status", "Available"}},
     400, 600, "Brave", [](int, int) { return platform::PixelRect{0, 0, 300, 200}; }},
    {"ringcentral", "Google-chrome", "ringcentral.html", "RingCentral for Google",
     {{"call", "yes"}, {"timer", "0:07"}}, {{"call", "no"}}, 420, 600, "Chrome",
     [](int w, int) { return platform::PixelRect{0, 0, w, 150}; }},
    {"trellus", "Microsoft-edge", "trellus.html", "Trellus", {{"state", "Active"}}, {{"state", "Idle"}}, 480, 600,
     "Edge", [](int w, int) { return platform::PixelRect{w - 400, 0, 400, 200}; }},
    {"zoom", "zoom", "zoom.html", "Zoom Workplace", {{"screen", "meeting"}, {"timer", "00:42"}}, {{"screen", "home"}},
     640, 420, "Zoom", [](int w, int h) { return platform::PixelRect{0, 0, w, h}; }},
};

// Standard output and status of one run of linewarden-inspect on the test's display.
test_support::ProcessResult inspect(const std::string& display, const std::string& dialer, const std::string& out) {
    ProgramRun run(LINEWARDEN_INSPECT_BINARY, {"--dialer=" + dialer, "--out=" + out}, display);
    return run.wait(60s);
}

Lines linesOf(const std::string& text) {
    Lines lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

// A page shows a new state a moment before chromium has painted it: runs until the verdict is
// the expected one, a few times at most, and gives the last run.
test_support::ProcessResult inspectUntil(const std::string& display, const std::string& dialer, const std::string& out,
                                         const std::string& verdict) {
    test_support::ProcessResult result;
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(500ms);
        result = inspect(display, dialer, out);
        const Lines lines = linesOf(result.out);
        if (result.exitStatus != 0 || (!lines.empty() && lines.back() == verdict)) break;
    }
    return result;
}

const std::uint8_t* pixelAt(const platform::Image& image, int x, int y) {
    return &image.rgba()[(static_cast<std::size_t>(y) * image.width() + x) * 4];
}

class InspectDialers : public DesktopTest, public testing::WithParamInterface<DialerPage> {};

INSTANTIATE_TEST_SUITE_P(Pages, InspectDialers, testing::ValuesIn(kPages),
                         [](const testing::TestParamInfo<DialerPage>& info) { return info.param.dialer; });

TEST_P(InspectDialers, ShowsACallAndThenNoneWithPicturesOfWhatItRead) {
    const DialerPage& page = GetParam();
    ShownWindow window;
    auto browser = openPage(page.windowClass, page.page, page.title, page.inCall, page.width, page.height, &window);
    ASSERT_TRUE(browser);
    test_support::TempDirectory dir;
    const std::string out = dir.path() + "/pictures";

    const auto call = inspectUntil(desktop().display(), page.dialer, out, "verdict: call");
    ASSERT_EQ(call.exitStatus, 0) << call.err;
    EXPECT_EQ(call.err, "");
    const Lines lines = linesOf(call.out);
    ASSERT_GE(lines.size(), 3u) << call.out;
    const std::string first = std::string("window: ") + page.shownAs + ", \"" + page.title + "\", number " +
                              std::to_string(window.number) + ", ";
    EXPECT_TRUE(lines.front().starts_with(first)) << lines.front();
    for (std::size_t i = 1; i + 2 < lines.size(); ++i) EXPECT_TRUE(lines[i].starts_with("text: \"")) << lines[i];
    EXPECT_TRUE(lines[lines.size() - 2].starts_with("rule: ")) << call.out;
    EXPECT_NE(lines[lines.size() - 2], "rule: no rule matched") << call.out;
    EXPECT_EQ(lines.back(), "verdict: call") << call.out;

    // The region is the marked part of the window picture, pixel for pixel inside its frame, and
    // the recogniser read a grey picture at least as large as the region.
    const auto shot = platform::tess::readImageFile(out + "/window.png");
    const auto region = platform::tess::readImageFile(out + "/region.png");
    const auto input = platform::tess::readImageFile(out + "/recognizer-input.png");
    ASSERT_TRUE(shot && region && input);
    EXPECT_TRUE(lines.front().ends_with(std::to_string(shot->width()) + "x" + std::to_string(shot->height()) + " pixels"));
    const platform::PixelRect rect = page.region(shot->width(), shot->height());
    ASSERT_EQ(region->width(), rect.width);
    ASSERT_EQ(region->height(), rect.height);
    EXPECT_EQ(pixelAt(*shot, rect.x, rect.y)[0], 230);
    int differing = 0;
    for (int y = 4; y < rect.height - 4; ++y) {
        for (int x = 4; x < rect.width - 4; ++x) {
            differing += !std::equal(pixelAt(*region, x, y), pixelAt(*region, x, y) + 3, pixelAt(*shot, rect.x + x, rect.y + y));
        }
    }
    EXPECT_EQ(differing, 0);
    EXPECT_GE(input->width(), rect.width / 2);
    const std::uint8_t* grey = pixelAt(*input, input->width() / 2, input->height() / 2);
    EXPECT_TRUE(grey[0] == grey[1] && grey[1] == grey[2]);

    ASSERT_TRUE(pages().waitShown(pages().setState(page.idle)));
    const auto idle = inspectUntil(desktop().display(), page.dialer, out, "verdict: no call");
    EXPECT_EQ(idle.exitStatus, 0) << idle.err;
    ASSERT_FALSE(linesOf(idle.out).empty());
    EXPECT_EQ(linesOf(idle.out).back(), "verdict: no call") << idle.out;
}

class Inspect : public DesktopTest {};

TEST_F(Inspect, WithoutAnyBrowserItExitsWithOneLineAndNoPictures) {
    test_support::TempDirectory dir;
    const auto result = inspect(desktop().display(), "kixie", dir.path() + "/pictures");
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "linewarden-inspect: no Kixie PowerCall window in Brave, Chrome or Edge\n");
    EXPECT_TRUE(dir.entries().empty());
}

}  // namespace
