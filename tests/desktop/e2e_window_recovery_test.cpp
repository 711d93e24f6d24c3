// What an ordinary working day does to the dialer's window, on real chromium windows: the
// browser restarted, the dialer's tab closed and opened again or moved to another window, the X
// server gone and back, the window minimised. The monitor ends a call whose window went away,
// finds the dialer again wherever it comes back, and holds the status while it is minimised.

#include <gtest/gtest.h>

#include <algorithm>

#include "e2e/EndToEnd.h"

namespace {

using namespace e2e;

using Lines = std::vector<std::string>;

const Lines kKixieStarted{"Status changed from Available to On Call", "isDialing"};
const Lines kKixieEnded{"Status changed from On Call to Available", "NotConnected"};

long countStarting(const std::string& text, const std::string& prefix) {
    long count = 0;
    for (auto at = text.find(prefix); at != std::string::npos; at = text.find(prefix, at + 1)) ++count;
    return count;
}

Lines operator+(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class WindowRecovery : public DesktopTest {
protected:
    // The rest of the run's standard output, with what came before; the monitor must be
    // running and say nothing more in one further scan.
    void expectTranscript(ProgramRun& monitor, const Lines& out, const Lines& expected) {
        EXPECT_EQ(out, expected) << monitor.errSoFar();
        EXPECT_EQ(monitor.nextScan(), Lines{}) << monitor.errSoFar();
        EXPECT_TRUE(monitor.running());
        EXPECT_EQ(monitor.stop().out, "");
    }
};

TEST_F(WindowRecovery, BrowserRestartedIsFoundAgainUnderItsNewWindow) {
    ShownWindow first;
    auto browser = openPage("Brave-browser", "kixie.html", "Kixie PowerCall", {{"status", "On Call"}}, 400, 600, &first);
    ASSERT_TRUE(browser);
    auto monitor = runLineWarden("kixie");
    Lines out = awaitOutput(*monitor, 2);
    browser->kill();
    ASSERT_TRUE(desktop().waitWindowGone("Kixie PowerCall"));
    out = out + awaitOutput(*monitor, 2);

    ShownWindow second;
    browser = openPage("Brave-browser", "kixie.html", "Kixie PowerCall", {{"status", "On Call"}}, 400, 600, &second);
    ASSERT_TRUE(browser);
    EXPECT_NE(second.number, first.number);
    out = out + awaitOutput(*monitor, 2);
    EXPECT_NE(monitor->errSoFar().find("[Scan] Found the dialer's window again: \"Kixie PowerCall\", window " +
                                       std::to_string(second.number)),
              std::string::npos)
        << monitor->errSoFar();
    expectTranscript(*monitor, out, kKixieStarted + kKixieEnded + kKixieStarted);
}

// RingCentral gives the call up at the third scan without its window; the reopened window shows
// the timer again and starts a new call at its second sighting.
TEST_F(WindowRecovery, RingCentralTabClosedAndReopened) {
    auto browser = openPage("Google-chrome", "inbox.html", "Inbox", nlohmann::json::object(), 420, 600);
    ASSERT_TRUE(browser);
    const int version = pages().setState({{"call", "yes"}, {"timer", "0:12"}});
    ASSERT_TRUE(browser->openWindow(pages().url("ringcentral.html")));
    ASSERT_TRUE(desktop().waitForWindow("RingCentral for Google"));
    ASSERT_TRUE(pages().waitShown(version));
    auto monitor = runLineWarden("ringcentral");
    Lines out = awaitOutput(*monitor, 2);

    pages().setState({{"close", true}, {"window", "RingCentral for Google"}, {"call", "yes"}, {"timer", "0:40"}});
    ASSERT_TRUE(desktop().waitWindowGone("RingCentral for Google"));
    out = out + awaitOutput(*monitor, 2);

    pages().setState({{"call", "yes"}, {"timer", "1:05"}});
    ASSERT_TRUE(browser->openWindow(pages().url("ringcentral.html")));
    ASSERT_TRUE(desktop().waitForWindow("RingCentral for Google"));
    out = out + awaitOutput(*monitor, 2);
    expectTranscript(*monitor, out,
                     {"Status changed to Dialing (Timer detected via OCR)", "isDialing",
                      "Status changed to Available (Timer absent)", "NotConnected",
                      "Status changed to Dialing (Timer detected via OCR)", "isDialing"});
}

// The tab leaves its window, which closes, and shows up in the browser's other window.
TEST_F(WindowRecovery, KixieTabMovedToAnotherWindowOfTheSameBrowser) {
    auto browser = openPage("Microsoft-edge", "inbox.html", "Inbox", nlohmann::json::object(), 400, 600);
    ASSERT_TRUE(browser);
    const int version = pages().setState({{"status", "On Call"}});
    ASSERT_TRUE(browser->openWindow(pages().url("kixie.html")));
    const auto original = desktop().waitForWindow("Kixie PowerCall");
    ASSERT_TRUE(original);
    ASSERT_TRUE(pages().waitShown(version));
    auto monitor = runLineWarden("kixie");
    Lines out = awaitOutput(*monitor, 2);

    pages().setState({{"close", true}, {"window", "Kixie PowerCall"}});
    ASSERT_TRUE(desktop().waitWindowGone("Kixie PowerCall"));
    pages().setState({{"goto", "kixie.html"}, {"window", "Inbox"}, {"status", "On Call"}});
    const auto moved = desktop().waitForWindow("Kixie PowerCall");
    ASSERT_TRUE(moved);
    EXPECT_NE(moved->number, original->number);
    out = out + awaitOutput(*monitor, 4);
    expectTranscript(*monitor, out, kKixieStarted + kKixieEnded + kKixieStarted);
    EXPECT_EQ(countStarting(monitor->errSoFar(), "[Scan] Window " + std::to_string(original->number) + " is gone"), 1);
}

// The server dies with the browser on it; the monitor says so once, stays alive, connects to
// the new server once it is there and finds the dialer in the restarted browser.
TEST_F(WindowRecovery, XServerKilledAndRestartedWithTheBrowser) {
    auto browser = openPage("Brave-browser", "kixie.html", "Kixie PowerCall", {{"status", "On Call"}}, 400, 600);
    ASSERT_TRUE(browser);
    auto monitor = runLineWarden("kixie");
    Lines out = awaitOutput(*monitor, 2);

    ASSERT_TRUE(desktop().restartServer());
    browser.reset();   // it went with its server
    out = out + awaitOutput(*monitor, 2);
    const std::string lost = "linewarden: lost the connection to the X display \"" + desktop().display() + "\"";

    browser = openPage("Brave-browser", "kixie.html", "Kixie PowerCall", {{"status", "On Call"}}, 400, 600);
    ASSERT_TRUE(browser);
    out = out + awaitOutput(*monitor, 2);
    const std::string err = monitor->errSoFar();
    EXPECT_EQ(countStarting(err, lost), 1) << err;
    EXPECT_EQ(countStarting(err, "linewarden: connected to the X display \"" + desktop().display() + "\" again"), 1)
        << err;
    expectTranscript(*monitor, out, kKixieStarted + kKixieEnded + kKixieStarted);
}

class MinimisedWindow : public WindowRecovery {
protected:
    bool withWindowManager() const override { return true; }
};

TEST_F(MinimisedWindow, TrellusCallHoldsWhileMinimisedAndEndsWhenShownIdle) {
    ShownWindow window;
    auto browser = openPage("Brave-browser", "trellus.html", "Trellus", {{"state", "Active"}}, 480, 600, &window);
    ASSERT_TRUE(browser);
    auto monitor = runLineWarden("trellus");
    Lines out = awaitOutput(*monitor, 2);

    desktop_test::TestClient taskbar(desktop().display());
    taskbar.iconify(window.number);
    ASSERT_TRUE(desktop().waitWindowGone("Trellus"));
    const std::string held = "[Scan] Window " + std::to_string(window.number) +
                             " is minimised: the status stays as it is until the window is shown again";
    ASSERT_TRUE(monitor->errLinesThrough(held, 20s)) << monitor->errSoFar();
    ASSERT_EQ(monitor->nextScan(), Lines{});
    ASSERT_EQ(monitor->nextScan(), Lines{});

    taskbar.activate(window.number);
    ASSERT_TRUE(desktop().waitForWindow("Trellus"));
    pages().setState({{"state", "Idle"}});
    out = out + awaitOutput(*monitor, 2);
    expectTranscript(*monitor, out,
                     {"Status changed from Idle to Active", "isDialing", "Status changed from Active to Idle",
                      "NotConnected"});
    EXPECT_EQ(monitor->errSoFar().find("is gone"), std::string::npos) << monitor->errSoFar();
}

// A server that accepts connections but answers nothing: tabroster gives up in bounded time.
TEST_F(WindowRecovery, TabrosterOnAFrozenServerEnds) {
    auto browser = openPage("Google-chrome", "inbox.html", "Inbox", nlohmann::json::object(), 400, 300);
    ASSERT_TRUE(browser);
    desktop().server().freeze();
    ProgramRun roster(tabRosterBinary(), {}, desktop().display());
    const auto result = roster.wait(20s);
    desktop().server().thaw();
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "");
}

}  // namespace
