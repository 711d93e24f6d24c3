// Calls that end because the dialer went away rather than because it said so: its tab navigated
// elsewhere, its window closed while the browser stays, the browser killed. The monitor keeps
// the window it found, so each of these must end the call through failed readings of it.

#include <gtest/gtest.h>

#include <algorithm>

#include "e2e/EndToEnd.h"

namespace {

using namespace e2e;

class CallInterruptions : public DesktopTest {};

bool contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

const std::string kHealthCheckFailed = "DEBUG: Accessibility health check failed, may need to refresh references";

TEST_F(CallInterruptions, KixieTabNavigatedAwayEndsTheCall) {
    ShownWindow window;
    auto browser =
        openPage("Brave-browser", "kixie.html", "Kixie PowerCall", {{"status", "On Call"}}, 400, 600, &window);
    ASSERT_TRUE(browser);
    auto monitor = runLineWarden("kixie");
    expectScans(*monitor, {
                              {nullptr, {"Status changed from Available to On Call", "isDialing"}},
                              {[&] {
                                   pages().setState({{"goto", "inbox.html"}});
                                   ASSERT_TRUE(desktop().waitForWindow("Inbox"));
                               },
                               {"Status changed from On Call to Available", "NotConnected"}},
                          });
    // The same window, now showing the inbox, is still the one read.
    EXPECT_TRUE(contains(monitor->lastScanErr(), "[detectCallViaScreenshot] 📸 Attempting to capture window " +
                                                     std::to_string(window.number) + "..."))
        << monitor->errSoFar();
    expectScans(*monitor, {{nullptr, {}}});
    EXPECT_TRUE(monitor->running());
    EXPECT_EQ(monitor->stop().out, "");
}

// The browser keeps another window open, so it still answers: only the dialer's readings fail,
// three times in a row before RingCentral gives the call up, and the health check stays quiet.
TEST_F(CallInterruptions, RingCentralWindowClosedEndsTheCallAtTheThirdMissedScan) {
    // The inbox first: a window that a second launch opens takes the bounds of the last one, and
    // the dialer's window is not to start out covered.
    auto browser = openPage("Google-chrome", "inbox.html", "Inbox", nlohmann::json::object(), 420, 600);
    ASSERT_TRUE(browser);
    const int version = pages().setState({{"call", "yes"}, {"timer", "1:02:33"}});
    ASSERT_TRUE(browser->openWindow(pages().url("ringcentral.html")));
    ASSERT_TRUE(desktop().waitForWindow("RingCentral for Google"));
    ASSERT_TRUE(pages().waitShown(version));
    auto monitor = runLineWarden("ringcentral");
    const auto closeDialer = [&] {
        pages().setState({{"close", true}, {"window", "RingCentral for Google"}});
        ASSERT_TRUE(desktop().waitWindowGone("RingCentral for Google"));
        ASSERT_TRUE(desktop().waitForWindow("Inbox", 1s));
    };
    expectScans(*monitor, {
                              {nullptr, {}},
                              {nullptr, {"Status changed to Dialing (Timer detected via OCR)", "isDialing"}},
                              {closeDialer, {}},
                              {nullptr, {}},
                              {nullptr, {"Status changed to Available (Timer absent)", "NotConnected"}},
                              {nullptr, {}},
                          });
    EXPECT_EQ(monitor->errSoFar().find(kHealthCheckFailed), std::string::npos) << monitor->errSoFar();
    EXPECT_TRUE(monitor->running());
    EXPECT_EQ(monitor->stop().out, "");
}

// The browser is gone: the next scan cannot capture the window and ends the call, and the
// health check after every third scan now fails on the browser's stale reference.
TEST_F(CallInterruptions, TrellusBrowserKilledEndsTheCallAndFailsTheHealthCheck) {
    auto browser = openPage("Brave-browser", "trellus.html", "Trellus", {{"state", "Active"}}, 480, 600);
    ASSERT_TRUE(browser);
    auto monitor = runLineWarden("trellus");
    expectScans(*monitor, {
                              {nullptr, {"Status changed from Idle to Active", "isDialing"}},
                              {[&] {
                                   browser->kill();
                                   ASSERT_TRUE(desktop().waitWindowGone("Trellus"));
                               },
                               {"Status changed from Active to Idle", "NotConnected"}},
                          });
    EXPECT_TRUE(contains(monitor->lastScanErr(), "[detectCallViaScreenshot] ❌ Failed to capture screenshot"))
        << monitor->errSoFar();
    // The probe follows the third scan.
    expectScans(*monitor, {{nullptr, {}}});
    EXPECT_EQ(monitor->nextErrLine(), kHealthCheckFailed) << monitor->errSoFar();
    EXPECT_TRUE(monitor->running());
    EXPECT_EQ(monitor->stop().out, "");
}

}  // namespace
