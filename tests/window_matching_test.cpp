#include <gtest/gtest.h>

#include <array>

#include "linewarden/window/WindowDiscovery.h"
#include "linewarden/window/WindowNumberResolution.h"
#include "platform/Console.h"

using linewarden::isBrowserOwner;
using linewarden::matchWindowNumber;
using linewarden::titleMatchesDialer;
using platform::WindowListEntry;

namespace {
WindowListEntry entry(std::optional<std::string> owner, std::optional<std::string> name,
                      std::optional<platform::WindowNumber> number) {
    return {std::move(owner), std::move(name), number};
}
constexpr std::array<std::string_view, 1> kKixie{"Kixie PowerCall"};
constexpr std::array<std::string_view, 1> kRingCentral{"RingCentral for Google"};
}  // namespace

TEST(TitleMatchesDialer, CaseSensitiveSubstringUpToCanonicalEquivalence) {
    EXPECT_TRUE(titleMatchesDialer("Kixie PowerCall - Dashboard", kKixie));
    EXPECT_FALSE(titleMatchesDialer("kixie powercall - dashboard", kKixie));
    EXPECT_FALSE(titleMatchesDialer("RingCentral - Inbox", kRingCentral));
    EXPECT_TRUE(titleMatchesDialer("Tab | RingCentral for Google", kRingCentral));
    // A decomposed "é" in the title equals a precomposed one in the keyword.
    constexpr std::array<std::string_view, 1> cafe{"Caf\u00e9"};
    EXPECT_TRUE(titleMatchesDialer("Cafe\u0301 Dialer", cafe));
    EXPECT_FALSE(titleMatchesDialer("", kKixie));
}

TEST(IsBrowserOwner, AnyOfTheThreeBrowsers) {
    EXPECT_TRUE(isBrowserOwner("Google Chrome"));
    EXPECT_TRUE(isBrowserOwner("Brave Browser"));
    EXPECT_TRUE(isBrowserOwner("Microsoft Edge"));
    EXPECT_FALSE(isBrowserOwner("Firefox"));
    EXPECT_FALSE(isBrowserOwner("chrome"));
}

TEST(MatchWindowNumber, ExactMatchAnywhereBeatsAnEarlierPartialMatch) {
    const std::vector<WindowListEntry> list{
        entry("Google Chrome", "Kixie PowerCall - old tab", 11),
        entry("Google Chrome", "Kixie PowerCall - Dashboard", 22),
    };
    EXPECT_EQ(matchWindowNumber(list, "Kixie PowerCall - Dashboard", "Kixie"), 22u);
    EXPECT_EQ(matchWindowNumber(list, "Something else", "Kixie"), 11u);
}

TEST(MatchWindowNumber, OnlyBrowserWindowsWithNumbersQualify) {
    const std::vector<WindowListEntry> list{
        entry("Terminal", "Kixie PowerCall", 1),
        entry(std::nullopt, "Kixie PowerCall", 2),
        entry("Brave Browser", "Kixie PowerCall", std::nullopt),
        entry("Google Chrome", "Kixie PowerCall", 4),
    };
    // A Brave monitor may resolve to a window owned by Chrome: the owner test accepts all three.
    EXPECT_EQ(matchWindowNumber(list, "Kixie PowerCall", "Kixie"), 4u);
    EXPECT_EQ(matchWindowNumber({entry("Terminal", "Kixie PowerCall", 1)}, "Kixie PowerCall", "Kixie"), std::nullopt);
    EXPECT_EQ(matchWindowNumber({}, "Kixie PowerCall", "Kixie"), std::nullopt);
}

TEST(MatchWindowNumber, UnnamedWindowsMatchOnlyInTheTracedSearch) {
    const std::vector<WindowListEntry> list{entry("Microsoft Edge", std::nullopt, 7)};
    EXPECT_EQ(matchWindowNumber(list, "(no title)", "Kixie"), std::nullopt);
    platform::RecordingConsole trace;
    EXPECT_EQ(matchWindowNumber(list, "(no title)", "RingCentral", &trace), 7u);
    EXPECT_EQ(trace.standardError(),
              "[getWindowID] Browser window: ID=7, Title=\"(no title)\"\n"
              "[getWindowID] \u2705 Exact match found!\n");
}

TEST(MatchWindowNumber, TracedSearchWritesEveryStep) {
    const std::vector<WindowListEntry> list{
        entry("Finder", "Desktop", 1),
        entry("Google Chrome", "RingCentral - Settings", std::nullopt),
        entry("Google Chrome", "Inbox", 3),
        entry("Google Chrome", "RingCentral - Calls", 4),
    };
    platform::RecordingConsole trace;
    EXPECT_EQ(matchWindowNumber(list, "RingCentral for Google", "RingCentral", &trace), 4u);
    EXPECT_EQ(trace.standardError(),
              "[getWindowID] Browser window: ID=0, Title=\"RingCentral - Settings\"\n"
              "[getWindowID] Browser window: ID=3, Title=\"Inbox\"\n"
              "[getWindowID] Browser window: ID=4, Title=\"RingCentral - Calls\"\n"
              "[getWindowID] No exact match, trying partial...\n"
              "[getWindowID] \u2705 Partial match found: RingCentral - Calls\n");

    trace.clear();
    EXPECT_EQ(matchWindowNumber({}, "RingCentral for Google", "RingCentral", &trace), std::nullopt);
    EXPECT_EQ(trace.standardError(),
              "[getWindowID] No exact match, trying partial...\n"
              "[getWindowID] \u274C No matching window found\n");
}
