// The Kixie monitor on the scripted desktop: whole runs of the driver, and single scans and
// searches of one monitor where a run cannot reach (initial scans, repeated searches).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "browser_scenarios.h"
#include "linewarden/monitors/KixieMonitor.h"
#include "support/TestSupport.h"

namespace {

using namespace browser_test;
using ::testing::ElementsAre;

const std::string kCropped = "[detectCallViaScreenshot] \u2705 Image cropped to 300x200, performing OCR...\n";
const std::string kInitial = "[handleStatusChange] \U0001F7E1 Initial status: AVAILABLE\n";
const std::string kStarted = "[handleStatusChange] \U0001F535 Transitioning to ON CALL\n";
const std::string kEnded = "[handleStatusChange] \U0001F534 Transitioning to AVAILABLE (call ended)\n";
const std::string kNoChange = "[handleStatusChange] Not in call, no state change\n";

// The pipeline of one Kixie scan that recognised `lines`, up to the classifier's verdict.
std::string kixiePipeline(std::string_view number, std::string_view size, const std::vector<std::string>& lines) {
    const bool onCall = std::any_of(lines.begin(), lines.end(),
                                    [](const std::string& line) { return line.find("On Call") != std::string::npos; });
    return captured(number, size) + kCropped + ocrReturned(lines.size()) + detectedListing(lines) +
           (onCall ? "[OCR] \u2705 'On Call' status found \u2192 IN CALL\n" : "[OCR] \u274C 'On Call' status not found\n");
}

TEST(KixieRun, FoundInEdgeOnlyThenACallThatEndsWhenTheTabClosesAndEdgeQuits) {
    // Brave has no Kixie tab (a lower-case title does not count), Chrome's windows cannot be
    // listed, Edge lists two windows whose titles cannot be used before the Kixie tab. The window
    // list names the tab "Untitled" until 3 s, so its number resolves at the second scan. The tab
    // shows "On Call" below the 300x200 corner at first (not seen), then in it from 6 s; it is
    // closed at 9 s and Edge quits at 12 s.
    const auto run = test_support::runLineWarden(R"({
        "sleeps": 6,
        "durations": {"capture": 0.25},
        "applications": [
          {"bundleId": "com.brave.Browser", "name": "Brave Browser", "pid": 101,
           "windows": [{"number": 11, "title": "Inbox - Gmail"}, {"number": 12, "title": "kixie powercall"}]},
          {"bundleId": "com.google.Chrome", "name": "Google Chrome", "pid": 202, "windowsError": -25204},
          {"bundleId": "com.microsoft.edgemac", "name": "Microsoft Edge", "pid": 303, "quit": 12,
           "windows": [
             {"number": 31},
             {"number": 32, "title": 42},
             {"number": 4711, "title": "Kixie PowerCall - Dialer", "listName": "Untitled", "close": 9,
              "text": [{"text": "Available", "box": [20, 20, 160, 30]}, {"text": "On Call", "box": [400, 300, 160, 30]}],
              "changes": [{"from": 3, "listName": null},
                          {"from": 6, "text": [{"text": "On Call", "box": [20, 20, 160, 30]}]}]}]}]})",
                                                 {"--dialer=kixie"});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out,
              "Initial status: Available\nNotConnected\n"
              "Status changed from Available to On Call\nisDialing\n"
              "Status changed from On Call to Available\nNotConnected\n");
    EXPECT_EQ(run.err,
              "Checking Brave browser...\n"
              "No window with Kixie-related title found in com.brave.Browser\n"
              "Looked for titles containing: Kixie PowerCall\n"
              "Checking Chrome browser...\n"
              "No windows found for com.google.Chrome\n"
              "Checking Edge browser...\n"
              "Found Kixie window: Kixie PowerCall - Dialer\n"
              "Warning: Could not get window ID\n"
              "Monitoring Kixie status...\n" +
                  // scan 1: the number is still unknown
                  kNoWindowNumber + timing("0.00") +
                  // scan 2: resolved silently, Available
                  kixiePipeline("4711", "(800.0, 600.0)", {"Available"}) +
                  statusMachine(false, false, "nil", kInitial, true) + timing("250.00") +
                  // scan 3: On Call; the probe after it passes
                  kixiePipeline("4711", "(800.0, 600.0)", {"On Call"}) +
                  statusMachine(true, false, "Available", kStarted, true) + timing("250.00") +
                  // scan 4: the tab is closed, the capture fails, the window is let go and the call ends
                  attempting("4711") + kCaptureFailed + windowGone("4711") +
                  statusMachine(false, true, "On Call", kEnded, true) + timing("0.00") +
                  // scans 5 and 6: Edge has quit; the lost window still counts as a miss, and the
                  // probe after scan 6 fails on the absent reference
                  statusMachine(false, false, "Available", kNoChange, false) + timing("0.00") +
                  statusMachine(false, false, "Available", kNoChange, false) + timing("0.00") + kProbeFailed);
    // AXMain is set by the search and again by each scan that had to look for the window.
    EXPECT_EQ(std::count(run.calls.begin(), run.calls.end(), "setAttribute AXMain window:4711 true"), 3);
    // The browsers are never searched again once monitoring began.
    EXPECT_EQ(std::count(run.calls.begin(), run.calls.end(), "runningApplications com.brave.Browser"), 1);
}

