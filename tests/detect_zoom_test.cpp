#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "linewarden/detect/ZoomDetector.h"
#include "platform/Console.h"

using linewarden::ZoomMarkerDetector;
using linewarden::ZoomStatusMachine;
using platform::RecordingConsole;

namespace {

struct Markers {
    bool found;
    std::string standardError;
};

Markers detect(const std::vector<std::string>& lines) {
    ZoomMarkerDetector detector;
    RecordingConsole console;
    const bool found = detector.detectMarkers(console, lines);
    EXPECT_EQ(console.standardOutput(), "");
    return {found, console.standardError()};
}

const std::string kCalling = "[detectMarkers] ✅ 'Calling' found → DIALING\n";
std::string timer(const std::string& line) { return "[detectMarkers] ✅ Timer '" + line + "' found → IN CALL\n"; }
std::string banner(const std::string& line) { return "[detectMarkers] ✅ Call banner '" + line + "' found → IN CALL\n"; }

}  // namespace

TEST(ZoomMarkers, WordRuleInAnyCaseAndInsideWords) {
    for (const std::string line : {"Calling...", "CALLING", "recalling", "  Calling Jane Doe 00:12  "}) {
        SCOPED_TRACE(line);
        const Markers markers = detect({line});
        EXPECT_TRUE(markers.found);
        EXPECT_EQ(markers.standardError, kCalling);
    }
}

TEST(ZoomMarkers, WordRuleFollowsUnicodeLowerCasing) {
    // "İ" lower-cases to "i" plus a combining dot, and "Ç" to "ç": neither reads "calling".
    EXPECT_FALSE(detect({"CALL\u0130NG"}).found);
    EXPECT_FALSE(detect({"\u00C7ALLING"}).found);
    // A combining accent on the last letter makes it a different letter.
    EXPECT_FALSE(detect({"CALLING\u0301"}).found);
    // Accents elsewhere do not matter, whether precomposed or not.
    EXPECT_TRUE(detect({"\u00C9 CALLING"}).found);
    EXPECT_TRUE(detect({"E\u0301 calling"}).found);
}

TEST(ZoomMarkers, TimerRuleNeedsTwoDigitsEachSide) {
    for (const std::string line : {"00:42", "10:30 AM", "1:23:45", "\u0660\u0661:\u0664\u0662", "\uFF11\uFF12:\uFF13\uFF14"}) {
        SCOPED_TRACE(line);
        const Markers markers = detect({line});
        EXPECT_TRUE(markers.found);
        EXPECT_EQ(markers.standardError, timer(line));
    }
    for (const std::string line : {"1:05", "00 : 42", "12\uFF1A34", "0:4"}) EXPECT_FALSE(detect({line}).found) << line;
}

TEST(ZoomMarkers, BannerRuleOnTheTrimmedLine) {
    EXPECT_EQ(detect({"Jane Doe -"}).standardError, banner("Jane Doe -"));
    EXPECT_EQ(detect({"Jane Doe \u2013"}).standardError, banner("Jane Doe \u2013"));
    EXPECT_EQ(detect({"\tJane Doe - \u00A0\n"}).standardError, banner("Jane Doe -"));
    for (const std::string line : {"-", " - ", "Jane Doe-", "Jane Doe \u2014", "Jane Doe\u00A0-", "Jane - Doe"})
        EXPECT_FALSE(detect({line}).found) << line;
}

TEST(ZoomMarkers, BlankLinesAreSkippedAndFirstMatchingLineDecides) {
    const Markers none = detect({"", "   ", "\u2028\u3000\u0085", "Zoom Workplace"});
    EXPECT_FALSE(none.found);
    EXPECT_EQ(none.standardError, "");
    EXPECT_EQ(detect({"Meeting 00:42", "Calling"}).standardError, timer("Meeting 00:42"));
    // Within one line the word rule comes before the timer rule, and the timer before the banner.
    EXPECT_EQ(detect({"calling 00:42 -"}).standardError, kCalling);
    EXPECT_EQ(detect({"Jane 00:42 -"}).standardError, timer("Jane 00:42 -"));
    EXPECT_FALSE(detect({}).found);
}

namespace {

enum class From { Start, Available, OnCall };

ZoomStatusMachine machineIn(From from) {
    ZoomStatusMachine machine;
    RecordingConsole ignored;
    if (from == From::Available) machine.handleStatusChange(ignored, false);
    if (from == From::OnCall) machine.handleStatusChange(ignored, true);
    return machine;
}

}  // namespace

TEST(ZoomStatusMachine, EveryTransition) {
    struct Row {
        From from;
        bool verdict;
        std::string standardOutput;
        std::string standardError;
        bool dialingAfter;
        std::optional<std::string> statusAfter;
        bool result;
    };
    const std::vector<Row> rows = {
        {From::Start, false, "Initial status: Available\nNotConnected\n",
         "[Zoom][handleStatusChange] isCallActive: false, isDialing: false, previousStatus: nil\n", false, "Available", true},
        {From::Start, true, "Status changed from Available to On Call\nisDialing\n",
         "[Zoom][handleStatusChange] isCallActive: true, isDialing: false, previousStatus: nil\n", true, "On Call", true},
        {From::Available, false, "",
         "[Zoom][handleStatusChange] isCallActive: false, isDialing: false, previousStatus: Available\n", false, "Available",
         false},
        {From::Available, true, "Status changed from Available to On Call\nisDialing\n",
         "[Zoom][handleStatusChange] isCallActive: true, isDialing: false, previousStatus: Available\n", true, "On Call", true},
        {From::OnCall, true, "",
         "[Zoom][handleStatusChange] isCallActive: true, isDialing: true, previousStatus: On Call\n", true, "On Call", true},
        {From::OnCall, false, "Status changed from On Call to Available\nNotConnected\n",
         "[Zoom][handleStatusChange] isCallActive: false, isDialing: true, previousStatus: On Call\n", false, "Available", true},
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE("row " + std::to_string(i + 1));
        const Row& row = rows[i];
        ZoomStatusMachine machine = machineIn(row.from);
        RecordingConsole console;
        EXPECT_EQ(machine.handleStatusChange(console, row.verdict), row.result);
        EXPECT_EQ(console.standardOutput(), row.standardOutput);
        EXPECT_EQ(console.standardError(), row.standardError);
        EXPECT_EQ(console.flushCount(), row.standardOutput.empty() ? 0 : 1);
        EXPECT_EQ(machine.isDialing(), row.dialingAfter);
        EXPECT_EQ(machine.previousStatus(), row.statusAfter);
    }
}
