// The browser driver loop and the accessibility probe on the scripted desktop. The driver runs a
// stand-in monitor here, so that what is tested is the loop itself: which browser it keeps, the
// timing line after every scan, the probe after every third scan and the pause.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "linewarden/app/Drivers.h"
#include "linewarden/monitors/LineWarden.h"
#include "linewarden/window/AccessibilityHelper.h"
#include "platform/ScriptedDesktop.h"
#include "support/TestSupport.h"

namespace {

using linewarden::AccessibilityHelper;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// Finds its "window" when its browser runs, keeping the application reference as a browser
// monitor does; a scan asks for the window list once, so the list's scripted duration is the
// scan time.
class StandInMonitor final : public linewarden::LineWarden {
public:
    StandInMonitor(platform::Platform& platform, std::string bundleId)
        : platform_(platform), bundleId_(std::move(bundleId)) {}

    bool findWindow() {
        appRef_ = AccessibilityHelper::setupAppRef(platform_, bundleId_);
        return appRef_ != nullptr;
    }
    bool scanElements(bool) override {
        platform_.windowList.onScreenWindows();
        return false;
    }
    const platform::AXElementRef& appRef() const { return appRef_; }

private:
    platform::Platform& platform_;
    std::string bundleId_;
    platform::AXElementRef appRef_;
};

struct Desk {
    explicit Desk(std::string_view json) : desktop(test_support::loadScenario(json), console) {}

    int runDriver() {
        return linewarden::runBrowserDriver<StandInMonitor>(
            desktop.platform(), &StandInMonitor::findWindow,
            {"Error: Could not find Test window in any browser\n", "Monitoring Test status...\n"});
    }

    // The calls of the monitoring loop: everything after the browser search.
    std::vector<std::string> loopCalls() const {
        const auto& calls = desktop.calls();
        auto first = calls.begin();
        while (first != calls.end() && *first != "onScreenWindows") ++first;
        return {first, calls.end()};
    }

    platform::RecordingConsole console;
    platform::ScriptedDesktop desktop;
};

std::string timing(std::string_view milliseconds) {
    return "DEBUG: scanElements execution time: " + std::string(milliseconds) + "ms\n";
}

const std::string kProbeFailed = "DEBUG: Accessibility health check failed, may need to refresh references\n";

TEST(BrowserDriverLoop, ProbesAfterEveryThirdScanBeforeThePause) {
    // Chrome quits after the search; the monitor keeps its reference, which then fails at once:
    // the failure line alone, no slow-answer line.
    Desk desk(R"js({"sleeps": 9, "durations": {"onScreenWindows": 0.25},
                    "applications": [{"bundleId": "com.google.Chrome", "name": "Google Chrome", "pid": 101, "quit": 1}]})js");
    EXPECT_EQ(desk.runDriver(), 0);

    const std::string threeScans = timing("250.00") + timing("250.00") + timing("250.00") + kProbeFailed;
    EXPECT_EQ(desk.console.standardOutput(), "");
    EXPECT_EQ(desk.console.standardError(),
              "Checking Brave browser...\nChecking Chrome browser...\nMonitoring Test status...\n" + threeScans +
                  threeScans + threeScans);
    const std::vector<std::string> cycle{"onScreenWindows", "sleep 3", "onScreenWindows", "sleep 3",
                                         "onScreenWindows", "copyAttribute AXWindows app:101", "sleep 3"};
    std::vector<std::string> expected;
    for (int i = 0; i < 3; ++i) expected.insert(expected.end(), cycle.begin(), cycle.end());
    EXPECT_THAT(desk.loopCalls(), ElementsAreArray(expected));
}

TEST(BrowserDriverLoop, KeepsTheFirstBrowserWithTheWindowAndAHealthyProbeWritesNothing) {
    Desk desk(R"js({"sleeps": 3, "durations": {"onScreenWindows": 0.005},
                    "applications": [{"bundleId": "com.google.Chrome", "pid": 101},
                                     {"bundleId": "com.brave.Browser", "pid": 200}]})js");
    EXPECT_EQ(desk.runDriver(), 0);
    EXPECT_EQ(desk.console.standardError(),
              "Checking Brave browser...\nMonitoring Test status...\n" + timing("5.00") + timing("5.00") +
                  timing("5.00"));
    EXPECT_THAT(desk.desktop.calls(),
                ElementsAre("runningApplications com.brave.Browser", "createApplication 200", "onScreenWindows",
                            "sleep 3", "onScreenWindows", "sleep 3", "onScreenWindows",
                            "copyAttribute AXWindows app:200", "sleep 3"));
}