// Single scans of one monitor, as a host that asks for an initial scan would see them.
TEST(KixieScan, InitialScansReportDiscoveryAndLaterScansReportTheMissingNumber) {
    Desk desk(R"({
        "applications": [{"bundleId": "com.google.Chrome", "name": "Google Chrome", "pid": 7, "start": 3,
          "windows": [{"number": 4711, "title": "New Tab", "listName": "Untitled", "text": ["Available"],
                       "changes": [{"from": 6, "title": "Kixie PowerCall"}, {"from": 9, "listName": null}]}]}]})");
    linewarden::KixieMonitor monitor(desk.platform(), "com.google.Chrome");

    // Chrome not started yet: only the initial scan says so.
    EXPECT_FALSE(monitor.scanElements(true));
    EXPECT_EQ(desk.take(), streams("", notRunning("com.google.Chrome")));
    EXPECT_FALSE(monitor.scanElements(false));
    EXPECT_EQ(desk.take(), streams("", ""));

    // Started without the tab: the initial scan says what it looked for; a later scan only
    // finds the number missing.
    desk.pause(3);
    EXPECT_FALSE(monitor.scanElements(true));
    EXPECT_EQ(desk.take(), streams("", "No window with Kixie-related title found in com.google.Chrome\n"
                                       "Looked for titles containing: Kixie PowerCall\n"));
    EXPECT_FALSE(monitor.scanElements(false));
    EXPECT_EQ(desk.take(), streams("", kNoWindowNumber));

    // Tab found, number unresolved: the initial scan reports the find and keeps quiet about the
    // number; a later scan does the opposite.
    desk.pause(3);
    EXPECT_FALSE(monitor.scanElements(true));
    EXPECT_EQ(desk.take(), streams("", "Found Kixie window: Kixie PowerCall\n"));
    EXPECT_FALSE(monitor.scanElements(false));
    EXPECT_EQ(desk.take(), streams("", kNoWindowNumber));
    EXPECT_FALSE(monitor.windowID().has_value());

    // Resolved by an initial scan, which goes on to the status machine in the same scan.
    desk.pause(3);
    EXPECT_TRUE(monitor.scanElements(true));
    EXPECT_EQ(desk.take(), streams(
                               "Initial status: Available\nNotConnected\n",
                               "Found Kixie window: Kixie PowerCall\nGot window ID: 4711\n" +
                                   kixiePipeline("4711", "(800.0, 600.0)", {"Available"}) +
                                   statusMachine(false, false, "nil", kInitial, true)));

    // Window known: the next scan goes straight to the capture, without looking at the windows.
    desk.desktop.clearCalls();
    EXPECT_FALSE(monitor.scanElements(true));
    EXPECT_THAT(desk.desktop.calls(), ElementsAre("shareableWindows onScreenOnly", "capture 4711 800x600",
                                                  "recognize 300x200"));
    EXPECT_EQ(desk.take().err, kixiePipeline("4711", "(800.0, 600.0)", {"Available"}) +
                                      statusMachine(false, false, "Available", kNoChange, false));
}

