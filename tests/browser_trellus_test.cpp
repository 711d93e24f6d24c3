// The Trellus monitor on the scripted desktop: a whole run with the width guard, in-process and
// as a process, the guard's boundaries, and repeated window searches.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "browser_scenarios.h"
#include "linewarden/monitors/TrellusMonitor.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

namespace {

using namespace browser_test;
using ::testing::Contains;
using ::testing::ElementsAre;

const std::string kCropped = "[detectCallViaScreenshot] \u2705 Image cropped (top-right 400x200), performing OCR...\n";
const std::string kInitial = "[handleStatusChange] \U0001F7E1 Initial status: IDLE\n";
const std::string kStarted = "[handleStatusChange] \U0001F535 Transitioning to ACTIVE\n";
const std::string kEnded = "[handleStatusChange] \U0001F534 Transitioning to IDLE (call ended)\n";
const std::string kInCall = "[handleStatusChange] Already in call, no state change\n";
const std::string kNoChange = "[handleStatusChange] Not in call, no state change\n";
const std::string kIdleSeen = "[OCR] \u274C 'Idle' status found \u2192 NOT IN CALL\n";
std::string activeSeen(std::string_view element) {
    return "[OCR] \u2705 'Active' status found (matched: \"" + std::string(element) + "\") \u2192 IN CALL\n";
}
std::string sizeLine(std::string_view text) { return "[cropTopRightRegion] Image size: " + std::string(text) + "\n"; }
std::string narrowed(std::string_view widths) {
    return "[detectCallViaScreenshot] \u26A0\uFE0F Window size changed dramatically (" + std::string(widths) +
           "), skipping this scan\n";
}

// One accepted Trellus scan of window 9001 that read a single element.
std::string trellusPipeline(std::string_view size, std::string_view cropLine, std::string_view element,
                            std::string_view verdictLine) {
    return captured("9001", size) + sizeLine(cropLine) + kCropped + ocrReturned(1) +
           detectedListing({std::string(element)}) + std::string(verdictLine);
}

const std::string kRunOut =
    "Initial status: Idle\nNotConnected\n"
    "Status changed from Idle to Active\nisDialing\n"
    "Status changed from Active to Idle\nNotConnected\n";

std::string runErr() {
    const std::string wide = "800.0x600, cropping at x:400.0 size:400.0x200.0";
    const std::string reopened = "500.0x600, cropping at x:100.0 size:400.0x200.0";
    return "Checking Brave browser...\n"
           "No windows found for com.brave.Browser\n"
           "Checking Chrome browser...\n"
           "No window with Trellus-related title found in com.google.Chrome\n"
           "Looked for titles containing: Trellus\n"
           "Checking Edge browser...\n"
           "Found Trellus window: Trellus - Dialer\n"
           "Got window ID: 9001\n"
           "Monitoring Trellus status...\n" +
           trellusPipeline("(800.0, 600.0)", wide, "Idle", kIdleSeen) +
           statusMachine(false, false, "nil", kInitial, true) + timing("250.00") +
           trellusPipeline("(800.0, 600.0)", wide, "Active", activeSeen("Active")) +
           statusMachine(true, false, "Idle", kStarted, true) + timing("250.00") +
           // narrowed: skipped twice against the same reference; the call goes on
           captured("9001", "(300.0, 600.0)") + narrowed("800.0 \u2192 300.0") +
           statusMachine(true, true, "Active", kInCall, true) + timing("250.00") +
           captured("9001", "(300.0, 600.0)") + narrowed("800.0 \u2192 300.0") +
           statusMachine(true, true, "Active", kInCall, true) + timing("250.00") +
           // widened to more than half again: accepted, and Idle ends the call
           trellusPipeline("(500.0, 600.0)", reopened, "Idle", kIdleSeen) +
           statusMachine(false, true, "Active", kEnded, true) + timing("250.00") +
           trellusPipeline("(500.0, 600.0)", reopened, "Idle", kIdleSeen) +
           statusMachine(false, false, "Idle", kNoChange, false) + timing("250.00") +
           "DEBUG: Slow accessibility API response: 0.25s\n" + kProbeFailed;
}

TEST(TrellusRun, TheWidthGuardSkipsANarrowedWindowWhileTheCallGoesOn) {
    const auto run = test_support::runLineWarden(test_support::scenarioText("browser_trellus.json"),
                                                 {"--dialer=trellus"});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out, kRunOut);
    EXPECT_EQ(run.err, runErr());
    EXPECT_THAT(run.calls, Contains("capture 9001 300x600"));
    // Skipped scans capture but neither crop nor recognise.
    EXPECT_EQ(std::count(run.calls.begin(), run.calls.end(), "recognize 400x200"), 4);
}

