// Zoom monitoring as whole transcripts on the scripted desktop: start-up, the driver's scans
// every 2 s plus scan time, the window listing (smallest first), the captures it makes and the
// status lines it prints, on both streams.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "linewarden/app/Launcher.h"
#include "platform/ScriptedDesktop.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

const std::string kMonitoring = "Monitoring Zoom...\n";
const std::string kMarkersFound = "[detectCallViaOCR] \u2705 Call markers found\n";
const std::string kNoMarkers = "[detectCallViaOCR] \u274C No call markers found\n";

std::string statusLine(bool isCallActive, bool isDialing, std::string_view previousStatus) {
    return std::string("[Zoom][handleStatusChange] isCallActive: ") + (isCallActive ? "true" : "false") +
           ", isDialing: " + (isDialing ? "true" : "false") + ", previousStatus: " + std::string(previousStatus) + "\n";
}

std::string timing(std::string_view milliseconds) {
    return "DEBUG: scanElements execution time: " + std::string(milliseconds) + "ms\n";
}

test_support::Transcript runZoom(std::string_view scenario) {
    return test_support::runLineWarden(scenario, {"--dialer=zoom"});
}

// The calls of start-up when both permissions are there.
const std::vector<std::string> kStartup{"isProcessTrusted", "preflightAccess"};

std::vector<std::string> concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

const std::vector<std::string> kZoomNotRunning{"runningApplications us.zoom.xos", "sleep 2"};

TEST(ZoomScan, WithoutZoomTheFirstScanReportsAvailableAndLaterScansOnlyTheirDiagnostics) {
    const auto run = runZoom(R"js({"sleeps": 3, "durations": {"runningApplications": 0.25}})js");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out, "Initial status: Available\nNotConnected\n");
    EXPECT_EQ(run.err, kMonitoring +
                           statusLine(false, false, "nil") + timing("250.00") +
                           statusLine(false, false, "Available") + timing("250.00") +
                           statusLine(false, false, "Available") + timing("250.00"));
    EXPECT_THAT(run.calls, ElementsAreArray(concat({kStartup, kZoomNotRunning, kZoomNotRunning, kZoomNotRunning})));
}

TEST(ZoomScan, ACallInTheSecondSmallestWindowStopsTheScanThereAndIsReportedOnce) {
    // Listed 11, 12, 13; read smallest first: 12 (300 x 100), then 11 (800 x 600), where the
    // timer is. 13 (900 x 700) shows a marker too but is never captured.
    const auto run = runZoom(R"js({
        "sleeps": 2,
        "durations": {"capture": 0.0025},
        "applications": [{"bundleId": "us.zoom.xos", "name": "zoom.us", "pid": 500, "windows": [
            {"number": 11, "frame": [0, 0, 800, 600], "text": ["Participants (3)", "  00:42 \n"]},
            {"number": 12, "frame": [40, 40, 300, 100], "text": ["Zoom Workplace", "1:05"]},
            {"number": 13, "frame": [0, 0, 900, 700], "text": ["Calling Jane..."]}]}]})js");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out, "Status changed from Available to On Call\nisDialing\n");
    const std::string detection = "[detectMarkers] \u2705 Timer '00:42' found \u2192 IN CALL\n" + kMarkersFound;
    EXPECT_EQ(run.err, kMonitoring +
                           detection + statusLine(true, false, "nil") + timing("5.00") +
                           detection + statusLine(true, true, "On Call") + timing("5.00"));
    const std::vector<std::string> scan{"runningApplications us.zoom.xos", "shareableWindows onScreenOnly",
                                        "capture 12 600x200", "recognize 600x200",
                                        "capture 11 1600x1200", "recognize 1600x1200", "sleep 2"};
    EXPECT_THAT(run.calls, ElementsAreArray(concat({kStartup, scan, scan})));
}

