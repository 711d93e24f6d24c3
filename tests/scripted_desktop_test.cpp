// The scripted desktop itself: what a scenario makes each platform call answer, and when.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "linewarden/text/UnicodeText.h"
#include "linewarden/window/AccessibilityHelper.h"
#include "platform/ScriptedDesktop.h"
#include "support/TestSupport.h"

namespace {

using namespace std::chrono_literals;
using platform::AXOtherValue;
using platform::PixelRect;
using platform::Scenario;
using platform::TextObservation;
using platform::WindowListEntry;
using platform::WindowNumber;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string loadError(std::string_view json) {
    std::string error;
    EXPECT_FALSE(Scenario::fromJson(json, error).has_value()) << json;
    return error;
}

struct Desk {
    explicit Desk(std::string_view json) : desktop(test_support::loadScenario(json), console) {}
    platform::Platform& p() { return desktop.platform(); }
    platform::RecordingConsole console;
    platform::ScriptedDesktop desktop;
};

std::vector<std::string> bundleIds(const std::vector<platform::RunningApplication>& apps) {
    std::vector<std::string> ids;
    for (const auto& app : apps) ids.push_back(app.bundleId + ":" + std::to_string(app.processId));
    return ids;
}

std::string describe(const WindowListEntry& entry) {
    return entry.ownerName.value_or("-") + "|" + entry.windowName.value_or("-") + "|" +
           (entry.windowNumber ? std::to_string(*entry.windowNumber) : "-");
}

std::vector<std::string> describe(const std::optional<std::vector<WindowListEntry>>& list) {
    std::vector<std::string> lines;
    if (!list) return {"no list"};
    for (const auto& entry : *list) lines.push_back(describe(entry));
    return lines;
}

std::vector<std::string> bestCandidates(const platform::RecognitionOutcome& outcome) {
    std::vector<std::string> lines;
    for (const auto& observation : outcome.observations) {
        std::string line;
        for (const auto& candidate : observation.candidates) line += (line.empty() ? "" : "/") + candidate;
        lines.push_back(line.empty() ? "(none)" : line);
    }
    return lines;
}

TEST(ScenarioLoading, RejectsMistakesAndNamesWhereTheyAre) {
    EXPECT_EQ(loadError(R"({"applications": [{"bundleId": "a", "pid": 1, "windows": [{"titel": "x"}]}]})"),
              "applications[0].windows[0]: unknown key 'titel'");
    EXPECT_THAT(loadError(R"({"screenCapture": "maybe"})"), HasSubstr("screenCapture"));
    EXPECT_THAT(loadError(R"({"applications": [{"bundleId": "a"}]})"), HasSubstr("needs a positive 'pid'"));
    EXPECT_THAT(loadError(R"({"changes": [{"windowListFails": true}]})"), HasSubstr("changes[0]: a change needs 'from'"));
    EXPECT_THAT(loadError(R"({"changes": [{"from": 1, "clockStart": 3}]})"), HasSubstr("unknown key 'clockStart'"));
    EXPECT_THAT(loadError(R"({"durations": {"capture": -1}})"), HasSubstr("durations.capture"));
    EXPECT_THAT(loadError(R"({"durations": {"screenshot": 1}})"), HasSubstr("unknown key 'screenshot'"));
    EXPECT_THAT(loadError(R"({"applications": [{"bundleId": "a", "pid": 1, "windows": [{"text": [{"box": [1, 2, 3, 4]}]}]}]})"),
                HasSubstr("applications[0].windows[0].text[0]"));
    EXPECT_THAT(loadError("{"), HasSubstr("not valid scenario JSON"));

    std::string error;
    EXPECT_FALSE(Scenario::fromFile("/nonexistent/scenario.json", error));
    EXPECT_THAT(error, HasSubstr("/nonexistent/scenario.json"));
}

TEST(ScriptedClock, StartsAtTheScenarioTimeAndAdvancesOnlyBySleepsAndCallDurations) {
    Desk desk(R"({"clockStart": 500.0, "sleeps": 2, "durations": {"runningApplications": 0.25}})");
    auto& clock = desk.p().clock;
    EXPECT_EQ(clock.now(), 500.0);
    EXPECT_EQ(clock.now(), 500.0);
    EXPECT_FALSE(clock.windingDown());
    EXPECT_TRUE(clock.sleepFor(3s));
    EXPECT_EQ(clock.now(), 503.0);
    desk.p().workspace.runningApplications();
    EXPECT_EQ(clock.now(), 503.25);
    EXPECT_FALSE(clock.windingDown());
    EXPECT_TRUE(clock.sleepFor(2s));
    EXPECT_TRUE(clock.windingDown());
    EXPECT_EQ(desk.desktop.sleeps(), 2);
    EXPECT_THAT(desk.desktop.calls(), ElementsAre("sleep 3", "runningApplications", "sleep 2"));
}

TEST(ScriptedClock, WindsDownAtRunForOrAfterOnePauseByDefault) {
    Desk timed(R"({"runFor": 9})");
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(timed.p().clock.windingDown());
        timed.p().clock.sleepFor(3s);
    }
    EXPECT_FALSE(timed.p().clock.windingDown());
    timed.p().clock.sleepFor(3s);
    EXPECT_TRUE(timed.p().clock.windingDown());

