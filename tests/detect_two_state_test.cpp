#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "linewarden/detect/KixieDetector.h"
#include "linewarden/detect/TrellusDetector.h"
#include "platform/Console.h"

using linewarden::TwoStateStatusMachine;
using linewarden::TwoStateWords;
using platform::RecordingConsole;

namespace {

enum class From { Start, Idle, Active };

struct Row {
    From from;
    bool verdict;
    std::string standardOutput;
    std::string standardError;  // the whole transcript, entry and exit lines included
    bool dialingAfter;
    std::optional<std::string> statusAfter;
    bool result;
};

TwoStateStatusMachine machineIn(From from, const TwoStateWords& words) {
    TwoStateStatusMachine machine(words);
    RecordingConsole ignored;
    if (from == From::Idle) machine.handleStatusChange(ignored, false);
    if (from == From::Active) machine.handleStatusChange(ignored, true);
    return machine;
}

void checkTable(const TwoStateWords& words, const std::vector<Row>& rows) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE("row " + std::to_string(i + 1));
        const Row& row = rows[i];
        TwoStateStatusMachine machine = machineIn(row.from, words);
        RecordingConsole console;
        EXPECT_EQ(machine.handleStatusChange(console, row.verdict), row.result);
        EXPECT_EQ(console.standardOutput(), row.standardOutput);
        EXPECT_EQ(console.standardError(), row.standardError);
        EXPECT_EQ(console.flushCount(), row.standardOutput.empty() ? 0 : 1);
        EXPECT_EQ(machine.isDialing(), row.dialingAfter);
        EXPECT_EQ(machine.previousStatus(), row.statusAfter);
    }
}

}  // namespace

TEST(KixieStatusMachine, EveryTransition) {
    const std::string startEntryFalse =
        "[handleStatusChange] Called with isCallActive: false, currentDialingState: false, previousStatus: nil\n";
    const std::string startEntryTrue =
        "[handleStatusChange] Called with isCallActive: true, currentDialingState: false, previousStatus: nil\n";
    const std::string returningTrue = "[handleStatusChange] Returning: true\n";
    checkTable(linewarden::kKixieWords, {
        {From::Start, false, "Initial status: Available\nNotConnected\n",
         startEntryFalse + "[handleStatusChange] 🟡 Initial status: AVAILABLE\n" + returningTrue, false, "Available", true},
        {From::Start, true, "Status changed from Available to On Call\nisDialing\n",
         startEntryTrue + "[handleStatusChange] 🔵 Transitioning to ON CALL\n" + returningTrue, true, "On Call", true},
        {From::Idle, false, "",
         "[handleStatusChange] Called with isCallActive: false, currentDialingState: false, previousStatus: Available\n"
         "[handleStatusChange] Not in call, no state change\n"
         "[handleStatusChange] Returning: false\n",
         false, "Available", false},
        {From::Idle, true, "Status changed from Available to On Call\nisDialing\n",
         "[handleStatusChange] Called with isCallActive: true, currentDialingState: false, previousStatus: Available\n"
         "[handleStatusChange] 🔵 Transitioning to ON CALL\n" + returningTrue,
         true, "On Call", true},
        {From::Active, true, "",
         "[handleStatusChange] Called with isCallActive: true, currentDialingState: true, previousStatus: On Call\n"
         "[handleStatusChange] Already in call, no state change\n" + returningTrue,
         true, "On Call", true},
        {From::Active, false, "Status changed from On Call to Available\nNotConnected\n",
         "[handleStatusChange] Called with isCallActive: false, currentDialingState: true, previousStatus: On Call\n"
         "[handleStatusChange] 🔴 Transitioning to AVAILABLE (call ended)\n" + returningTrue,
         false, "Available", true},
    });
}

TEST(TrellusStatusMachine, EveryTransition) {
    const std::string returningTrue = "[handleStatusChange] Returning: true\n";
    checkTable(linewarden::kTrellusWords, {
        {From::Start, false, "Initial status: Idle\nNotConnected\n",
         "[handleStatusChange] Called with isCallActive: false, currentDialingState: false, previousStatus: nil\n"
         "[handleStatusChange] 🟡 Initial status: IDLE\n" + returningTrue,
         false, "Idle", true},
        {From::Start, true, "Status changed from Idle to Active\nisDialing\n",
         "[handleStatusChange] Called with isCallActive: true, currentDialingState: false, previousStatus: nil\n"
         "[handleStatusChange] 🔵 Transitioning to ACTIVE\n" + returningTrue,
         true, "Active", true},
        {From::Idle, false, "",
         "[handleStatusChange] Called with isCallActive: false, currentDialingState: false, previousStatus: Idle\n"
         "[handleStatusChange] Not in call, no state change\n"
         "[handleStatusChange] Returning: false\n",
         false, "Idle", false},
        {From::Idle, true, "Status changed from Idle to Active\nisDialing\n",
         "[handleStatusChange] Called with isCallActive: true, currentDialingState: false, previousStatus: Idle\n"
         "[handleStatusChange] 🔵 Transitioning to ACTIVE\n" + returningTrue,
         true, "Active", true},
        {From::Active, true, "",
         "[handleStatusChange] Called with isCallActive: true, currentDialingState: true, previousStatus: Active\n"
         "[handleStatusChange] Already in call, no state change\n" + returningTrue,
         true, "Active", true},
        {From::Active, false, "Status changed from Active to Idle\nNotConnected\n",
         "[handleStatusChange] Called with isCallActive: false, currentDialingState: true, previousStatus: Active\n"
         "[handleStatusChange] 🔴 Transitioning to IDLE (call ended)\n" + returningTrue,
         false, "Idle", true},
    });
}