TEST(BrowserDriverLoop, ASlowProbeIsReportedWithItsSecondsAndCountsAsFailed) {
    // Probes run at t = 6 (0.25 s) and at t = 15.25 (2 s).
    Desk desk(R"js({"sleeps": 6, "durations": {"AXWindows": 0.25},
                    "changes": [{"from": 7, "durations": {"AXWindows": 2}}],
                    "applications": [{"bundleId": "com.microsoft.edgemac", "pid": 300}]})js");
    EXPECT_EQ(desk.runDriver(), 0);
    const std::string scans = timing("0.00") + timing("0.00") + timing("0.00");
    EXPECT_EQ(desk.console.standardError(),
              "Checking Brave browser...\nChecking Chrome browser...\nChecking Edge browser...\n"
              "Monitoring Test status...\n" +
                  scans + "DEBUG: Slow accessibility API response: 0.25s\n" + kProbeFailed + scans +
                  "DEBUG: Slow accessibility API response: 2.0s\n" + kProbeFailed);
}

TEST(AccessibilityProbe, TheSlownessThresholdIsStrictlyMoreThanATenthOfASecond) {
    // The clock starts at 0 so that the elapsed time is exactly the scripted duration.
    Desk exact(R"js({"clockStart": 0, "durations": {"AXWindows": 0.1},
                     "applications": [{"bundleId": "com.google.Chrome", "pid": 101}]})js");
    auto& p = exact.desktop.platform();
    EXPECT_TRUE(AccessibilityHelper::checkAccessibilityHealth(p, p.accessibility.createApplication(101)));
    EXPECT_EQ(exact.console.standardError(), "");

    Desk justOver(R"js({"clockStart": 0, "durations": {"AXWindows": 0.10000000000000002},
                        "applications": [{"bundleId": "com.google.Chrome", "pid": 101}]})js");
    auto& q = justOver.desktop.platform();
    EXPECT_FALSE(AccessibilityHelper::checkAccessibilityHealth(q, q.accessibility.createApplication(101)));
    EXPECT_EQ(justOver.console.standardError(), "DEBUG: Slow accessibility API response: 0.10000000000000002s\n");
}

TEST(AccessibilityProbe, AnAbsentReferenceIsUnhealthyWithoutAskingOrWriting) {
    Desk desk(R"js({"applications": [{"bundleId": "com.google.Chrome", "pid": 101}]})js");
    EXPECT_FALSE(AccessibilityHelper::checkAccessibilityHealth(desk.desktop.platform(), nullptr));
    EXPECT_EQ(desk.console.standardError(), "");
    EXPECT_TRUE(desk.desktop.calls().empty());
}

TEST(AccessibilityHelperAppRef, TheFirstRunningInstanceAndOnlyOnceItRuns) {
    Desk desk(R"js({"applications": [{"bundleId": "com.google.Chrome", "name": "Chrome one", "pid": 101, "start": 5},
                                     {"bundleId": "com.google.Chrome", "name": "Chrome two", "pid": 102, "start": 5},
                                     {"bundleId": "com.brave.Browser", "pid": 200}]})js");
    auto& p = desk.desktop.platform();
    EXPECT_EQ(AccessibilityHelper::setupAppRef(p, "com.google.Chrome"), nullptr);

    p.clock.sleepFor(std::chrono::seconds(5));
    const auto appRef = AccessibilityHelper::setupAppRef(p, "com.google.Chrome");
    ASSERT_NE(appRef, nullptr);
    EXPECT_EQ(*p.accessibility.copyAttribute(appRef, platform::kAXTitleAttribute).string(), "Chrome one");
    EXPECT_THAT(desk.desktop.calls(),
                ElementsAre("runningApplications com.google.Chrome", "sleep 5", "runningApplications com.google.Chrome",
                            "createApplication 101", "copyAttribute AXTitle app:101"));
    EXPECT_EQ(desk.console.standardError(), "");
}

}  // namespace