    Desk byDefault("{}");
    EXPECT_FALSE(byDefault.p().clock.windingDown());
    byDefault.p().clock.sleepFor(2s);
    EXPECT_TRUE(byDefault.p().clock.windingDown());

    Desk immediately(R"({"sleeps": 0})");
    EXPECT_TRUE(immediately.p().clock.windingDown());

    Desk realTime(R"({"realTime": true, "sleeps": 0})");
    EXPECT_TRUE(realTime.p().clock.sleepFor(1ms));
    EXPECT_FALSE(realTime.p().clock.windingDown());
}

TEST(ScriptedClock, CallDurationsAreExactAndTheAnswerIsTheStateWhenTheCallBegan) {
    Desk desk(R"({
        "durations": {"AXWindows": 0.25},
        "changes": [{"from": 6, "durations": {"AXWindows": null, "capture": 0.25}}],
        "applications": [{"bundleId": "com.google.Chrome", "pid": 101, "quit": 0.125,
                          "windows": [{"number": 7, "title": "Kixie PowerCall"}]}]})");
    auto& p = desk.p();
    const auto app = p.accessibility.createApplication(101);
    const double start = p.clock.now();
    const auto answer = p.accessibility.copyAttribute(app, "AXWindows");
    EXPECT_EQ(p.clock.now() - start, 0.25);
    EXPECT_TRUE(answer.ok()) << "the application still ran when the call began";
    EXPECT_EQ(p.accessibility.copyAttribute(app, "AXWindows").code, platform::kAXErrorCannotComplete);

    p.clock.sleepFor(6s);
    const double before = p.clock.now();
    p.accessibility.copyAttribute(app, "AXWindows");
    EXPECT_EQ(p.clock.now(), before) << "the change set the AXWindows duration back to none";
    p.screenCapture.captureWindow({7, {0, 0, 400, 300}, std::nullopt}, 800, 600);
    EXPECT_EQ((p.clock.now() - before) * 1000.0, 250.0);
}

TEST(ScriptedClock, ASlowWindowListAnswerTripsTheHealthProbe) {
    Desk desk(R"({"durations": {"AXWindows": 0.25},
                  "applications": [{"bundleId": "com.google.Chrome", "pid": 101}]})");
    const auto app = desk.p().accessibility.createApplication(101);
    EXPECT_FALSE(linewarden::AccessibilityHelper::checkAccessibilityHealth(desk.p(), app));
    EXPECT_EQ(desk.console.standardError(), "DEBUG: Slow accessibility API response: 0.25s\n");
}