TEST(KixieClassifier, ListsEveryLineThenTheFinding) {
    RecordingConsole console;
    EXPECT_TRUE(linewarden::detectKixieCallFromOCR(console, {"Available", "On Call"}));
    EXPECT_EQ(console.standardError(),
              "[OCR] Detected 2 text elements:\n"
              "[OCR]   [1] \"Available\"\n"
              "[OCR]   [2] \"On Call\"\n"
              "[OCR] ✅ 'On Call' status found → IN CALL\n");
    EXPECT_EQ(console.standardOutput(), "");
}

TEST(KixieClassifier, EmptyListWritesOnlyTheNotFoundLine) {
    RecordingConsole console;
    EXPECT_FALSE(linewarden::detectKixieCallFromOCR(console, {}));
    EXPECT_EQ(console.standardError(), "[OCR] ❌ 'On Call' status not found\n");
}

TEST(KixieClassifier, OnCallMustAppearCaseExactWithinOneLine) {
    auto detect = [](std::vector<std::string> lines) {
        RecordingConsole console;
        return linewarden::detectKixieCallFromOCR(console, lines);
    };
    EXPECT_TRUE(detect({"Status: On Call 00:12"}));
    EXPECT_TRUE(detect({"Do Not Disturb", "On Call", "Available"}));
    EXPECT_FALSE(detect({"on call"}));
    EXPECT_FALSE(detect({"ON CALL"}));
    EXPECT_FALSE(detect({"On", "Call"}));
    EXPECT_FALSE(detect({"Available", "Do Not Disturb"}));
    EXPECT_FALSE(detect({"On\u00A0Call"}));  // a no-break space is not the blank of "On Call"
}

namespace {

struct Classified {
    bool verdict;
    std::string standardError;
};

Classified classifyTrellus(const std::vector<std::string>& lines) {
    RecordingConsole console;
    const bool verdict = linewarden::detectTrellusCallFromOCR(console, lines);
    return {verdict, console.standardError()};
}

std::string lastLine(const std::string& text) {
    const auto start = text.rfind('\n', text.size() - 2);
    return start == std::string::npos ? text : text.substr(start + 1);
}

}  // namespace

TEST(TrellusClassifier, ActiveMatchesQuoteTheLineAsRecognised) {
    for (const std::string line : {"Active", "ACTIVE", "ctive", "Inactive", "Negative", "Status: aCtIvE now"}) {
        SCOPED_TRACE(line);
        const Classified result = classifyTrellus({line});
        EXPECT_TRUE(result.verdict);
        EXPECT_EQ(lastLine(result.standardError), "[OCR] ✅ 'Active' status found (matched: \"" + line + "\") → IN CALL\n");
    }
}

TEST(TrellusClassifier, ActiveAnywhereWinsOverIdle) {
    const Classified result = classifyTrellus({"Idle", "Active"});
    EXPECT_TRUE(result.verdict);
    EXPECT_EQ(result.standardError,
              "[OCR] Detected 2 text elements:\n"
              "[OCR]   [1] \"Idle\"\n"
              "[OCR]   [2] \"Active\"\n"
              "[OCR] ✅ 'Active' status found (matched: \"Active\") → IN CALL\n");
}

TEST(TrellusClassifier, IdleOnlyChangesTheMessage) {
    for (const std::string line : {"Idle", "IDLE", "idle since 3m"}) {
        SCOPED_TRACE(line);
        const Classified result = classifyTrellus({line});
        EXPECT_FALSE(result.verdict);
        EXPECT_EQ(lastLine(result.standardError), "[OCR] ❌ 'Idle' status found → NOT IN CALL\n");
    }
    EXPECT_EQ(classifyTrellus({}).standardError, "[OCR] ❌ 'Active' status not found (likely Idle)\n");
    const Classified unrelated = classifyTrellus({"Calling", "00:12"});
    EXPECT_FALSE(unrelated.verdict);
    EXPECT_EQ(lastLine(unrelated.standardError), "[OCR] ❌ 'Active' status not found (likely Idle)\n");
}

TEST(TrellusClassifier, ClippedOrNonAsciiReadings) {
    EXPECT_FALSE(classifyTrellus({"ctiv"}).verdict);
    EXPECT_FALSE(classifyTrellus({"Act ive"}).verdict);
    // Full Unicode lower-casing: the fullwidth letters lower-case to fullwidth, not to ASCII.
    EXPECT_FALSE(classifyTrellus({"\uFF21\uFF23\uFF34\uFF29\uFF36\uFF25"}).verdict);
    // A decomposed accent on the last letter composes with it, so "tive" is no longer there.
    EXPECT_FALSE(classifyTrellus({"Activ" "e\u0301"}).verdict);
    EXPECT_TRUE(classifyTrellus({"\u00C9lan Active"}).verdict);
}
