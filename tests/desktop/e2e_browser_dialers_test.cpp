// The production monitor against real chromium windows on a private X server: each browser
// dialer's page goes through a call while `linewarden` watches it, and its standard output is
// checked scan by scan; the browser search order and the search that finds nothing end to end.

#include <gtest/gtest.h>

#include "e2e/EndToEnd.h"

namespace {

using namespace e2e;
using Lines = std::vector<std::string>;

class BrowserDialers : public DesktopTest {};

// Once on a bare X server and once under openbox, which frames and reparents the windows.
class KixieOnDesktops : public DesktopTest, public testing::WithParamInterface<bool> {
protected:
    bool withWindowManager() const override { return GetParam(); }
};

INSTANTIATE_TEST_SUITE_P(Desktops, KixieOnDesktops, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Openbox" : "BareX"; });

TEST_P(KixieOnDesktops, KixieInBraveReportsACallFromStartToEnd) {
    ShownWindow window;
    auto browser =
        openPage("Brave-browser", "kixie.html", "Kixie PowerCall", {{"status", "Available"}}, 400, 600, &window);
    ASSERT_TRUE(browser);
    auto monitor = runLineWarden("kixie");
    EXPECT_EQ(monitor->errLinesThrough("Monitoring Kixie status..."),
              kixieFoundInBrave(std::to_string(window.number)));
    expectScans(
        *monitor,
        {
            {nullptr, {"Initial status: Available", "NotConnected"}},
            {show(pages(), {{"status", "On Call"}}), {"Status changed from Available to On Call", "isDialing"}},
            {nullptr, {}},
            {show(pages(), {{"status", "Available"}}), {"Status changed from On Call to Available", "NotConnected"}},
            {show(pages(), {{"status", "Do Not Disturb"}}), {}},
        });
    EXPECT_TRUE(monitor->running());
    EXPECT_EQ(monitor->stop().out, "");
}

// Two timer sightings in a row start the call, three scans in a row without one end it; a
// single sighting between misses changes nothing.
TEST_F(BrowserDialers, RingCentralInChromeDebouncesTheCallTimer) {
    ShownWindow window;
    const nlohmann::json idle{{"call", "no"}};
    const nlohmann::json inCall{{"call", "yes"}, {"timer", "0:07"}};
    auto browser = openPage("Google-chrome", "ringcentral.html", "RingCentral for Google", idle, 420, 600, &window);
    ASSERT_TRUE(browser);
    auto monitor = runLineWarden("ringcentral");
    EXPECT_EQ(monitor->errLinesThrough("Monitoring RingCentral status..."),
              ringCentralFoundInChrome(std::to_string(window.number)));
    expectScans(*monitor, {
                              {nullptr, {"Initial status: Available", "NotConnected"}},
                              {show(pages(), inCall), {}},
                              {nullptr, {"Status changed to Dialing (Timer detected via OCR)", "isDialing"}},
                              {show(pages(), idle), {}},
                              {nullptr, {}},
                              {show(pages(), inCall), {}},
                              {show(pages(), idle), {}},
                              {nullptr, {}},
                              {nullptr, {"Status changed to Available (Timer absent)", "NotConnected"}},
                          });
    EXPECT_TRUE(monitor->running());
    EXPECT_EQ(monitor->stop().out, "");
}

TEST_F(BrowserDialers, TrellusInBraveFollowsTheStateAtTheTopRight) {
    ShownWindow window;
    auto browser = openPage("Brave-browser", "trellus.html", "Trellus", {{"state", "Idle"}}, 480, 600, &window);
    ASSERT_TRUE(browser);
    auto monitor = runLineWarden("trellus");
    EXPECT_EQ(monitor->errLinesThrough("Monitoring Trellus status..."),
              (Lines{"Checking Brave browser...", "Found Trellus window: Trellus",
                     "Got window ID: " + std::to_string(window.number), "Monitoring Trellus status..."}));
    expectScans(*monitor,
                {
                    {nullptr, {"Initial status: Idle", "NotConnected"}},
                    {show(pages(), {{"state", "Active"}}), {"Status changed from Idle to Active", "isDialing"}},
                    {nullptr, {}},
                    {show(pages(), {{"state", "Idle"}}), {"Status changed from Active to Idle", "NotConnected"}},
                });
    EXPECT_TRUE(monitor->running());
    EXPECT_EQ(monitor->stop().out, "");
}

// Brave is not running and Chrome shows only an inbox: the dialer is found in Edge, after the
// messages of the two failed searches, in the browsers' fixed order.
TEST_F(BrowserDialers, TheSearchGoesThroughBraveAndChromeToEdge) {
    auto chrome = openPage("Google-chrome", "inbox.html", "Inbox", nlohmann::json::object(), 500, 400);
    ASSERT_TRUE(chrome);
    ShownWindow window;
    auto edge = openPage("Microsoft-edge", "kixie.html", "Kixie PowerCall", {{"status", "On Call"}}, 400, 600, &window);
    ASSERT_TRUE(edge);
    EXPECT_EQ(window.owner, "Microsoft Edge");
    auto monitor = runLineWarden("kixie");
    EXPECT_EQ(monitor->errLinesThrough("Monitoring Kixie status..."),
              kixieFoundInEdgeAfterBraveAndChrome(std::to_string(window.number)));
    // A call already in progress at the first scan: no initial status line.
    expectScans(*monitor, {
                              {nullptr, {"Status changed from Available to On Call", "isDialing"}},
                              {show(pages(), {{"status", "Available"}}),
                               {"Status changed from On Call to Available", "NotConnected"}},
                          });
    EXPECT_EQ(monitor->stop().out, "");
}

// The monitor reads the dialer's own pixels: another window of the browser lying over the
// dialer from before the monitor starts must not hide its state.
TEST_F(BrowserDialers, ACoveredDialerWindowIsReadAllTheSame) {
    auto browser = openPage("Brave-browser", "kixie.html", "Kixie PowerCall", {{"status", "On Call"}}, 400, 600);
    ASSERT_TRUE(browser);
    ASSERT_TRUE(browser->openWindow(pages().url("inbox.html")));  // over the dialer
    ASSERT_TRUE(desktop().waitForWindow("Inbox"));
    auto monitor = runLineWarden("kixie");
    expectScans(*monitor, {
                              {nullptr, {"Status changed from Available to On Call", "isDialing"}},
                              {show(pages(), {{"status", "Available"}}),
                               {"Status changed from On Call to Available", "NotConnected"}},
                          });
    EXPECT_EQ(monitor->stop().out, "");
}

TEST_F(BrowserDialers, NoDialerWindowInAnyBrowserEndsTheMonitor) {
    auto chrome = openPage("Google-chrome", "inbox.html", "Inbox", nlohmann::json::object(), 500, 400);
    ASSERT_TRUE(chrome);
    auto monitor = runLineWarden("trellus");
    const auto result = monitor->wait(20s);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              "Checking Brave browser...\n"
              "Browser not running (Bundle ID: com.brave.Browser)\n"
              "Checking Chrome browser...\n"
              "No window with Trellus-related title found in com.google.Chrome\n"
              "Looked for titles containing: Trellus\n"
              "Checking Edge browser...\n"
              "Browser not running (Bundle ID: com.microsoft.edgemac)\n"
              "Error: Could not find Trellus window in any browser\n");
}

}  // namespace