TEST(ScriptedApplications, RunBetweenStartAndQuitInScenarioOrder) {
    Desk desk(R"({"runFor": 100, "applications": [
        {"bundleId": "com.google.Chrome", "name": "Google Chrome", "pid": 101, "quit": 10},
        {"bundleId": "com.brave.Browser", "pid": 202, "start": 5},
        {"bundleId": "com.google.Chrome", "name": "Google Chrome", "pid": 103}]})");
    auto& p = desk.p();
    EXPECT_THAT(bundleIds(p.workspace.runningApplications()),
                ElementsAre("com.google.Chrome:101", "com.google.Chrome:103"));
    EXPECT_THAT(bundleIds(p.workspace.runningApplications("com.brave.Browser")), ElementsAre());

    p.clock.sleepFor(5s);
    const auto all = p.workspace.runningApplications();
    EXPECT_THAT(bundleIds(all), ElementsAre("com.google.Chrome:101", "com.brave.Browser:202", "com.google.Chrome:103"));
    EXPECT_EQ(all[0].localizedName, "Google Chrome");
    EXPECT_EQ(all[1].localizedName, std::nullopt);
    EXPECT_THAT(bundleIds(p.workspace.runningApplications("com.google.Chrome")),
                ElementsAre("com.google.Chrome:101", "com.google.Chrome:103"));

    const auto quitting = p.accessibility.createApplication(101);
    EXPECT_TRUE(p.accessibility.copyAttribute(quitting, "AXWindows").ok());
    p.clock.sleepFor(5s);
    EXPECT_THAT(bundleIds(p.workspace.runningApplications("com.google.Chrome")), ElementsAre("com.google.Chrome:103"));
    EXPECT_EQ(p.accessibility.copyAttribute(quitting, "AXWindows").code, platform::kAXErrorCannotComplete);
    EXPECT_EQ(p.accessibility.copyAttribute(p.accessibility.createApplication(999), "AXWindows").code,
              platform::kAXErrorCannotComplete);
}

TEST(ScriptedAccessibility, TitlesAnswerAsTheScenarioSaysAndChangeOverTime) {
    Desk desk(R"({"runFor": 100, "applications": [{"bundleId": "b", "name": "Brave Browser", "pid": 7, "windows": [
        {"number": 1, "title": "Kixie PowerCall - Brave", "changes": [{"from": 9, "title": "Inbox"}]},
        {"number": 2, "title": 42},
        {"number": 3},
        {"number": 4, "title": "Stale", "titleError": -25204},
        {"number": "abc", "title": "Later", "open": 3, "close": 12}]}]})");
    auto& ax = desk.p().accessibility;
    const auto app = ax.createApplication(7);
    const auto windows = ax.copyAttribute(app, "AXWindows");
    ASSERT_TRUE(windows.elements());
    ASSERT_EQ(windows.elements()->size(), 4u) << "the last window opens at 3";
    const auto title = [&](const platform::AXElementRef& window) { return ax.copyAttribute(window, "AXTitle"); };

    EXPECT_EQ(title((*windows.elements())[0]).value, platform::AXValue(std::string("Kixie PowerCall - Brave")));
    EXPECT_TRUE(title((*windows.elements())[1]).ok());
    EXPECT_EQ(title((*windows.elements())[1]).value, platform::AXValue(AXOtherValue{"42"}));
    EXPECT_EQ(title((*windows.elements())[2]).code, platform::kAXErrorNoValue);
    const auto stale = title((*windows.elements())[3]);
    EXPECT_EQ(stale.code, platform::kAXErrorCannotComplete);
    EXPECT_EQ(stale.value, platform::AXValue(std::string("Stale")));
    EXPECT_EQ(ax.copyAttribute(app, "AXTitle").value, platform::AXValue(std::string("Brave Browser")));

    desk.p().clock.sleepFor(9s);
    const auto later = ax.copyAttribute(app, "AXWindows");
    ASSERT_EQ(later.elements()->size(), 5u);
    EXPECT_EQ(title((*windows.elements())[0]).value, platform::AXValue(std::string("Inbox")));
    const auto closing = (*later.elements())[4];
    EXPECT_EQ(title(closing).value, platform::AXValue(std::string("Later")));
    desk.p().clock.sleepFor(3s);
    EXPECT_EQ(title(closing).code, platform::kAXErrorCannotComplete) << "a closed window stops answering";
    EXPECT_EQ(ax.copyAttribute(app, "AXWindows").elements()->size(), 4u);

    EXPECT_THAT(desk.desktop.calls(),
                testing::Contains("copyAttribute AXTitle window:1"));
    EXPECT_THAT(desk.desktop.calls(), testing::Contains("copyAttribute AXTitle window:7#5"));
}

