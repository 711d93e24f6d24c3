// The RingCentral monitor on the scripted desktop: the traced window-number search, the silent
// pipeline with its robust listing, and the debounced status machine over a whole run.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "browser_scenarios.h"
#include "linewarden/monitors/RingCentralMonitor.h"
#include "support/TestSupport.h"

namespace {

using namespace browser_test;

// The robust listing and the timer detector's lines for one recognised text.
std::string ringCentralReading(const std::vector<std::string>& lines, std::string_view verdictLine) {
    if (lines.empty()) {
        return "[OCR] Accurate recognition: No text detected\n[OCR] No text detected to check for timer\n";
    }
    std::string listing;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        listing += "[OCR]   [" + std::to_string(i + 1) + "] \"" + lines[i] + "\"\n";
    }
    const std::string count = std::to_string(lines.size());
    return "[OCR] Accurate recognition detected " + count + " text elements:\n" + listing + "[OCR] Checking " +
           count + " text elements for timer pattern:\n" + listing + std::string(verdictLine);
}

const std::string kNoTimer = "[OCR] \u274C No timer pattern found in detected text\n";
std::string exactTimer(std::string_view element) {
    return "[OCR] \u2705 Timer found (exact match): \"" + std::string(element) + "\" \u2192 IN CALL\n";
}
std::string flexibleTimer(std::string_view element) {
    return "[OCR] \u2705 Timer found (flexible match): \"" + std::string(element) + "\" \u2192 IN CALL\n";
}

TEST(RingCentralRun, FoundInEdgeWithATracedSearchThenTwoSightingsStartAndThreeMissesEndTheCall) {
    // Brave is not running; Chrome's tab says "RingCentral" but not "RingCentral for Google".
    // In front of the browsers' windows the list holds a Finder window carrying the exact title
    // (not a browser: never traced, never matched) and a Chrome entry without name or number.
    // The tab shows a clock below the 150-pixel band, which must not count as a timer.
    const auto run = test_support::runLineWarden(R"({
        "sleeps": 6,
        "extraWindowListEntries": [
          {"ownerName": "Finder", "windowName": "RingCentral for Google - Phone", "windowNumber": 5, "inFront": true},
          {"ownerName": "Google Chrome", "inFront": true}],
        "applications": [
          {"bundleId": "com.google.Chrome", "name": "Google Chrome", "pid": 202,
           "windows": [{"number": 21, "title": "RingCentral - Inbox"}]},
          {"bundleId": "com.microsoft.edgemac", "name": "Microsoft Edge", "pid": 303,
           "windows": [
             {"number": 76, "title": "Mail"},
             {"number": 77, "title": "RingCentral for Google - Phone",
              "text": [{"text": "Phone", "box": [20, 20, 100, 30]}, {"text": "12:00", "box": [20, 400, 100, 30]}],
              "changes": [
                {"from": 3, "text": [{"candidates": ["0:07", "O:07", "0:O7"], "box": [300, 40, 80, 30]}]},
                {"from": 6, "text": [{"candidates": ["Call 0:08"], "box": [300, 40, 80, 30]}]},
                {"from": 9, "text": [{"text": "Phone", "box": [20, 20, 100, 30]}]},
                {"from": 12, "capture": "fails"},
                {"from": 15, "capture": null, "text": []}]}]}]})",
                                                 {"--dialer=ringcentral"});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out,
              "Initial status: Available\nNotConnected\n"
              "Status changed to Dialing (Timer detected via OCR)\nisDialing\n"
              "Status changed to Available (Timer absent)\nNotConnected\n");
    EXPECT_EQ(run.err,
              "Checking Brave browser...\n" + notRunning("com.brave.Browser") +
                  "Checking Chrome browser...\n"
                  "No window with RingCentral-related title found in com.google.Chrome\n"
                  "Looked for titles containing: RingCentral for Google\n"
                  "Checking Edge browser...\n"
                  "Found RingCentral window: RingCentral for Google - Phone\n"
                  "[getWindowID] Looking for window with title: RingCentral for Google - Phone\n"
                  "[getWindowID] Checking 5 windows...\n"
                  "[getWindowID] Browser window: ID=0, Title=\"(no title)\"\n"
                  "[getWindowID] Browser window: ID=21, Title=\"RingCentral - Inbox\"\n"
                  "[getWindowID] Browser window: ID=76, Title=\"Mail\"\n"
                  "[getWindowID] Browser window: ID=77, Title=\"RingCentral for Google - Phone\"\n"
                  "[getWindowID] \u2705 Exact match found!\n"
                  "Got window ID: 77\n"
                  "Monitoring RingCentral status...\n" +
                  // scan 1: no timer; scans 2 and 3: a timer (three readings, then a flexible one)
                  ringCentralReading({"Phone"}, kNoTimer) + timing("0.00") +
                  ringCentralReading({"0:07", "O:07", "0:O7"}, exactTimer("0:07")) + timing("0.00") +
                  ringCentralReading({"Call 0:08"}, flexibleTimer("Call 0:08")) + timing("0.00") +
                  // scans 4 to 6: misses; the failed capture of scan 5 is silent
                  ringCentralReading({"Phone"}, kNoTimer) + timing("0.00") + timing("0.00") +
                  ringCentralReading({}, "") + timing("0.00"));
    EXPECT_EQ(std::count(run.calls.begin(), run.calls.end(), "recognize 800x150"), 5);
}

