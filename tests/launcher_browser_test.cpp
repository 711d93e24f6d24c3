// The browser drivers as whole transcripts: the search through Brave, Chrome and Edge, the timed
// scans, and the accessibility probe after every third scan.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "browser_scenarios.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

namespace {

using ::testing::Contains;
using ::testing::Not;

std::string notRunning(const std::string& bundleId) { return "Browser not running (Bundle ID: " + bundleId + ")\n"; }

// No browser runs: each monitor's discovery reports its browser missing.
std::string searchFailsEverywhere(const std::string& dialer) {
    return "Checking Brave browser...\n" + notRunning("com.brave.Browser") + "Checking Chrome browser...\n" +
           notRunning("com.google.Chrome") + "Checking Edge browser...\n" + notRunning("com.microsoft.edgemac") +
           "Error: Could not find " + dialer + " window in any browser\n";
}

// One Kixie scan of window 4711 at 800 x 600 pixels that reads `line`; `machine` is what the
// status machine writes between its entry and exit lines.
std::string kixieScan(const std::string& line, const std::string& entry, const std::string& machine,
                      const std::string& milliseconds) {
    const bool onCall = line.find("On Call") != std::string::npos;
    return "[detectCallViaScreenshot] \U0001F4F8 Attempting to capture window 4711...\n"
           "[detectCallViaScreenshot] \u2705 Screenshot captured, size: (800.0, 600.0)\n"
           "[detectCallViaScreenshot] \u2705 Image cropped to 300x200, performing OCR...\n"
           "[detectCallViaScreenshot] OCR returned 1 text elements\n"
           "[OCR] Detected 1 text elements:\n"
           "[OCR]   [1] \"" + line + "\"\n" +
           (onCall ? "[OCR] \u2705 'On Call' status found \u2192 IN CALL\n" : "[OCR] \u274C 'On Call' status not found\n") +
           "[handleStatusChange] Called with isCallActive: " + entry + "\n" + machine +
           "[handleStatusChange] Returning: true\n"
           "DEBUG: scanElements execution time: " + milliseconds + "ms\n";
}

TEST(BrowserDriver, NoBrowserRunningEndsWithTheNotFoundLineAndStatus1) {
    for (const auto& [option, name] : std::vector<std::pair<std::string, std::string>>{
             {"kixie", "Kixie"}, {"ringcentral", "RingCentral"}, {"trellus", "Trellus"}}) {
        const auto run = test_support::runLineWarden(test_support::scenarioText("no_browsers.json"),
                                                     {"--dialer=" + option});
        EXPECT_EQ(run.exitStatus, 1) << option;
        EXPECT_EQ(run.out, "") << option;
        EXPECT_EQ(run.err, searchFailsEverywhere(name)) << option;
    }
}

TEST(BrowserDriver, TheProcessWritesTheSameTranscript) {
    const auto result = test_support::runLineWardenProcess(test_support::scenarioPath("no_browsers.json"),
                                                           {"--dialer=kixie"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, searchFailsEverywhere("Kixie"));
}

TEST(BrowserDriver, TabOnlyInEdgeIsFoundAfterBraveAndChromeAndScannedUntilEdgeQuits) {
    // Scans at 0, 3.25 and 6.5 s: Available, then On Call, then Edge has quit, so the capture
    // fails, the window and the browser are let go, the call ends and the probe after the third
    // scan fails.
    const auto run = test_support::runLineWarden(R"({
        "sleeps": 3,
        "durations": {"shareableWindows": 0.125, "capture": 0.125},
        "applications": [{"bundleId": "com.microsoft.edgemac", "name": "Microsoft Edge", "pid": 303, "quit": 6,
            "windows": [
                {"number": 5001, "title": "Inbox - Gmail"},
                {"number": 4711, "title": "Kixie PowerCall - Dialer", "frame": [0, 0, 400, 300],
                 "text": [{"text": "Available", "box": [20, 20, 160, 30]}, {"text": "Far away", "box": [500, 400, 100, 30]}],
                 "changes": [{"from": 3, "text": [{"text": "On Call", "box": [20, 20, 160, 30]}]}]}]}]})",
                                                 {"--dialer=kixie"});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out,
              "Initial status: Available\nNotConnected\n"
              "Status changed from Available to On Call\nisDialing\n"
              "Status changed from On Call to Available\nNotConnected\n");
    EXPECT_EQ(run.err,
              "Checking Brave browser...\n" + notRunning("com.brave.Browser") + "Checking Chrome browser...\n" +
                  notRunning("com.google.Chrome") +
                  "Checking Edge browser...\n"
                  "Found Kixie window: Kixie PowerCall - Dialer\n"
                  "Got window ID: 4711\n"
                  "Monitoring Kixie status...\n" +
                  kixieScan("Available", "false, currentDialingState: false, previousStatus: nil",
                            "[handleStatusChange] \U0001F7E1 Initial status: AVAILABLE\n", "250.00") +
                  kixieScan("On Call", "true, currentDialingState: false, previousStatus: Available",
                            "[handleStatusChange] \U0001F535 Transitioning to ON CALL\n", "250.00") +
                  "[detectCallViaScreenshot] \U0001F4F8 Attempting to capture window 4711...\n"
                  "[detectCallViaScreenshot] \u274C Failed to capture screenshot\n" + browser_test::windowGone("4711") +
                  "[handleStatusChange] Called with isCallActive: false, currentDialingState: true, previousStatus: On Call\n"
                  "[handleStatusChange] \U0001F534 Transitioning to AVAILABLE (call ended)\n"
                  "[handleStatusChange] Returning: true\n"
                  "DEBUG: scanElements execution time: 125.00ms\n"
                  "DEBUG: Accessibility health check failed, may need to refresh references\n");
    EXPECT_THAT(run.calls, Contains("setAttribute AXMain window:4711 true"));
}