TEST(ScriptedAccessibility, InjectedFailures) {
    Desk desk(R"({"runFor": 100, "applications": [
        {"bundleId": "b", "pid": 7, "windowsError": -25204,
         "changes": [{"from": 3, "windowsError": null, "windowsNotAList": true}, {"from": 6, "windowsNotAList": false}],
         "windows": [{"number": 1, "title": "T", "mainError": -25200}, {"number": 2, "title": "U"}]}]})");
    auto& p = desk.p();
    const auto app = p.accessibility.createApplication(7);
    const auto failed = p.accessibility.copyAttribute(app, "AXWindows");
    EXPECT_EQ(failed.code, -25204);
    EXPECT_EQ(failed.value, platform::AXValue());
    p.clock.sleepFor(3s);
    const auto notAList = p.accessibility.copyAttribute(app, "AXWindows");
    EXPECT_TRUE(notAList.ok());
    EXPECT_EQ(notAList.elements(), nullptr);
    p.clock.sleepFor(3s);
    const auto windows = p.accessibility.copyAttribute(app, "AXWindows");
    ASSERT_TRUE(windows.elements());
    EXPECT_EQ(p.accessibility.setAttribute((*windows.elements())[0], "AXMain", true), -25200);
    EXPECT_EQ(p.accessibility.setAttribute((*windows.elements())[1], "AXMain", true), platform::kAXErrorSuccess);
    EXPECT_EQ(desk.desktop.calls().back(), "setAttribute AXMain window:2 true");
}

TEST(ScriptedAccessibility, AnUntrustedProcessGetsNoAnswers) {
    Desk desk(R"({"accessibilityTrusted": false,
                  "applications": [{"bundleId": "b", "pid": 7, "windows": [{"number": 1, "title": "T"}]}]})");
    auto& ax = desk.p().accessibility;
    EXPECT_FALSE(ax.isProcessTrusted());
    const auto answer = ax.copyAttribute(ax.createApplication(7), "AXWindows");
    EXPECT_FALSE(answer.ok());
    EXPECT_EQ(answer.elements(), nullptr);
}

TEST(ScriptedWindowList, DerivesEntriesFromOnScreenWindowsAndDropsIllTypedValues) {
    Desk desk(R"({"runFor": 100,
        "extraWindowListEntries": [
            {"ownerName": "Dock", "windowName": "Kixie PowerCall", "windowNumber": 9, "inFront": true},
            {"ownerName": 5, "windowName": ["x"], "windowNumber": "12"},
            {"windowNumber": 4294967295}],
        "changes": [{"from": 3, "windowListFails": true}, {"from": 6, "windowListFails": false}],
        "applications": [
            {"bundleId": "c", "name": "Google Chrome", "pid": 1, "windows": [
                {"number": 10, "title": "Kixie PowerCall"},
                {"number": -1, "title": "minus one"},
                {"number": 1.5, "title": 7},
                {"number": "abc", "title": "text number"},
                {"number": 4294967296, "title": "too big", "listName": "Listed"},
                {"number": 11, "title": "hidden", "onScreen": false},
                {"title": "no number", "listName": false}]},
            {"bundleId": "e", "pid": 2, "quit": 6, "windows": [{"number": 20, "title": "Edge window"}]}]})");
    auto& list = desk.p().windowList;
    EXPECT_THAT(describe(list.onScreenWindows()),
                ElementsAre("Dock|Kixie PowerCall|9", "Google Chrome|Kixie PowerCall|10", "Google Chrome|minus one|-",
                            "Google Chrome|-|-", "Google Chrome|text number|-", "Google Chrome|Listed|-",
                            "Google Chrome|-|-", "-|Edge window|20", "-|-|-", "-|-|4294967295"));
    desk.p().clock.sleepFor(3s);
    EXPECT_THAT(describe(list.onScreenWindows()), ElementsAre("no list"));
    desk.p().clock.sleepFor(3s);
    const auto afterQuit = list.onScreenWindows();
    ASSERT_TRUE(afterQuit);
    EXPECT_EQ(afterQuit->size(), 9u) << "the quit application's window is gone";
}