TEST(ZoomScan, ZoomReadsItsWindowsWholeWithItsOwnRecognitionSettings) {
    std::string error;
    auto scenario = platform::Scenario::fromJson(R"js({
        "applications": [{"bundleId": "us.zoom.xos", "pid": 500, "windows": [
            {"number": 11, "frame": [0, 0, 400, 300], "text": [{"candidates": ["Meeting", "00:42"]}]}]}]})js",
                                                 error);
    ASSERT_TRUE(scenario) << error;
    platform::RecordingConsole console;
    platform::ScriptedDesktop desktop(std::move(*scenario), console);
    EXPECT_EQ(linewarden::runLineWarden({"linewarden", "--dialer=zoom"}, desktop.platform()), 0);

    // Only the best candidate counts, so the timer in the second reading is not seen.
    EXPECT_EQ(console.standardOutput(), "Initial status: Available\nNotConnected\n");
    const auto& settings = desktop.lastRecognitionSettings();
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->level, platform::RecognitionLevel::accurate);
    EXPECT_FALSE(settings->usesLanguageCorrection);
    EXPECT_THAT(settings->customWords, ElementsAre("Calling", "Test"));
    EXPECT_EQ(settings->minimumTextHeight, 0.01f);
    EXPECT_THAT(settings->languages, ElementsAre("en-US"));
    EXPECT_EQ(settings->maximumCandidates, 1);
}

TEST(ZoomScan, ZoomQuittingDuringACallEndsItAtTheNextScan) {
    const auto run = runZoom(R"js({
        "sleeps": 3,
        "applications": [{"bundleId": "us.zoom.xos", "name": "zoom.us", "pid": 500, "quit": 1,
                          "windows": [{"number": 11, "text": ["Jane Doe -  "]}]}]})js");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out,
              "Status changed from Available to On Call\nisDialing\n"
              "Status changed from On Call to Available\nNotConnected\n");
    EXPECT_EQ(run.err, kMonitoring +
                           "[detectMarkers] \u2705 Call banner 'Jane Doe -' found \u2192 IN CALL\n" + kMarkersFound +
                           statusLine(true, false, "nil") + timing("0.00") +
                           statusLine(false, true, "On Call") + timing("0.00") +
                           statusLine(false, false, "Available") + timing("0.00"));
    const std::vector<std::string> firstScan{"runningApplications us.zoom.xos", "shareableWindows onScreenOnly",
                                             "capture 11 800x600", "recognize 800x600", "sleep 2"};
    EXPECT_THAT(run.calls, ElementsAreArray(concat({kStartup, firstScan, kZoomNotRunning, kZoomNotRunning})));
}

TEST(ZoomScan, WindowsTooSmallUnlistedOrUnreadableCountAsNoCall) {
    // Scan 1 (t = 0): both windows are 1 point thin, so nothing is listed and detection is
    // silent. Scan 2 (t = 2): window 21 (2 x 2) fails to capture, 22 cannot be read. Scan 3
    // (t = 4): the window listing fails, silently. Scan 4 (t = 6): 22 can be read again, but
    // the recogniser fails. A window without an owning application is never listed.
    const auto run = runZoom(R"js({
        "sleeps": 4,
        "changes": [{"from": 4, "shareableWindowsFail": true},
                    {"from": 6, "shareableWindowsFail": false, "recognitionFails": true}],
        "applications": [{"bundleId": "us.zoom.xos", "name": "zoom.us", "pid": 500, "windows": [
            {"number": 21, "frame": [0, 0, 1, 500], "text": ["Calling..."],
             "changes": [{"from": 2, "frame": [0, 0, 2, 2], "capture": "fails"}]},
            {"number": 22, "frame": [0, 0, 500, 1], "text": ["00:42"],
             "changes": [{"from": 2, "frame": [0, 0, 300, 200], "capture": "unreadable"},
                         {"from": 6, "capture": null}]},
            {"number": 23, "frame": [0, 0, 50, 50], "text": ["Calling..."], "owningApplication": false}]}]})js");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out, "Initial status: Available\nNotConnected\n");
    EXPECT_EQ(run.err, kMonitoring +
                           statusLine(false, false, "nil") + timing("0.00") +
                           kNoMarkers + statusLine(false, false, "Available") + timing("0.00") +
                           statusLine(false, false, "Available") + timing("0.00") +
                           kNoMarkers + statusLine(false, false, "Available") + timing("0.00"));
    const std::string list = "shareableWindows onScreenOnly";
    const std::string running = "runningApplications us.zoom.xos";
    EXPECT_THAT(run.calls, ElementsAreArray(concat({kStartup,
                                                    {running, list, "sleep 2"},
                                                    {running, list, "capture 21 4x4", "capture 22 600x400", "sleep 2"},
                                                    {running, list, "sleep 2"},
                                                    {running, list, "capture 21 4x4", "capture 22 600x400",
                                                     "recognize 600x400", "sleep 2"}})));
}

