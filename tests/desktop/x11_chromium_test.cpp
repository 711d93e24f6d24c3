// A real browser on a private Xvfb: Debian's chromium, dressed as Brave by its window class, is
// found as Brave Browser with its page title, captured with the page's pixels, and noticed when
// it quits.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "linewarden/app/Applications.h"
#include "platform/LinuxDesktop.h"
#include "support/DesktopSession.h"

namespace {

using namespace desktop_test;
using namespace platform;
using namespace std::chrono_literals;

const std::string kTitle = "Kixie PowerCall – smoke ✅";

class X11Chromium : public testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (!programAvailable("chromium")) GTEST_SKIP() << "chromium is not installed";
        server_ = XvfbServer::start();
        if (!server_) GTEST_SKIP() << "Xvfb cannot be started here";
        if (GetParam()) {
            windowManager_ = startOpenbox(server_->display());
            if (!windowManager_) GTEST_SKIP() << "openbox cannot be started here";
        }
        pageDirectory_ = std::filesystem::temp_directory_path() /
                         ("x11-chromium-test-" + std::to_string(getpid()) + (GetParam() ? "-wm" : ""));
        std::filesystem::create_directories(pageDirectory_);
        std::ofstream(pageDirectory_ / "page.html")
            << "<!doctype html><html><head><meta charset=\"utf-8\"><title>" << kTitle << "</title></head>"
            << "<body style=\"margin:0;background:rgb(30,100,200)\">"
            << "<h1 style=\"color:white;font:bold 40px sans-serif;margin:40px\">On Call 00:12</h1></body></html>";
        desktop_ = LinuxDesktop::open(console_, linewarden::knownApplications(), server_->display());
    }

    void TearDown() override {
        browser_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(pageDirectory_, ignored);
    }

    Platform& platform() { return desktop_->platform(); }

    // The window of the running Brave whose title is the page's, once it shows.
    std::optional<std::pair<ProcessId, AXElementRef>> braveWindow() {
        for (const RunningApplication& brave : platform().workspace.runningApplications("com.brave.Browser")) {
            auto& ax = platform().accessibility;
            const AXAnswer windows = ax.copyAttribute(ax.createApplication(brave.processId), kAXWindowsAttribute);
            if (!windows.ok()) continue;
            for (const AXElementRef& window : *windows.elements()) {
                const AXAnswer title = ax.copyAttribute(window, kAXTitleAttribute);
                if (title.string() && *title.string() == kTitle) return std::pair{brave.processId, window};
            }
        }
        return std::nullopt;
    }

    RecordingConsole console_;
    std::unique_ptr<XvfbServer> server_;
    std::unique_ptr<ChildProcess> windowManager_;
    std::filesystem::path pageDirectory_;
    std::unique_ptr<Chromium> browser_;
    std::unique_ptr<LinuxDesktop> desktop_;
};

INSTANTIATE_TEST_SUITE_P(Desktops, X11Chromium, testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Openbox" : "Bare"; });

TEST_P(X11Chromium, FindsCapturesAndLosesADisguisedBrowser) {
    browser_ = Chromium::start(server_->display(), "Brave-browser", "file://" + (pageDirectory_ / "page.html").string());
    ASSERT_TRUE(browser_);
    std::optional<std::pair<ProcessId, AXElementRef>> found;
    ASSERT_TRUE(waitUntil([&] { return (found = braveWindow()).has_value(); }, 60s)) << "no Brave window appeared";
    EXPECT_EQ(found->first, browser_->pid());

    // The same window in the window list, under the browser's name.
    std::optional<WindowListEntry> listed;
    for (const WindowListEntry& entry : platform().windowList.onScreenWindows().value_or(std::vector<WindowListEntry>{})) {
        if (entry.windowName == kTitle) listed = entry;
    }
    ASSERT_TRUE(listed);
    EXPECT_EQ(listed->ownerName, "Brave Browser");
    ASSERT_TRUE(listed->windowNumber);

    std::optional<ShareableWindow> window;
    const auto shareable = platform().screenCapture.shareableWindows(false, true);
    ASSERT_TRUE(shareable);
    for (const ShareableWindow& candidate : *shareable) {
        if (candidate.windowID == *listed->windowNumber) window = candidate;
    }
    ASSERT_TRUE(window && window->owningApplication);
    EXPECT_EQ(window->owningApplication->bundleId, "com.brave.Browser");
    EXPECT_EQ(window->frame.width, 1000);
    EXPECT_EQ(window->frame.height, 700);

    // The page paints its background blue with white text: wait until it has, then check.
    const int width = static_cast<int>(window->frame.width * 2);
    const int height = static_cast<int>(window->frame.height * 2);
    double blue = 0;
    double white = 0;
    const bool painted = waitUntil(
        [&] {
            const auto image = platform().screenCapture.captureWindow(*window, width, height);
            if (!image || image->width() != width || image->height() != height) return false;
            int blueCount = 0;
            int whiteCount = 0;
            const auto& rgba = image->rgba();
            for (std::size_t i = 0; i < rgba.size(); i += 4) {
                if (std::abs(rgba[i] - 30) < 8 && std::abs(rgba[i + 1] - 100) < 8 && std::abs(rgba[i + 2] - 200) < 8) {
                    ++blueCount;
                }
                if (rgba[i] > 240 && rgba[i + 1] > 240 && rgba[i + 2] > 240) ++whiteCount;
            }
            blue = static_cast<double>(blueCount) / (width * height);
            white = static_cast<double>(whiteCount) / (width * height);
            return blue > 0.8 && white > 0.002;
        },
        30s);
    EXPECT_TRUE(painted) << "blue " << blue << ", white " << white;

    // The browser quits: its application and its window answer with failures.
    const AXElementRef application = platform().accessibility.createApplication(found->first);
    browser_->stop();
    EXPECT_TRUE(waitUntil([&] {
        return !platform().accessibility.copyAttribute(application, kAXWindowsAttribute).ok();
    }));
    EXPECT_FALSE(platform().accessibility.copyAttribute(found->second, kAXTitleAttribute).ok());
    EXPECT_TRUE(platform().workspace.runningApplications("com.brave.Browser").empty());
    EXPECT_EQ(console_.standardError(), "");
}

}  // namespace