TEST(ScriptedShareableWindows, FollowRunningOnScreenWindowsWithExactNumbers) {
    Desk desk(R"({"runFor": 100, "changes": [{"from": 3, "shareableWindowsFail": true}],
        "applications": [
            {"bundleId": "us.zoom.xos", "name": "zoom.us", "pid": 1, "windows": [
                {"number": 10, "frame": [0, 0, 800, 600]},
                {"number": 11, "frame": [5, 5, 300, 100], "owningApplication": false},
                {"number": 12, "onScreen": false},
                {"number": -3}]},
            {"bundleId": "x.y", "pid": 2, "windows": [{"number": 20}]}]})");
    auto& capture = desk.p().screenCapture;
    const auto windows = capture.shareableWindows(false, true);
    ASSERT_TRUE(windows);
    ASSERT_EQ(windows->size(), 3u);
    EXPECT_EQ((*windows)[0].windowID, 10u);
    EXPECT_EQ((*windows)[0].frame.width, 800);
    ASSERT_TRUE((*windows)[0].owningApplication);
    EXPECT_EQ((*windows)[0].owningApplication->bundleId, "us.zoom.xos");
    EXPECT_EQ((*windows)[0].owningApplication->applicationName, "zoom.us");
    EXPECT_EQ((*windows)[1].windowID, 11u);
    EXPECT_EQ((*windows)[1].frame.x, 5);
    EXPECT_FALSE((*windows)[1].owningApplication);
    EXPECT_EQ((*windows)[2].owningApplication->applicationName, "") << "an application without a name";

    EXPECT_EQ(capture.shareableWindows(false, false)->size(), 4u) << "off-screen windows when asked for";
    desk.p().clock.sleepFor(3s);
    EXPECT_FALSE(capture.shareableWindows(false, true));
    EXPECT_EQ(desk.desktop.calls().front(), "shareableWindows onScreenOnly");
}

TEST(ScriptedCapture, DeliversWhatTheWindowShowsAtTheRequestedSizeUnlessOverridden) {
    Desk desk(R"({"runFor": 100, "applications": [{"bundleId": "b", "pid": 1, "windows": [
        {"number": 1, "text": ["Available"], "changes": [
            {"from": 3, "text": ["On Call"], "captureSize": [300, 600]},
            {"from": 6, "capture": "unreadable"},
            {"from": 9, "capture": "fails"}]},
        {"number": 2, "onScreen": false},
        {"number": 3, "close": 3}]}]})");
    auto& capture = desk.p().screenCapture;
    const auto shoot = [&](WindowNumber number) { return capture.captureWindow({number, {}, std::nullopt}, 800, 600); };

    auto image = shoot(1);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), 800);
    EXPECT_EQ(image->height(), 600);
    EXPECT_EQ(image->text(), (std::vector<TextObservation>{{{"Available"}, std::nullopt, std::nullopt}}));
    EXPECT_FALSE(shoot(2)) << "off screen";
    EXPECT_TRUE(shoot(3));
    EXPECT_FALSE(shoot(99)) << "no such window";

    desk.p().clock.sleepFor(3s);
    image = shoot(1);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), 300);
    EXPECT_EQ(image->text()[0].candidates[0], "On Call");
    EXPECT_FALSE(shoot(3)) << "closed";

    desk.p().clock.sleepFor(3s);
    image = shoot(1);
    ASSERT_TRUE(image);
    EXPECT_FALSE(image->readable());
    EXPECT_EQ(image->width(), 300);
    desk.p().clock.sleepFor(3s);
    EXPECT_FALSE(shoot(1));
    EXPECT_EQ(desk.desktop.calls().back(), "capture 1 800x600");
}

// A desktop that cannot take a region alone takes the whole window and crops it: the region is
// chosen for the size delivered, and the capture's size is reported with it.
TEST(ScriptedCapture, TakesARegionAsTheCropOfAWholeCapture) {
    Desk desk(R"({"runFor": 100, "applications": [{"bundleId": "b", "pid": 1, "windows": [
        {"number": 1, "text": [{"text": "On Call", "box": [20, 30, 120, 24]}, {"text": "Queue", "box": [20, 400, 90, 24]}],
         "captureSize": [250, 500], "changes": [{"from": 3, "capture": "unreadable"}]}]}]})");
    auto& capture = desk.p().screenCapture;
    const auto topLeft = [](int width, int height) { return PixelRect{0, 0, std::min(width, 300), std::min(height, 200)}; };
    auto region = capture.captureWindowRegion({1, {}, std::nullopt}, 800, 600, topLeft);
    ASSERT_TRUE(region && region->pixels);
    EXPECT_EQ(std::pair(region->width, region->height), std::pair(250, 500));
    EXPECT_EQ(region->region, (PixelRect{0, 0, 250, 200}));
    EXPECT_EQ(region->pixels->text(), (std::vector<TextObservation>{{{"On Call"}, PixelRect{20, 30, 120, 24}, std::nullopt}}));
    EXPECT_EQ(desk.desktop.calls().back(), "capture 1 800x600");
    EXPECT_FALSE(capture.captureWindowRegion({2, {}, std::nullopt}, 800, 600, topLeft)) << "no such window";

    desk.p().clock.sleepFor(3s);
    region = capture.captureWindowRegion({1, {}, std::nullopt}, 800, 600, topLeft);
    ASSERT_TRUE(region);
    EXPECT_FALSE(region->readable);
    EXPECT_FALSE(region->pixels);
}

