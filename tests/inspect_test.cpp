// linewarden-inspect on the scripted desktop: the whole standard output for each dialer, the
// pictures it writes, and the one line and no pictures when it cannot reach a verdict.

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace {

using test_support::pngSize;
using test_support::TempDirectory;
using Size = std::optional<std::pair<int, int>>;

struct Case {
    const char* name;
    const char* dialer;
    const char* scenario;
    const char* out;
    std::pair<int, int> window;
    std::pair<int, int> region;
};

const Case kCases[] = {
    {"KixieInChromeOnCall", "kixie",
     R"({"applications": [{"bundleId": "com.google.Chrome", "name": "Google Chrome", "pid": 202, "windows": [
          {"number": 4711, "title": "Kixie PowerCall - Agent", "frame": [0, 0, 400, 300],
           "text": [{"text": "On Call", "box": [20, 30, 120, 24], "confidence": 0.97},
                    {"text": "Outbound list", "box": [20, 400, 200, 24]}]}]}]})",
     "window: Chrome, \"Kixie PowerCall - Agent\", number 4711, 800x600 pixels\n"
     "text: \"On Call\" confidence 0.97 box 20,30 120x24\n"
     "rule: 'On Call' in \"On Call\"\n"
     "verdict: call\n",
     {800, 600}, {300, 200}},
    {"RingCentralTimerAmongThreeCandidates", "ringcentral",
     R"({"applications": [{"bundleId": "com.google.Chrome", "name": "Google Chrome", "pid": 202, "windows": [
          {"number": 5150, "title": "RingCentral for Google", "frame": [0, 0, 420, 300],
           "text": [{"candidates": ["Ringing", "Rlnging", "Ringlng", "R1nging"], "box": [20, 20, 100, 24], "confidence": 0.5},
                    {"candidates": ["0:07", "O:07"], "box": [700, 20, 60, 24], "confidence": 0.88},
                    {"text": "Contacts", "box": [20, 300, 100, 24]}]}]}]})",
     "window: Chrome, \"RingCentral for Google\", number 5150, 840x600 pixels\n"
     "text: \"Ringing\" or \"Rlnging\" or \"Ringlng\" confidence 0.50 box 20,20 100x24\n"
     "text: \"0:07\" or \"O:07\" confidence 0.88 box 700,20 60x24\n"
     "rule: a whole timer in \"0:07\"\n"
     "verdict: call\n",
     {840, 600}, {840, 150}},
    {"TrellusIdleDecidesNoCall", "trellus",
     R"({"applications": [{"bundleId": "com.brave.Browser", "name": "Brave Browser", "pid": 101, "windows": [
          {"number": 11, "title": "Trellus", "frame": [0, 0, 400, 300],
           "text": [{"text": "Idle", "box": [650, 20, 80, 30]}, {"text": "Active", "box": [20, 20, 100, 30]}]}]}]})",
     "window: Brave, \"Trellus\", number 11, 800x600 pixels\n"
     "text: \"Idle\" confidence - box 250,20 80x30\n"
     "rule: 'Idle' in \"Idle\"\n"
     "verdict: no call\n",
     {800, 600}, {400, 200}},
    // Smallest first: the home window has no marker, so the meeting window decides.
    {"ZoomMeetingWindowDecides", "zoom",
     R"({"applications": [{"bundleId": "us.zoom.xos", "name": "zoom.us", "pid": 77, "windows": [
          {"number": 31, "title": "Zoom Meeting", "frame": [0, 0, 640, 420],
           "text": [{"text": "Meeting 00:42", "box": [10, 10, 200, 30]}]},
          {"number": 32, "title": "Zoom Workplace", "frame": [0, 0, 200, 100], "text": ["Home"]}]}]})",
     "window: zoom.us, \"Zoom Meeting\", number 31, 1280x840 pixels\n"
     "text: \"Meeting 00:42\" confidence - box 10,10 200x30\n"
     "rule: a timer 'dd:dd' in \"Meeting 00:42\"\n"
     "verdict: call\n",
     {1280, 840}, {1280, 840}},
    {"ZoomWithoutMarkersShowsTheFirstWindow", "zoom",
     R"({"applications": [{"bundleId": "us.zoom.xos", "name": "zoom.us", "pid": 77, "windows": [
          {"number": 31, "title": "Zoom Meeting", "frame": [0, 0, 640, 420], "text": ["Chat"]},
          {"number": 32, "title": "Zoom Workplace", "frame": [0, 0, 200, 100], "text": ["Home"]}]}]})",
     "window: zoom.us, \"Zoom Workplace\", number 32, 400x200 pixels\n"
     "text: \"Home\" confidence - box -\n"
     "rule: no rule matched\n"
     "verdict: no call\n",
     {400, 200}, {400, 200}},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class InspectVerdicts : public testing::TestWithParam<Case> {};