TEST(ZoomScan, AnotherApplicationNamedZoomInAnyCapitalsIsReadWhileZoomRuns) {
    // The recorder's window is the smallest listed, so it is read first. Applications whose
    // names do not contain "zoom" (or that have no name) are left out. Once Zoom itself has
    // quit, nothing is listed at all.
    const auto run = runZoom(R"js({
        "sleeps": 2,
        "applications": [
            {"bundleId": "us.zoom.xos", "name": "zoom.us", "pid": 500, "quit": 1,
             "windows": [{"number": 31, "frame": [0, 0, 800, 600], "text": ["Zoom Workplace"]}]},
            {"bundleId": "com.example.recorder", "name": "My ZoOm Recorder", "pid": 600,
             "windows": [{"number": 41, "frame": [0, 0, 200, 100], "text": ["CALLING +1 555 0100"]}]},
            {"bundleId": "com.example.zoo", "name": "Zoo Manager", "pid": 700,
             "windows": [{"number": 51, "frame": [0, 0, 100, 100], "text": ["Calling"]}]},
            {"bundleId": "com.example.unnamed", "pid": 800,
             "windows": [{"number": 61, "frame": [0, 0, 50, 50], "text": ["Calling"]}]}]})js");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out,
              "Status changed from Available to On Call\nisDialing\n"
              "Status changed from On Call to Available\nNotConnected\n");
    EXPECT_EQ(run.err, kMonitoring +
                           "[detectMarkers] \u2705 'Calling' found \u2192 DIALING\n" + kMarkersFound +
                           statusLine(true, false, "nil") + timing("0.00") +
                           statusLine(false, true, "On Call") + timing("0.00"));
    const std::vector<std::string> firstScan{"runningApplications us.zoom.xos", "shareableWindows onScreenOnly",
                                             "capture 41 400x200", "recognize 400x200", "sleep 2"};
    EXPECT_THAT(run.calls, ElementsAreArray(concat({kStartup, firstScan, kZoomNotRunning})));
}

// The scenario of a call already under way when monitoring starts, with screen capture granted
// only when the monitor asks for it.
constexpr std::string_view kCallGrantedOnRequest = R"js({
    "screenCapture": "grantedOnRequest",
    "applications": [{"bundleId": "us.zoom.xos", "name": "zoom.us", "pid": 500,
                      "windows": [{"number": 11, "text": ["Calling..."]}]}]})js";

TEST(ZoomStartup, ScreenCaptureGrantedAtTheRequestThenMonitorsAsAProcess) {
    const test_support::TempFile scenario(kCallGrantedOnRequest);
    const auto result = test_support::runLineWardenProcess(scenario.path(), {"--dialer=zoom"});
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "Status changed from Available to On Call\nisDialing\n");
    EXPECT_EQ(result.err,
              "Error: Screen Recording permission not granted (required for Zoom OCR).\n"
              "Requesting Screen Recording permission...\n" +
                  kMonitoring + "[detectMarkers] \u2705 'Calling' found \u2192 DIALING\n" + kMarkersFound +
                  statusLine(true, false, "nil") + timing("0.00"));

    const auto run = runZoom(kCallGrantedOnRequest);
    EXPECT_THAT(run.calls, ElementsAre("isProcessTrusted", "preflightAccess", "requestAccess", "preflightAccess",
                                       "runningApplications us.zoom.xos", "shareableWindows onScreenOnly",
                                       "capture 11 800x600", "recognize 800x600", "sleep 2"));
}

}  // namespace
