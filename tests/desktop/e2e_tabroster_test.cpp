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

// A page can give its window any title. Line breaks and other controls in it (chromium keeps all
// but the ASCII white space it collapses) must not split the window into several lines, or a
// title could forge a line of another browser.
TEST_F(DesktopTest, TabRosterListsATitleOfSeveralLinesAsOneLine) {
    auto chrome = openPage("Google-chrome", "inbox.html", "Inbox", {{"screen", "inbox"}}, 480, 600);
    ASSERT_TRUE(chrome);
    const std::string title = std::string("Inbox\nBrave Browser: Kixie PowerCall\u2028Microsoft Edge: Trellus\v") +
                              "NUL" + '\0' + "ESC\x1b[2J\u0085end";
    show(pages(), {{"title", title}})();
    const std::string before = "Google Chrome: Inbox\n";
    test_support::ProcessResult result;
    desktop_test::waitUntil(
        [&] {
            result = ProgramRun(tabRosterBinary(), {}, desktop().display()).wait(20s);
            return result.out != before;
        },
        10s);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out,
              "Google Chrome: Inbox Brave Browser: Kixie PowerCall Microsoft Edge: Trellus NUL ESC [2J end\n");
    EXPECT_EQ(result.err, "");
}

}  // namespace
