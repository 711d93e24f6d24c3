// The browser monitors through what a desktop does to the dialer's window: closed and opened
// again, its browser restarted while another application took its number, minimised. A window
// that is gone ends an active call as a failed reading does, and the dialer is found again
// wherever it comes back; a minimised one holds the status until it is shown.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "browser_scenarios.h"
#include "support/TestSupport.h"

namespace {

using namespace browser_test;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string kFoundAgain = "[Scan] Found the dialer's window again: ";

long occurrences(const std::string& text, const std::string& part) {
    long count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

// Scans every 3 s from 0. The tab closes at 4 and comes back under another number at 10.
TEST(BrowserRecovery, KixieTabClosedEndsTheCallAndTheReopenedTabIsFoundAgain) {
    const auto run = test_support::runLineWarden(R"({
        "sleeps": 6,
        "applications": [{"bundleId": "com.brave.Browser", "name": "Brave Browser", "pid": 101,
          "windows": [{"number": 20, "title": "Inbox"},
                      {"number": 21, "title": "Kixie PowerCall", "close": 4, "text": ["On Call"]},
                      {"number": 22, "title": "Kixie PowerCall", "open": 10, "text": ["On Call"]}]}]})",
                                                 {"--dialer=kixie"});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out,
              "Status changed from Available to On Call\nisDialing\n"
              "Status changed from On Call to Available\nNotConnected\n"
              "Status changed from Available to On Call\nisDialing\n");
    EXPECT_EQ(occurrences(run.err, windowGone("21")), 1) << run.err;
    // Scan 4 (t = 9) finds nothing yet; scan 5 finds the new window and reads it at once.
    EXPECT_EQ(occurrences(run.err, kNoWindowNumber), 1) << run.err;
    EXPECT_THAT(run.err, HasSubstr(kFoundAgain + "\"Kixie PowerCall\", window 22\n" + attempting("22")));
    // The browser kept running: it was not looked up again.
    EXPECT_EQ(std::count(run.calls.begin(), run.calls.end(), "runningApplications com.brave.Browser"), 1);
}

// Chrome restarts (as after an update) and its old window number now names a window of another
// application. The capture of that number succeeds, but the window is not the dialer's: it is let
// go with the quit browser, and the new Chrome's tab is found again.
TEST(BrowserRecovery, BrowserRestartedWhileAnotherApplicationTookTheNumber) {
    const auto run = test_support::runLineWarden(R"({
        "sleeps": 6,
        "applications": [
          {"bundleId": "com.google.Chrome", "name": "Google Chrome", "pid": 101, "quit": 5,
           "windows": [{"number": 4711, "title": "Kixie PowerCall", "text": ["On Call"]}]},
          {"bundleId": "com.example.mail", "name": "Mail", "pid": 202, "start": 5,
           "windows": [{"number": 4711, "title": "Inbox", "text": ["Nothing to see"]}]},
          {"bundleId": "com.google.Chrome", "name": "Google Chrome", "pid": 303, "start": 8,
           "windows": [{"number": 5000, "title": "Kixie PowerCall", "text": ["On Call"]}]}]})",
                                                 {"--dialer=kixie"});
    EXPECT_EQ(run.out,
              "Status changed from Available to On Call\nisDialing\n"
              "Status changed from On Call to Available\nNotConnected\n"
              "Status changed from Available to On Call\nisDialing\n");
    EXPECT_THAT(run.err, HasSubstr(attempting("4711") + kCaptureFailed + windowGone("4711")));
    EXPECT_THAT(run.err, HasSubstr(kFoundAgain + "\"Kixie PowerCall\", window 5000\n"));
    // The other application's window was captured once and never read.
    EXPECT_THAT(run.err, Not(HasSubstr("Nothing to see")));
    EXPECT_THAT(run.calls, testing::Contains("createApplication 303"));
}

// RingCentral gives a call up at the third missed reading: a lost window keeps counting as one.
TEST(BrowserRecovery, RingCentralWindowClosedEndsTheCallAtTheThirdScanWithoutIt) {
    const auto run = test_support::runLineWarden(R"({
        "sleeps": 6,
        "applications": [{"bundleId": "com.brave.Browser", "name": "Brave Browser", "pid": 101,
          "windows": [{"number": 20, "title": "Inbox"},
                      {"number": 30, "title": "RingCentral for Google", "close": 7, "text": ["0:42"]}]}]})",
                                                 {"--dialer=ringcentral"});
    EXPECT_EQ(run.out,
              "Status changed to Dialing (Timer detected via OCR)\nisDialing\n"
              "Status changed to Available (Timer absent)\nNotConnected\n");
    // Scans at 0, 3 and 6 read the timer; at 9 the window is let go, at 12 and 15 it is missing,
    // and the last of them, the third miss, ends the call.
    EXPECT_EQ(occurrences(run.err, kNoWindowNumber), 2) << run.err;
    EXPECT_EQ(occurrences(run.err, windowGone("30")), 1);
}

// Minimised from 4 to 10 during a call: no status line; the scans say that the status is held,
// and reading goes on when the window is shown. A failed capture of a shown window still counts
// as a miss and keeps the window.
TEST(BrowserRecovery, TrellusMinimisedDuringACallHoldsTheStatusUntilShown) {
    const auto run = test_support::runLineWarden(R"({
        "sleeps": 6,
        "applications": [{"bundleId": "com.brave.Browser", "name": "Brave Browser", "pid": 101,
          "windows": [{"number": 40, "title": "Trellus", "frame": [0, 0, 400, 300], "text": ["Active"],
                       "changes": [{"from": 4, "onScreen": false}, {"from": 10, "onScreen": true},
                                   {"from": 13, "capture": "fails"}]}]}]})",
                                                 {"--dialer=trellus"});
    EXPECT_EQ(run.out,
              "Status changed from Idle to Active\nisDialing\n"
              "Status changed from Active to Idle\nNotConnected\n");
    const std::string held =
        "[Scan] Window 40 is minimised: the status stays as it is until the window is shown again\n";
    EXPECT_EQ(occurrences(run.err, held), 2) << run.err;
    EXPECT_THAT(run.err, HasSubstr(attempting("40") + held + timing("0.00")));
    EXPECT_THAT(run.err, Not(HasSubstr(windowGone("40"))));
    EXPECT_EQ(std::count(run.calls.begin(), run.calls.end(), "windowPresence window:40"), 3);
}

}  // namespace