TEST(TrellusRun, TheScriptedBinaryWritesTheSameTranscript) {
    const auto result = test_support::runLineWardenProcess(test_support::scenarioPath("browser_trellus.json"),
                                                           {"--dialer=trellus"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, kRunOut);
    EXPECT_EQ(result.err, runErr());
}

TEST(TrellusScan, TheGuardAcceptsHalfAndGrowthAndSkipsLessThanHalf) {
    // First scan at 350x150: nothing to compare with, and the corner is the whole image.
    Desk desk(R"({
        "applications": [{"bundleId": "com.brave.Browser", "name": "Brave Browser", "pid": 7,
          "windows": [{"number": 9001, "title": "Trellus", "captureSize": [350, 150], "text": ["ACTIVE"],
                       "changes": [{"from": 3, "captureSize": [800, 600]}, {"from": 6, "captureSize": [400, 600]},
                                   {"from": 9, "captureSize": [199, 600]}, {"from": 12, "capture": "unreadable", "captureSize": null}]}]}]})");
    linewarden::TrellusMonitor monitor(desk.platform(), "com.brave.Browser");
    ASSERT_TRUE(monitor.findTrellusWindow());
    desk.take();

    EXPECT_TRUE(monitor.scanElements(false));
    EXPECT_EQ(desk.take(), streams("Status changed from Idle to Active\nisDialing\n",
                                   trellusPipeline("(350.0, 150.0)", "350.0x150, cropping at x:0.0 size:350.0x150.0",
                                                   "ACTIVE", activeSeen("ACTIVE")) +
                                       statusMachine(true, false, "nil", kStarted, true)));
    EXPECT_EQ(monitor.lastKnownWindowWidth(), 350.0);

    const std::pair<double, double> widths[] = {{3, 800.0}, {3, 400.0}};  // growth, then exactly half
    for (const auto& [pause, width] : widths) {
        desk.pause(pause);
        EXPECT_TRUE(monitor.scanElements(false));
        EXPECT_EQ(monitor.lastKnownWindowWidth(), width);
    }
    desk.take();

    desk.pause(3);
    EXPECT_TRUE(monitor.scanElements(false));
    EXPECT_EQ(desk.take(), streams("", captured("9001", "(199.0, 600.0)") + narrowed("400.0 \u2192 199.0") +
                                           statusMachine(true, true, "Active", kInCall, true)));
    EXPECT_EQ(monitor.lastKnownWindowWidth(), 400.0);

    // Pixels that cannot be read: the crop fails before its size line and the call ends.
    desk.pause(3);
    EXPECT_TRUE(monitor.scanElements(false));
    EXPECT_EQ(desk.take(), streams("Status changed from Active to Idle\nNotConnected\n",
                                   captured("9001", "(800.0, 600.0)") + kCropFailed +
                                       statusMachine(false, true, "Active", kEnded, true)));
}

TEST(TrellusDiscovery, FirstMatchWinsAndALaterSearchKeepsOrReplacesWhatWasFound) {
    // Two Trellus tabs. From 3 s the first one's title copy answers an error code although it
    // still carries the title; from 6 s it is titled "Inbox".
    Desk desk(R"({
        "applications": [{"bundleId": "com.google.Chrome", "name": "Google Chrome", "pid": 7,
          "windows": [
            {"number": 61, "title": "Trellus - Dialer",
             "changes": [{"from": 3, "titleError": -25204}, {"from": 6, "titleError": null, "title": "Inbox"}]},
            {"number": 62, "title": "Trellus - Settings"}]}]})");
    linewarden::TrellusMonitor monitor(desk.platform(), "com.google.Chrome");

    EXPECT_TRUE(monitor.findTrellusWindow());
    EXPECT_EQ(desk.take(), streams("", "Found Trellus window: Trellus - Dialer\nGot window ID: 61\n"));
    // The second tab is never looked at; AXMain is set once the number is resolved.
    EXPECT_THAT(desk.desktop.calls(),
                ElementsAre("runningApplications com.google.Chrome", "createApplication 7",
                            "copyAttribute AXWindows app:7", "copyAttribute AXTitle window:61",
                            "copyAttribute AXTitle window:61", "onScreenWindows", "setAttribute AXMain window:61 true"));

    // The discovery ignores the error code and matches the title; the number lookup, which reads
    // the title afresh, cannot, so the earlier number stays and AXMain is set again.
    desk.pause(3);
    EXPECT_TRUE(monitor.findTrellusWindow());
    EXPECT_EQ(desk.take(), streams("", "Found Trellus window: Trellus - Dialer\n"
                                       "[getWindowID] Failed to get title from accessibility element\n"
                                       "Warning: Could not get window ID\n"));
    EXPECT_EQ(monitor.windowID(), std::optional<platform::WindowNumber>(61));
    EXPECT_EQ(desk.count("setAttribute AXMain window:61 true"), 2);
    EXPECT_EQ(desk.count("onScreenWindows"), 1);  // the failed title read asks for no window list

    desk.pause(3);
    EXPECT_TRUE(monitor.findTrellusWindow());
    EXPECT_EQ(desk.take(), streams("", "Found Trellus window: Trellus - Settings\nGot window ID: 62\n"));
    EXPECT_EQ(monitor.windowID(), std::optional<platform::WindowNumber>(62));
    EXPECT_EQ(monitor.windowTitle(), std::optional<std::string>("Trellus - Settings"));
}

}  // namespace
