// tabroster as whole transcripts on the scripted desktop: one line per titled window of the
// three browsers, in the platform's order, nothing on standard error, status 0 whatever happens.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "support/ChildProcess.h"
#include "support/TestSupport.h"

namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;

test_support::Transcript listWindows(std::string_view scenario) {
    auto run = test_support::runTabRoster(scenario);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.err, "");
    return run;
}

TEST(TabRoster, OneLinePerWindowInTheBrowsersOrder) {
    const auto run = listWindows(R"js({"applications": [
        {"bundleId": "com.google.Chrome", "name": "Google Chrome", "pid": 101, "windows": [
            {"number": 1, "title": "Kixie PowerCall"}, {"number": 2, "title": "Inbox"},
            {"number": 3, "title": "Inbox"}, {"number": 4, "title": "a: b\nc"}]}]})js");
    EXPECT_EQ(run.out,
              "Google Chrome: Kixie PowerCall\n"
              "Google Chrome: Inbox\n"
              "Google Chrome: Inbox\n"
              "Google Chrome: a: b c\n");
}

TEST(TabRoster, ATitleCannotBreakTheLineOrHandOnMalformedText) {
    // Line breaks and other controls (C0, DEL, NEL, U+2028, U+2029) become blanks, so no title can
    // forge a line of its own; ill-formed UTF-8 (a stray continuation byte, a cut-off sequence, an
    // overlong slash, a surrogate) becomes U+FFFD per maximal subpart; other text passes unchanged.
    const auto run = listWindows(R"js({"applications": [
        {"bundleId": "com.google.Chrome", "name": "Google Chrome", "pid": 101, "windows": [
            {"number": 1, "title": "Inbox\nGoogle Chrome: Kixie PowerCall\r\n"},
            {"number": 2, "title": {"hex": "41004207431b5b33316d447f45c28546e280a847e280a948"}},
            {"number": 3, "title": {"hex": "4b80e282c0af4cf09f8ce2eda080"}},
            {"number": 4, "title": "caf\u00e9 \u2014 \u00a0\u200b \ud83d\udcde : \t"}]}]})js");
    EXPECT_EQ(run.out,
              "Google Chrome: Inbox Google Chrome: Kixie PowerCall  \n"
              "Google Chrome: A B C [31mD E F G H\n"
              "Google Chrome: K\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBDL"
              "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\n"
              "Google Chrome: caf\u00e9 \u2014 \u00a0\u200b \U0001F4DE :  \n");
}

TEST(TabRoster, WindowsWithoutAUsableTitleAreSkipped) {
    // Empty, a number, a Boolean, no title at all, and a title behind an error code; a blank
    // title is not empty and is listed.
    const auto run = listWindows(R"js({"applications": [
        {"bundleId": "com.microsoft.edgemac", "name": "Microsoft Edge", "pid": 300, "windows": [
            {"number": 1, "title": ""}, {"number": 2, "title": 42}, {"number": 3, "title": true},
            {"number": 4}, {"number": 5, "title": "Hidden", "titleError": -25204},
            {"number": 6, "title": " "}, {"number": 7, "title": "Trellus"}]}]})js");
    EXPECT_EQ(run.out, "Microsoft Edge:  \nMicrosoft Edge: Trellus\n");
}

TEST(TabRoster, OnlyTheExactBrowserNamesCount) {
    // Matched by name, not by bundle identifier: a Chrome without a name is left out, and so is
    // every lookalike.
    const auto run = listWindows(R"js({"applications": [
        {"bundleId": "com.google.Chrome.canary", "name": "Google Chrome Canary", "pid": 101, "windows": [{"number": 1, "title": "A"}]},
        {"bundleId": "com.google.Chrome", "name": "google chrome", "pid": 102, "windows": [{"number": 2, "title": "B"}]},
        {"bundleId": "org.chromium.Chromium", "name": "Chromium", "pid": 103, "windows": [{"number": 3, "title": "C"}]},
        {"bundleId": "com.google.Chrome", "name": "Google Chrome ", "pid": 104, "windows": [{"number": 4, "title": "D"}]},
        {"bundleId": "com.google.Chrome", "pid": 105, "windows": [{"number": 5, "title": "E"}]},
        {"bundleId": "com.brave.Browser", "name": "Brave Browser", "pid": 200, "windows": [{"number": 6, "title": "F"}]}]})js");
    EXPECT_EQ(run.out, "Brave Browser: F\n");
    EXPECT_THAT(run.calls, ElementsAre("runningApplications", "createApplication 200",
                                       "copyAttribute AXWindows app:200", "copyAttribute AXTitle window:6"));
}

