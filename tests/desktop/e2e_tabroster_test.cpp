// The production window lister against real browser windows: chromium disguised as Brave (two
// windows) and Chrome, and as Zoom, which is no browser to list.

#include <gtest/gtest.h>

#include "e2e/EndToEnd.h"

namespace {

using namespace e2e;

class TabRosterOnDesktops : public DesktopTest, public testing::WithParamInterface<bool> {
protected:
    bool withWindowManager() const override { return GetParam(); }

    test_support::ProcessResult runTabRoster() {
        ProgramRun roster(tabRosterBinary(), {}, desktop().display());
        return roster.wait(20s);
    }
};

INSTANTIATE_TEST_SUITE_P(Desktops, TabRosterOnDesktops, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Openbox" : "BareX"; });

TEST_P(TabRosterOnDesktops, ListsEveryBrowserWindowByApplicationFrontWindowFirst) {
    auto brave = openPage("Brave-browser", "kixie.html", "Kixie PowerCall", {{"status", "Available"}}, 400, 600);
    ASSERT_TRUE(brave);
    auto chrome = openPage("Google-chrome", "trellus.html", "Trellus", {{"state", "Idle"}}, 480, 600);
    ASSERT_TRUE(chrome);
    auto zoom = openPage("zoom", "zoom.html", "Zoom Workplace", {{"screen", "home"}}, 640, 420);
    ASSERT_TRUE(zoom);
    ASSERT_TRUE(brave->openWindow(pages().url("inbox.html")));
    ASSERT_TRUE(desktop().waitForWindow("Inbox"));

    const auto result = runTabRoster();
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out,
              "Brave Browser: Inbox\n"
              "Brave Browser: Kixie PowerCall\n"
              "Google Chrome: Trellus\n");
    EXPECT_EQ(result.err, "");
}

TEST_P(TabRosterOnDesktops, ListsNothingWithoutBrowsers) {
    auto zoom = openPage("zoom", "zoom.html", "Zoom Workplace", {{"screen", "home"}}, 640, 420);
    ASSERT_TRUE(zoom);
    const auto result = runTabRoster();
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
}

}  // namespace