TEST(ScriptedRecognition, ReadsWhatACropKeepsAndCutsCandidates) {
    Desk desk(R"({"runFor": 100, "changes": [{"from": 3, "recognitionFails": true}],
        "applications": [{"bundleId": "b", "pid": 1, "windows": [{"number": 1, "text": [
            {"text": "On Call", "box": [20, 30, 120, 24]},
            {"candidates": ["00:42", "0O:42", "00:4Z", "OO:42"], "box": [600, 40, 80, 24]},
            {"candidates": []},
            "Anywhere"]}]}]})");
    auto& p = desk.p();
    const auto image = p.screenCapture.captureWindow({1, {}, std::nullopt}, 800, 600);
    ASSERT_TRUE(image);

    platform::RecognitionSettings one;
    platform::RecognitionSettings three;
    three.maximumCandidates = 3;
    three.customWords = {"RingCentral"};
    EXPECT_THAT(bestCandidates(p.textRecognizer.recognize(*image, one)),
                ElementsAre("On Call", "00:42", "(none)", "Anywhere"));
    EXPECT_THAT(bestCandidates(p.textRecognizer.recognize(*image, three)),
                ElementsAre("On Call", "00:42/0O:42/00:4Z", "(none)", "Anywhere"));
    ASSERT_TRUE(desk.desktop.lastRecognitionSettings());
    EXPECT_EQ(desk.desktop.lastRecognitionSettings()->customWords, std::vector<std::string>{"RingCentral"});

    const auto topLeft = image->cropped({0, 0, 300, 200});
    ASSERT_TRUE(topLeft);
    const auto read = p.textRecognizer.recognize(*topLeft, three);
    EXPECT_TRUE(read.succeeded);
    EXPECT_THAT(bestCandidates(read), ElementsAre("On Call", "(none)", "Anywhere"));
    EXPECT_EQ(read.observations[0].box, (PixelRect{20, 30, 120, 24}));
    const auto topRight = image->cropped({400, 0, 400, 200});
    EXPECT_THAT(bestCandidates(p.textRecognizer.recognize(*topRight, one)), ElementsAre("00:42", "(none)", "Anywhere"));
    EXPECT_EQ(desk.desktop.calls().back(), "recognize 400x200");

    const auto unreadable = p.textRecognizer.recognize(platform::Image::unreadable(800, 600), one);
    EXPECT_FALSE(unreadable.succeeded);
    EXPECT_TRUE(unreadable.observations.empty());
    p.clock.sleepFor(3s);
    const auto failed = p.textRecognizer.recognize(*image, one);
    EXPECT_FALSE(failed.succeeded);
    EXPECT_TRUE(failed.observations.empty());
}

TEST(ScriptedPermissions, ScreenCaptureAnswersBeforeAndAfterTheRequest) {
    for (const auto& [answer, before, after] : std::vector<std::tuple<std::string, bool, bool>>{
             {"granted", true, true}, {"grantedOnRequest", false, true}, {"denied", false, false}}) {
        Desk desk(R"({"screenCapture": ")" + answer + R"("})");
        auto& capture = desk.p().screenCapture;
        EXPECT_EQ(capture.preflightAccess(), before) << answer;
        capture.requestAccess();
        EXPECT_EQ(capture.preflightAccess(), after) << answer;
        EXPECT_THAT(desk.desktop.calls(), ElementsAre("preflightAccess", "requestAccess", "preflightAccess"));
    }
    Desk problem(R"({"accessProblem": "Error: cannot open display\n"})");
    EXPECT_EQ(problem.p().accessProblem, "Error: cannot open display\n");
}

