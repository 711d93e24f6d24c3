// The production monitor on a GNOME session: gnome-shell 43 headless, whose Xwayland is rootless
// and refuses plain reads of the root window and of client windows alike. X11 clients run there
// as on people's GNOME desktops (the Zoom client by default, a browser when started with
// --ozone-platform=x11), and the monitor reads their windows through Composite. One session
// serves every test of this program.

#include <gtest/gtest.h>

#include <iostream>

#include "e2e/EndToEnd.h"
#include "support/GnomeSession.h"

namespace {

using namespace e2e;

class OnGnome : public DesktopTest {
protected:
    static void SetUpTestSuite() {
        session_ = desktop_test::GnomeSession::start(why_);
        if (session_) std::cerr << "gnome-shell with Xwayland up in " << session_->startTime().count() << " ms\n";
    }
    static void TearDownTestSuite() { session_.reset(); }

    std::unique_ptr<Desktop> makeDesktop(std::string& why) override {
        if (!session_) {
            why = why_;
            return nullptr;
        }
        auto desktop = Desktop::attach(session_->display(), why);
        if (desktop) desktop->runBrowser("Brave-browser", desktop_test::browserCopy("brave"));
        return desktop;
    }

private:
    static inline std::unique_ptr<desktop_test::GnomeSession> session_;
    static inline std::string why_;
};

TEST_F(OnGnome, ZoomUnderXwaylandStartsAndEndsACall) {
    auto zoom = openPage("zoom", "zoom.html", "Zoom Workplace", {{"screen", "home"}}, 640, 420);
    ASSERT_TRUE(zoom);
    auto monitor = runLineWarden("zoom");
    // Nothing about the display or permissions before it starts watching.
    EXPECT_EQ(monitor->errLinesThrough("Monitoring Zoom..."), std::vector<std::string>{"Monitoring Zoom..."});
    expectScans(*monitor,
                {
                    {nullptr, {"Initial status: Available", "NotConnected"}},
                    {show(pages(), {{"screen", "meeting"}, {"timer", "00:42"}}),
                     {"Status changed from Available to On Call", "isDialing"}},
                    {show(pages(), {{"screen", "ended"}}), {"Status changed from On Call to Available", "NotConnected"}},
                    {[&] {
                         zoom->kill();
                         ASSERT_TRUE(desktop().waitWindowGone("Zoom Workplace"));
                     },
                     {}},
                });
    EXPECT_TRUE(monitor->running());
    EXPECT_EQ(monitor->stop().out, "");
}

TEST_F(OnGnome, KixieInBraveUnderXwaylandReportsACall) {
    auto browser = openPage("Brave-browser", "kixie.html", "Kixie PowerCall", {{"status", "Available"}}, 400, 600);
    ASSERT_TRUE(browser);
    auto monitor = runLineWarden("kixie");
    const auto started = monitor->errLinesThrough("Monitoring Kixie status...");
    ASSERT_TRUE(started) << monitor->errSoFar();
    EXPECT_NE(std::find(started->begin(), started->end(), "Found Kixie window: Kixie PowerCall"), started->end());
    expectScans(
        *monitor,
        {
            {nullptr, {"Initial status: Available", "NotConnected"}},
            {show(pages(), {{"status", "On Call"}}), {"Status changed from Available to On Call", "isDialing"}},
            {show(pages(), {{"status", "Available"}}), {"Status changed from On Call to Available", "NotConnected"}},
        });
    EXPECT_TRUE(monitor->running());
    EXPECT_EQ(monitor->stop().out, "");
}

}  // namespace

int main(int argc, char** argv) {
    desktop_test::runInGnomeSandbox(argc, argv, {.browserCopies = {"brave"}});
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
