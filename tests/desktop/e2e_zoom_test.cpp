// The production monitor watching a Zoom-like window: chromium under Zoom's window class shows
// Zoom's screens while `linewarden --dialer=zoom` reads the whole window every 2 seconds.

#include <gtest/gtest.h>

#include "e2e/EndToEnd.h"

namespace {

using namespace e2e;

class ZoomWindow : public DesktopTest {};

TEST_F(ZoomWindow, ATimerOrCallingStartsACallAndItsEndOrZoomQuittingEndsIt) {
    auto zoom = openPage("zoom", "zoom.html", "Zoom Workplace", {{"screen", "home"}}, 640, 420);
    ASSERT_TRUE(zoom);
    auto monitor = runLineWarden("zoom");
    EXPECT_EQ(monitor->errLinesThrough("Monitoring Zoom..."), std::vector<std::string>{"Monitoring Zoom..."});
    const nlohmann::json meeting{{"screen", "meeting"}, {"timer", "00:42"}};
    expectScans(
        *monitor,
        {
            {nullptr, {"Initial status: Available", "NotConnected"}},
            {show(pages(), meeting), {"Status changed from Available to On Call", "isDialing"}},
            {nullptr, {}},
            {show(pages(), {{"screen", "ended"}}), {"Status changed from On Call to Available", "NotConnected"}},
            {show(pages(), {{"screen", "calling"}}), {"Status changed from Available to On Call", "isDialing"}},
            {[&] {
                 zoom->kill();
                 ASSERT_TRUE(desktop().waitWindowGone("Zoom Workplace"));
             },
             {"Status changed from On Call to Available", "NotConnected"}},
            {nullptr, {}},
        });
    EXPECT_TRUE(monitor->running());
    EXPECT_EQ(monitor->stop().out, "");
}

}  // namespace