TEST(BrowserDriver, BraveWinsOverChromeAndASlowProbeIsReportedAfterEveryThirdScan) {
    const auto run = test_support::runLineWarden(R"({
        "sleeps": 6,
        "durations": {"AXWindows": 0.25},
        "applications": [
            {"bundleId": "com.google.Chrome", "name": "Google Chrome", "pid": 101,
             "windows": [{"number": 11, "title": "Kixie PowerCall - Chrome"}]},
            {"bundleId": "com.brave.Browser", "name": "Brave Browser", "pid": 202,
             "windows": [{"number": 4711, "title": "Kixie PowerCall - Brave", "text": ["Available"]}]}]})",
                                                 {"--dialer=kixie"});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out, "Initial status: Available\nNotConnected\n");
    const std::string idle = "[handleStatusChange] Not in call, no state change\n";
    const std::string idleEntry = "false, currentDialingState: false, previousStatus: Available";
    std::string quietScan = kixieScan("Available", idleEntry, idle, "0.00");
    quietScan.replace(quietScan.find("Returning: true"), 15, "Returning: false");
    const std::string probe =
        "DEBUG: Slow accessibility API response: 0.25s\n"
        "DEBUG: Accessibility health check failed, may need to refresh references\n";
    EXPECT_EQ(run.err, "Checking Brave browser...\n"
                       "Found Kixie window: Kixie PowerCall - Brave\n"
                       "Got window ID: 4711\n"
                       "Monitoring Kixie status...\n" +
                           kixieScan("Available", "false, currentDialingState: false, previousStatus: nil",
                                     "[handleStatusChange] \U0001F7E1 Initial status: AVAILABLE\n", "0.00") +
                           quietScan + quietScan + probe + quietScan + quietScan + quietScan + probe);
    EXPECT_THAT(run.calls, Not(Contains("runningApplications com.google.Chrome")));
}

}  // namespace