// JSON strings are always valid UTF-8, so raw bytes come in a hex form wherever a title or a
// recognised text goes; the programs then meet malformed text as a real desktop may hand it over.
TEST(ScriptedRawBytes, TitlesAndRecognisedTextMayBeAnyBytes) {
    Desk desk(R"({"applications": [{"bundleId": "b", "name": "Brave Browser", "pid": 7, "windows": [
        {"number": 1, "title": {"hex": "4b69786965ff0a"}, "listName": {"hex": "c0AF"},
         "text": [{"hex": "4f6e2043616c6ce2"}, {"text": {"hex": "c3A9"}, "box": [0, 0, 9, 9]},
                  {"candidates": ["ok", {"hex": "80"}]}]}]}]})");
    auto& ax = desk.p().accessibility;
    const auto windows = ax.copyAttribute(ax.createApplication(7), "AXWindows");
    ASSERT_TRUE(windows.elements());
    EXPECT_EQ(ax.copyAttribute(windows.elements()->front(), "AXTitle").value,
              platform::AXValue(std::string("Kixie\xff\n")));
    EXPECT_THAT(describe(desk.p().windowList.onScreenWindows()), ElementsAre("Brave Browser|\xc0\xaf|1"));
    const auto image = desk.p().screenCapture.captureWindow({1, {}, std::nullopt}, 800, 600);
    ASSERT_TRUE(image);
    platform::RecognitionSettings two;
    two.maximumCandidates = 2;
    EXPECT_THAT(bestCandidates(desk.p().textRecognizer.recognize(*image, two)),
                ElementsAre("On Call\xe2", "\u00e9", "ok/\x80"));

    EXPECT_THAT(loadError(R"({"applications": [{"bundleId": "b", "pid": 1, "windows": [{"title": {"hex": "4"}}]}]})"),
                HasSubstr("applications[0].windows[0].title.hex: expected pairs of hexadecimal digits"));
    EXPECT_THAT(loadError(R"({"applications": [{"bundleId": "b", "pid": 1, "windows": [{"text": [{"hex": "zz"}]}]}]})"),
                HasSubstr("text[0].hex"));
    EXPECT_THAT(loadError(R"({"applications": [{"bundleId": "b", "pid": 1, "windows": [{"title": {"hex": "41", "x": 1}}]}]})"),
                HasSubstr("title: unknown key 'x'"));
    EXPECT_THAT(loadError(R"({"applications": [{"bundleId": "b", "pid": 1, "windows": [{"text": [{"text": 5}]}]}]})"),
                HasSubstr("text[0].text: expected a string"));
}

TEST(ScriptedRawBytes, MalformedTitlesAndTextKeepTheMonitorsOutputWhole) {
    // The tab's title and the recognised call state carry stray bytes; the call is still seen,
    // standard output is the usual transcript and standard error stays valid UTF-8.
    const auto run = test_support::runLineWarden(R"({"sleeps": 2, "applications": [
        {"bundleId": "com.brave.Browser", "name": "Brave Browser", "pid": 101, "windows": [
            {"number": 11, "title": {"hex": "ff4b6978696520506f77657243616c6c20c0"},
             "text": [{"hex": "41766169c0"}],
             "changes": [{"from": 3, "text": [{"hex": "4f6e2043616c6ceda080"}]}]}]}]})", {"--dialer=kixie"});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out, "Initial status: Available\nNotConnected\nStatus changed from Available to On Call\nisDialing\n");
    EXPECT_EQ(linewarden::toValidUtf8(run.err), run.err);

    // The RingCentral search quotes every browser window's list name on standard error.
    const auto traced = test_support::runLineWarden(R"({"applications": [
        {"bundleId": "com.brave.Browser", "name": "Brave Browser", "pid": 101, "windows": [
            {"number": 10, "title": "Mail", "listName": {"hex": "4d61696cfe"}},
            {"number": 11, "title": "RingCentral for Google", "listName": {"hex": "52696e6743656e7472616cc0"}}]}]})",
                                                    {"--dialer=ringcentral"});
    EXPECT_EQ(traced.out, "Initial status: Available\nNotConnected\n");
    EXPECT_THAT(traced.err, HasSubstr("Title=\"Mail\uFFFD\"\n"));
    EXPECT_THAT(traced.err, HasSubstr("Partial match found: RingCentral\uFFFD\n"));
    EXPECT_EQ(linewarden::toValidUtf8(traced.err), traced.err);
}

}  // namespace