INSTANTIATE_TEST_SUITE_P(Dialers, InspectVerdicts, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

TEST_P(InspectVerdicts, PrintsWhatTheScanSawAndWritesThePictures) {
    const Case& c = GetParam();
    TempDirectory dir;
    const std::string out = dir.path() + "/pictures";
    const auto run = test_support::runInspect(c.scenario, {std::string("--dialer=") + c.dialer, "--out=" + out});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(pngSize(out + "/window.png"), Size(c.window));
    EXPECT_EQ(pngSize(out + "/region.png"), Size(c.region));
    // The scripted recogniser reads the region as it is.
    EXPECT_EQ(pngSize(out + "/recognizer-input.png"), Size(c.region));
}

TEST(Inspect, ZoomStopsAtTheFirstWindowWithMarkersAsTheMonitorDoes) {
    TempDirectory dir;
    const auto run = test_support::runInspect(
        R"({"applications": [{"bundleId": "us.zoom.xos", "name": "zoom.us", "pid": 77, "windows": [
              {"number": 31, "frame": [0, 0, 640, 420], "text": ["Calling..."]},
              {"number": 32, "frame": [0, 0, 200, 100], "text": ["00:42"]}]}]})",
        {"--dialer=zoom", "--out=" + dir.path()});
    std::vector<std::string> captures;
    for (const auto& call : run.calls) {
        if (call.starts_with("capture")) captures.push_back(call);
    }
    EXPECT_EQ(captures, std::vector<std::string>{"capture 32 400x200"});
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"recognizer-input.png", "region.png", "window.png"}));
}

TEST(Inspect, WithoutAVerdictItSaysWhyInOneLineAndWritesNothing) {
    const char* kixieCaptureFails =
        R"({"applications": [{"bundleId": "com.brave.Browser", "name": "Brave Browser", "pid": 101, "windows": [
              {"number": 4711, "title": "Kixie PowerCall", "capture": "fails"}]}]})";
    const struct {
        std::string scenario;
        std::string dialer;
        bool withOut;
        const char* err;
    } failures[] = {
        {"{}", "kixie", false, "linewarden-inspect: usage: linewarden-inspect --dialer=<zoom|kixie|ringcentral|trellus> --out=DIR\n"},
        {"{}", "skype", true, "linewarden-inspect: unknown dialer 'skype': use zoom, kixie, ringcentral or trellus\n"},
        {test_support::scenarioText("no_browsers.json"), "ringcentral", true,
         "linewarden-inspect: no RingCentral for Google window in Brave, Chrome or Edge\n"},
        {test_support::scenarioText("untrusted_with_access_problem.json"), "trellus", true,
         "Error: cannot open display ':99'\n"},
        {R"({"screenCapture": "denied"})", "kixie", true, "linewarden-inspect: screen capture is not allowed\n"},
        {kixieCaptureFails, "kixie", true, "linewarden-inspect: capturing window 4711 failed\n"},
        {"{}", "zoom", true, "linewarden-inspect: Zoom is not running\n"},
    };
    for (const auto& failure : failures) {
        TempDirectory dir;
        std::vector<std::string> args{"--dialer=" + failure.dialer};
        if (failure.withOut) args.push_back("--out=" + dir.path() + "/pictures");
        const auto run = test_support::runInspect(failure.scenario, args);
        EXPECT_EQ(run.exitStatus, 1) << failure.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, failure.err);
        EXPECT_TRUE(dir.entries().empty()) << failure.err;
    }
}

}  // namespace
