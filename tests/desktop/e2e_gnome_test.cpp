// The production monitor on a GNOME session: gnome-shell 43 headless, whose Xwayland is rootless
// and refuses plain reads of the root window and of client windows alike. X11 clients run there
// as on people's GNOME desktops (the Zoom client by default, a browser when started with
// --ozone-platform=x11), and the monitor, run in the session as its clients are, reads their
// windows through Composite. One session serves every test of this program.

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>

#include "e2e/EndToEnd.h"
#include "support/GnomeSession.h"

namespace {

using namespace e2e;
using desktop_test::GnomeSession;
using desktop_test::WaylandBrowser;
using desktop_test::WaylandSession;

class OnGnome : public DesktopTest {
protected:
    static void SetUpTestSuite() {
        session_ = WaylandSession::start(why_);
        if (session_) gnome_ = GnomeSession::start(*session_, why_);
        if (gnome_) std::cerr << "gnome-shell with Xwayland up in " << gnome_->startTime().count() << " ms\n";
    }
    static void TearDownTestSuite() {
        gnome_.reset();
        session_.reset();
    }

    std::unique_ptr<Desktop> makeDesktop(std::string& why) override {
        if (!gnome_) {
            why = why_;
            return nullptr;
        }
        return Desktop::attach(gnome_->display(), why);
    }

    // `page` showing `state` in an X11 browser of the session, run from `program` ("chromium",
    // or a copy named after the browser it stands for) under `windowClass`; once its window,
    // titled `title`, is on screen and shows the state. Nothing, with a failure added, otherwise.
    std::unique_ptr<WaylandBrowser> openX11Page(const std::string& program, const std::string& windowClass,
                                                const std::string& page, const std::string& title,
                                                const nlohmann::json& state, int width, int height) {
        const int version = pages().setState(state);
        auto browser = WaylandBrowser::start(*session_, program, pages().url(page), width, height, false, windowClass);
        if (!browser) {
            ADD_FAILURE() << "chromium did not start";
            return nullptr;
        }
        if (!desktop().waitForWindow(title)) {
            ADD_FAILURE() << "no window titled \"" << title << "\" came up; chromium wrote:\n" << browser->log();
            return nullptr;
        }
        if (!pages().waitShown(version)) {
            ADD_FAILURE() << "the page " << page << " did not show its state";
            return nullptr;
        }
        return browser;
    }

    std::unique_ptr<ProgramRun> runLineWardenInSession(const std::string& dialer) {
        return std::make_unique<ProgramRun>(session_->commandInside({lineWardenBinary(), "--dialer=" + dialer}));
    }

private:
    static inline std::unique_ptr<WaylandSession> session_;
    static inline std::unique_ptr<GnomeSession> gnome_;
    static inline std::string why_;
};

TEST_F(OnGnome, ZoomUnderXwaylandStartsAndEndsACall) {
    auto zoom = openX11Page("chromium", "zoom", "zoom.html", "Zoom Workplace", {{"screen", "home"}}, 640, 420);
    ASSERT_TRUE(zoom);
    auto monitor = runLineWardenInSession("zoom");
    // Nothing about the display or permissions before it starts watching.
    EXPECT_EQ(monitor->errLinesThrough("Monitoring Zoom..."), std::vector<std::string>{"Monitoring Zoom..."});
    expectScans(*monitor,
                {
                    {nullptr, {"Initial status: Available", "NotConnected"}},
                    {show(pages(), {{"screen", "meeting"}, {"timer", "00:42"}}),
                     {"Status changed from Available to On Call", "isDialing"}},
                    {show(pages(), {{"screen", "ended"}}), {"Status changed from On Call to Available", "NotConnected"}},
                    {[&] {
                         zoom->stop();
                         ASSERT_TRUE(desktop().waitWindowGone("Zoom Workplace"));
                     },
                     {}},
                });
    EXPECT_TRUE(monitor->running());
    EXPECT_EQ(monitor->stop().out, "");
}

// With no window to ask yet, the check lets the monitor start, and Zoom is read once it comes.
TEST_F(OnGnome, ZoomStartedAfterTheMonitorIsRead) {
    auto monitor = runLineWardenInSession("zoom");
    EXPECT_EQ(monitor->errLinesThrough("Monitoring Zoom..."), std::vector<std::string>{"Monitoring Zoom..."});
    std::unique_ptr<WaylandBrowser> zoom;
    expectScans(*monitor, {
                              {nullptr, {"Initial status: Available", "NotConnected"}},
                              {[&] {
                                   zoom = openX11Page("chromium", "zoom", "zoom.html", "Zoom Workplace",
                                                      {{"screen", "meeting"}, {"timer", "01:05"}}, 640, 420);
                                   ASSERT_TRUE(zoom);
                               },
                               {"Status changed from Available to On Call", "isDialing"}},
                          });
    EXPECT_TRUE(monitor->running());
    EXPECT_EQ(monitor->stop().out, "");
}

TEST_F(OnGnome, KixieInBraveUnderXwaylandReportsACall) {
    auto brave = openX11Page("brave", "Brave-browser", "kixie.html", "Kixie PowerCall", {{"status", "Available"}}, 400,
                             600);
    ASSERT_TRUE(brave);
    auto monitor = runLineWardenInSession("kixie");
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