TEST(RingCentralScan, AnUnresolvedNumberStopsTheScanWithoutPipelineOutput) {
    // The window list calls the tab "Untitled" at first, then a name that holds the partial key.
    Desk desk(R"json({
        "applications": [{"bundleId": "com.google.Chrome", "name": "Google Chrome", "pid": 7, "quit": 9,
          "windows": [{"number": 40, "title": "RingCentral for Google", "listName": "Untitled",
                       "text": [{"candidates": ["1:02:33", "1:02:38"]}],
                       "changes": [{"from": 3, "listName": "RingCentral for Google (2)"}]}]}]})json");
    linewarden::RingCentralMonitor monitor(desk.platform(), "com.google.Chrome");
    const std::string unresolvedTrace =
        "[getWindowID] Looking for window with title: RingCentral for Google\n"
        "[getWindowID] Checking 1 windows...\n"
        "[getWindowID] Browser window: ID=40, Title=\"Untitled\"\n"
        "[getWindowID] No exact match, trying partial...\n"
        "[getWindowID] \u274C No matching window found\n";

    EXPECT_FALSE(monitor.scanElements(true));
    EXPECT_EQ(desk.take(), streams("", "Found RingCentral window: RingCentral for Google\n" + unresolvedTrace));
    EXPECT_FALSE(monitor.scanElements(false));
    EXPECT_EQ(desk.take(), streams("", unresolvedTrace + kNoWindowNumber));
    EXPECT_EQ(desk.count("setAttribute AXMain window:40 true"), 2);

    // Resolved by the partial pass; the scan goes on into the silent pipeline. One sighting
    // starts no call and, from the start state, writes nothing on standard output.
    desk.pause(3);
    EXPECT_TRUE(monitor.scanElements(false));
    EXPECT_EQ(desk.take(), streams("", "[getWindowID] Looking for window with title: RingCentral for Google\n"
                                       "[getWindowID] Checking 1 windows...\n"
                                       "[getWindowID] Browser window: ID=40, Title=\"RingCentral for Google (2)\"\n"
                                       "[getWindowID] No exact match, trying partial...\n"
                                       "[getWindowID] \u2705 Partial match found: RingCentral for Google (2)\n" +
                                           ringCentralReading({"1:02:33", "1:02:38"}, exactTimer("1:02:33"))));
    const auto& settings = desk.desktop.lastRecognitionSettings();
    ASSERT_TRUE(settings.has_value());
    EXPECT_EQ(settings->level, platform::RecognitionLevel::accurate);
    EXPECT_EQ(settings->maximumCandidates, 3);

    // Chrome quits: a new search fails on the held reference and keeps what was found before;
    // the scan still hands the old number to the pipeline, which fails silently (a miss), and
    // lets the window go.
    desk.pause(6);
    EXPECT_FALSE(monitor.findRingCentralWindow());
    EXPECT_EQ(desk.take(), streams("", "No windows found for com.google.Chrome\n"));
    EXPECT_EQ(monitor.windowID(), std::optional<platform::WindowNumber>(40));
    EXPECT_EQ(monitor.windowTitle(), std::optional<std::string>("RingCentral for Google"));
    EXPECT_TRUE(monitor.scanElements(false));
    EXPECT_EQ(desk.take(), streams("Initial status: Available\nNotConnected\n", windowGone("40")));
}

}  // namespace
