// Start-up of linewarden as a process: every failure writes its exact lines on standard error,
// nothing on standard output, and ends with status 1.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/ChildProcess.h"
#include "support/TestSupport.h"

namespace {

using test_support::runLineWardenProcess;
using test_support::scenarioPath;
using ::testing::ElementsAre;
using ::testing::Not;
using ::testing::Contains;

const std::string kUsage = "Usage: linewarden --dialer=<zoom|kixie|ringcentral>\n";
const std::string kInvalid = "Error: Invalid dialer type. Use: zoom, kixie, ringcentral, or trellus\n";
const std::string kNoAccessibility =
    "Error: Accessibility permissions not granted\n"
    "Please go to System Preferences > Security & Privacy > Privacy > Accessibility\n"
    "and add this application to the list of allowed apps.\n";
const std::string kScreenRecordingAsked =
    "Error: Screen Recording permission not granted (required for Zoom OCR).\n"
    "Requesting Screen Recording permission...\n";
const std::string kScreenRecordingRefused =
    "Error: Screen Recording permission still not granted.\n"
    "Fix: System Settings \u2192 Privacy & Security \u2192 Screen Recording \u2192 enable for 'linewarden'. "
    "Then restart Quorlin.\n";

// The browser search when no browser runs: each monitor's discovery reports its browser missing.
std::string browserSearchFails(const std::string& dialer) {
    return "Checking Brave browser...\nBrowser not running (Bundle ID: com.brave.Browser)\n"
           "Checking Chrome browser...\nBrowser not running (Bundle ID: com.google.Chrome)\n"
           "Checking Edge browser...\nBrowser not running (Bundle ID: com.microsoft.edgemac)\n"
           "Error: Could not find " + dialer + " window in any browser\n";
}

void expectFailure(const std::string& scenario, const std::vector<std::string>& args, const std::string& expectedErr) {
    const auto result = runLineWardenProcess(scenarioPath(scenario), args);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, 1) << testing::PrintToString(args);
    EXPECT_EQ(result.out, "") << testing::PrintToString(args);
    EXPECT_EQ(result.err, expectedErr) << testing::PrintToString(args);
}

TEST(StartupProcess, NoArgumentGivesTheUsageLineBeforeAnyPermissionCheck) {
    expectFailure("untrusted.json", {}, kUsage);
}

TEST(StartupProcess, AnInvalidDialerGivesOnlyTheInvalidTypeLine) {
    // Names are exact and case-sensitive; arguments that are not the option do not count; the
    // walk stops at the first option. No permission is asked, so an untrusted process sees
    // nothing about permissions.
    for (const auto& args : std::vector<std::vector<std::string>>{{"--dialer=Zoom"},
                                                                  {"--dialer=ZOOM"},
                                                                  {"--dialer="},
                                                                  {"-v"},
                                                                  {"--dialer=nope", "--dialer=zoom"},
                                                                  {"zoom"}}) {
        expectFailure("untrusted.json", args, kInvalid);
    }
    expectFailure("no_browsers.json", {"--dialer=kixie "}, kInvalid);
}

TEST(StartupProcess, WithoutAccessibilityEveryDialerStopsAtTheThreeAccessibilityLines) {
    for (const std::string dialer : {"zoom", "kixie", "ringcentral", "trellus"}) {
        expectFailure("untrusted.json", {"--dialer=" + dialer}, kNoAccessibility);
    }
    expectFailure("untrusted_with_access_problem.json", {"--dialer=zoom"},
                  "Error: cannot open display ':99'\n" + kNoAccessibility);
}

TEST(StartupProcess, ZoomWithoutAccessibilityNeverAsksForScreenCapture) {
    const auto run = test_support::runLineWarden(test_support::scenarioText("untrusted.json"), {"--dialer=zoom"});
    EXPECT_EQ(run.err, kNoAccessibility);
    EXPECT_THAT(run.calls, Not(Contains("preflightAccess")));
    EXPECT_THAT(run.calls, Not(Contains("requestAccess")));
}

TEST(StartupProcess, ZoomWithScreenCaptureRefusedAsksOnceAndGivesUp) {
    expectFailure("screen_capture_denied.json", {"--dialer=zoom"}, kScreenRecordingAsked + kScreenRecordingRefused);

    const auto run = test_support::runLineWarden(test_support::scenarioText("screen_capture_denied.json"),
                                                 {"--dialer=zoom"});
    EXPECT_THAT(run.calls, ElementsAre("isProcessTrusted", "preflightAccess", "requestAccess", "preflightAccess"));
}

TEST(StartupProcess, ZoomGrantedAtTheRequestGoesOnToMonitor) {
    // The scenario winds down before the first scan, so the transcript is start-up alone.
    const auto result = runLineWardenProcess(scenarioPath("screen_capture_on_request.json"), {"--dialer=zoom"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, kScreenRecordingAsked + "Monitoring Zoom...\n");

    const auto granted = runLineWardenProcess(scenarioPath("no_browsers.json"), {"--dialer=zoom"});
    EXPECT_EQ(granted.exitStatus, 0);
    EXPECT_EQ(granted.out, "");
    EXPECT_EQ(granted.err, "Monitoring Zoom...\n");
}

TEST(StartupProcess, BrowserDialersNeedNoScreenCaptureAndTakeTheFirstOption) {
    // Screen capture is refused, yet no browser dialer mentions it: the start-up goes straight
    // to the browser search, whose end tells which dialer was chosen.
    expectFailure("screen_capture_denied.json", {"--dialer=kixie", "--dialer=zoom"}, browserSearchFails("Kixie"));
    expectFailure("screen_capture_denied.json", {"--dialer=--dialer=trellus"}, browserSearchFails("Trellus"));
    expectFailure("screen_capture_denied.json", {"-v", "--dialer=ringcentral", "extra"},
                  browserSearchFails("RingCentral"));
}

}  // namespace
