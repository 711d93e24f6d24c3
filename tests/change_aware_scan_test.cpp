// Scans that reuse what they read of an unchanged window: on a desktop that tracks changes
// ("tracksChanges"), whole runs must print exactly what plain scans print, while unchanged
// windows are neither captured nor recognised again.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/TestSupport.h"

namespace {

using test_support::Transcript;

// Captures and recognitions take no virtual time here, so that sparing them moves no scan.
Transcript run(const std::string& scenario, const std::string& dialer, bool tracksChanges) {
    auto document = nlohmann::json::parse(scenario);
    document["tracksChanges"] = tracksChanges;
    if (document.contains("durations")) {
        document["durations"].erase("capture");
        document["durations"].erase("recognize");
    }
    return test_support::runLineWarden(document.dump(), {"--dialer=" + dialer});
}

long count(const Transcript& transcript, const std::string& prefix) {
    return std::count_if(transcript.calls.begin(), transcript.calls.end(),
                         [&](const std::string& call) { return call.starts_with(prefix); });
}

struct Case {
    const char* name;
    std::string dialer;
    std::string scenario;
};

// Kixie: the corner stays, text below it changes (captured, not recognised), then the call.
const Case kKixie{"Kixie", "kixie", R"js({"sleeps": 6,
    "applications": [{"bundleId": "com.brave.Browser", "name": "Brave Browser", "pid": 101, "windows": [
      {"number": 4711, "title": "Kixie PowerCall",
       "text": [{"text": "Available", "box": [20, 20, 160, 30]}, {"text": "Queue 3", "box": [20, 400, 160, 30]}],
       "changes": [{"from": 4, "text": [{"text": "Available", "box": [20, 20, 160, 30]},
                                        {"text": "Queue 4", "box": [20, 400, 160, 30]}]},
                   {"from": 10, "text": [{"text": "On Call", "box": [20, 20, 160, 30]}]},
                   {"from": 16, "capture": "unreadable"}]}]}]})js"};

// RingCentral: the accurate listing is written for reused text too.
const Case kRingCentral{"RingCentral", "ringcentral", R"js({"sleeps": 7,
    "applications": [{"bundleId": "com.brave.Browser", "name": "Brave Browser", "pid": 101, "windows": [
      {"number": 77, "title": "RingCentral for Google", "text": [{"candidates": ["Phone", "Ph0ne"]}],
       "changes": [{"from": 5, "text": [{"candidates": ["0:07", "O:07", "0:O7"]}]},
                   {"from": 14, "capture": "fails"}, {"from": 17, "capture": null}]}]}]})js"};

// Zoom: one memory per window; a window that closes is forgotten, markers move between windows.
const Case kZoom{"Zoom", "zoom", R"js({"sleeps": 6,
    "applications": [{"bundleId": "us.zoom.xos", "name": "zoom.us", "pid": 500, "windows": [
      {"number": 11, "frame": [0, 0, 800, 600], "text": ["Participants (3)"],
       "changes": [{"from": 5, "text": ["Participants (3)", "00:42"]}, {"from": 9, "text": ["Participants (3)"]}]},
      {"number": 12, "frame": [40, 40, 300, 100], "text": ["Zoom Workplace"], "close": 7}]}]})js"};

class ChangeAwareRuns : public testing::TestWithParam<Case> {};

INSTANTIATE_TEST_SUITE_P(Dialers, ChangeAwareRuns, testing::Values(kKixie, kRingCentral, kZoom),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

TEST_P(ChangeAwareRuns, PrintEverythingAPlainRunPrintsWithFewerRecognitions) {
    const Transcript plain = run(GetParam().scenario, GetParam().dialer, false);
    const Transcript aware = run(GetParam().scenario, GetParam().dialer, true);
    EXPECT_EQ(aware.exitStatus, plain.exitStatus);
    EXPECT_EQ(aware.out, plain.out);
    EXPECT_EQ(aware.err, plain.err);
    EXPECT_LT(count(aware, "recognize"), count(plain, "recognize"));
    EXPECT_LT(count(aware, "capture"), count(plain, "capture"));
}

TEST(ChangeAwareRun, TheWidthGuardRunPrintsThePlainTranscript) {
    const std::string scenario = test_support::scenarioText("browser_trellus.json");
    const Transcript plain = run(scenario, "trellus", false);
    const Transcript aware = run(scenario, "trellus", true);
    EXPECT_EQ(aware.out, plain.out);
    EXPECT_EQ(aware.err, plain.err);
    EXPECT_EQ(count(aware, "recognize"), 3);   // the last scan saw the window unchanged
}

TEST(ChangeAwareRun, AnUnchangedWindowIsCapturedAndRecognisedOnce) {
    // Scans at 0, 3, 6, 9, 12: unchanged until the window moves at 5 (a new capture of the same
    // pixels, not recognised), then unchanged again; the text changes at 11.
    const Transcript aware = run(R"js({"sleeps": 5,
        "applications": [{"bundleId": "com.brave.Browser", "name": "Brave Browser", "pid": 101, "windows": [
          {"number": 4711, "title": "Kixie PowerCall", "text": [{"text": "Available", "box": [20, 20, 160, 30]}],
           "changes": [{"from": 5, "frame": [50, 50, 400, 300]},
                       {"from": 11, "text": [{"text": "On Call", "box": [20, 20, 160, 30]}]}]}]}]})js",
                                 "kixie", true);
    EXPECT_EQ(aware.out, "Initial status: Available\nNotConnected\nStatus changed from Available to On Call\nisDialing\n");
    EXPECT_EQ(count(aware, "capture"), 3);
    EXPECT_EQ(count(aware, "recognize"), 2);
}

TEST(ChangeAwareRun, AFailedRecognitionIsAskedAgain) {
    const Transcript aware = run(R"js({"sleeps": 3, "recognitionFails": true, "changes": [{"from": 5, "recognitionFails": false}],
        "applications": [{"bundleId": "com.brave.Browser", "name": "Brave Browser", "pid": 101, "windows": [
          {"number": 4711, "title": "Kixie PowerCall", "text": ["On Call"]}]}]})js",
                                 "kixie", true);
    EXPECT_EQ(aware.out, "Initial status: Available\nNotConnected\nStatus changed from Available to On Call\nisDialing\n");
    EXPECT_EQ(count(aware, "recognize"), 3);   // two failures, then one reading that is kept
}

}  // namespace