TEST(KixieScan, ASmallScreenshotIsCroppedWholeButTheCropLineStillNames300x200) {
    // A 250x120 screenshot: the corner is the whole image, so text at its far corner is read.
    Desk desk(R"({
        "applications": [{"bundleId": "com.brave.Browser", "name": "Brave Browser", "pid": 7,
          "windows": [{"number": 9, "title": "Kixie PowerCall", "captureSize": [250, 120],
                       "text": [{"text": "Status: On Call 00:12", "box": [100, 90, 150, 30]}]}]}]})");
    linewarden::KixieMonitor monitor(desk.platform(), "com.brave.Browser");
    ASSERT_TRUE(monitor.findKixieWindow());
    desk.take();
    EXPECT_TRUE(monitor.scanElements(false));
    EXPECT_EQ(desk.take(), streams(
                               "Status changed from Available to On Call\nisDialing\n",
                               kixiePipeline("9", "(250.0, 120.0)", {"Status: On Call 00:12"}) +
                                   statusMachine(true, false, "nil", kStarted, true)));
    EXPECT_EQ(desk.count("recognize 250x120"), 1);
    const auto& settings = desk.desktop.lastRecognitionSettings();
    ASSERT_TRUE(settings.has_value());
    EXPECT_EQ(settings->level, platform::RecognitionLevel::fast);
    EXPECT_EQ(settings->maximumCandidates, 1);
}

TEST(KixieScan, CaptureCropAndRecognitionFailuresReachTheStatusMachineAsFalse) {
    // A capture that fails, then one whose pixels cannot be read (the crop fails, no OCR).
    // Then a recogniser that fails: an empty reading, still classified.
    Desk desk(R"({
        "changes": [{"from": 9, "recognitionFails": true}],
        "applications": [{"bundleId": "com.brave.Browser", "name": "Brave Browser", "pid": 7,
          "windows": [{"number": 9, "title": "Kixie PowerCall", "text": ["On Call"],
                       "changes": [{"from": 3, "capture": "fails"}, {"from": 6, "capture": "unreadable"},
                                   {"from": 9, "capture": null}]}]}]})");
    linewarden::KixieMonitor monitor(desk.platform(), "com.brave.Browser");
    ASSERT_TRUE(monitor.findKixieWindow());
    EXPECT_TRUE(monitor.scanElements(false));
    desk.take();
    desk.pause(3);
    EXPECT_TRUE(monitor.scanElements(false));
    EXPECT_EQ(desk.take(), streams(
                               "Status changed from On Call to Available\nNotConnected\n",
                               attempting("9") + kCaptureFailed +
                                   statusMachine(false, true, "On Call", kEnded, true)));
    desk.pause(3);
    EXPECT_FALSE(monitor.scanElements(false));
    EXPECT_EQ(desk.take().err, captured("9", "(800.0, 600.0)") + kCropFailed +
                                      statusMachine(false, false, "Available", kNoChange, false));
    EXPECT_EQ(desk.count("recognize 300x200"), 1);  // only the first scan got as far

    desk.pause(3);
    EXPECT_FALSE(monitor.scanElements(false));
    EXPECT_EQ(desk.take().err, kixiePipeline("9", "(800.0, 600.0)", {}) +
                                   statusMachine(false, false, "Available", kNoChange, false));
}

}  // namespace