TEST(TabRoster, EveryInstanceIsListedInThePlatformsOrder) {
    const auto run = listWindows(R"js({"applications": [
        {"bundleId": "com.google.Chrome", "name": "Google Chrome", "pid": 101, "windows": [{"number": 1, "title": "A"}]},
        {"bundleId": "com.microsoft.edgemac", "name": "Microsoft Edge", "pid": 300, "windows": [{"number": 2, "title": "E"}]},
        {"bundleId": "com.google.Chrome", "name": "Google Chrome", "pid": 102, "windows": [{"number": 3, "title": "B"}]},
        {"bundleId": "com.brave.Browser", "name": "Brave Browser", "pid": 200, "windows": [{"number": 4, "title": "R"}]}]})js");
    EXPECT_EQ(run.out, "Google Chrome: A\nMicrosoft Edge: E\nGoogle Chrome: B\nBrave Browser: R\n");
}

TEST(TabRoster, ABrowserWhoseWindowQueryFailsIsSkipped) {
    const auto run = listWindows(R"js({"applications": [
        {"bundleId": "com.google.Chrome", "name": "Google Chrome", "pid": 101, "windowsError": -25204,
         "windows": [{"number": 1, "title": "A"}]},
        {"bundleId": "com.microsoft.edgemac", "name": "Microsoft Edge", "pid": 300, "windowsNotAList": true,
         "windows": [{"number": 2, "title": "E"}]},
        {"bundleId": "com.brave.Browser", "name": "Brave Browser", "pid": 200,
         "windows": [{"number": 3, "title": "R1"}, {"number": 4, "title": "R2"}]}]})js");
    EXPECT_EQ(run.out, "Brave Browser: R1\nBrave Browser: R2\n");
    EXPECT_THAT(run.calls, Not(Contains("copyAttribute AXTitle window:1")));
    EXPECT_THAT(run.calls, Not(Contains("copyAttribute AXTitle window:2")));
}

TEST(TabRoster, WithoutAccessibilityPermissionNothingIsListed) {
    const auto run = listWindows(R"js({"accessibilityTrusted": false, "applications": [
        {"bundleId": "com.google.Chrome", "name": "Google Chrome", "pid": 101, "windows": [{"number": 1, "title": "A"}]}]})js");
    EXPECT_EQ(run.out, "");
}

TEST(TabRoster, AsAProcessItWritesOnlyStandardOutputAndSucceeds) {
    const test_support::TempFile scenario(R"js({"applications": [
        {"bundleId": "com.brave.Browser", "name": "Brave Browser", "pid": 200,
         "windows": [{"number": 1, "title": "Kixie PowerCall"}, {"number": 2, "title": ""}]},
        {"bundleId": "com.google.Chrome", "name": "Google Chrome", "pid": 101, "windowsError": -25211},
        {"bundleId": "com.microsoft.edgemac", "name": "Microsoft Edge", "pid": 300,
         "windows": [{"number": 3, "title": "RingCentral for Google"}]}]})js");
    const auto result = test_support::runTabRosterProcess(scenario.path());
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "Brave Browser: Kixie PowerCall\nMicrosoft Edge: RingCentral for Google\n");
    EXPECT_EQ(result.err, "");

    const test_support::TempFile untrusted(R"js({"accessibilityTrusted": false, "applications": [
        {"bundleId": "com.brave.Browser", "name": "Brave Browser", "pid": 200, "windows": [{"number": 1, "title": "A"}]}]})js");
    const auto refused = test_support::runTabRosterProcess(untrusted.path());
    EXPECT_EQ(refused.exitStatus, 0);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err, "");
}

}  // namespace
