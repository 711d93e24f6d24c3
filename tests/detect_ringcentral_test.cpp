#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "linewarden/detect/RingCentralDetector.h"
#include "platform/Console.h"

using linewarden::RingCentralStatusMachine;
using linewarden::RingCentralTimerDetector;
using platform::RecordingConsole;

namespace {

std::string verdictLine(const std::string& line) {
    RingCentralTimerDetector detector;
    RecordingConsole console;
    detector.detectCallFromOCR(console, {line});
    const std::string& err = console.standardError();
    return err.substr(err.rfind('\n', err.size() - 2) + 1);
}

std::string exact(const std::string& line) { return "[OCR] ✅ Timer found (exact match): \"" + line + "\" → IN CALL\n"; }
std::string flexible(const std::string& line) { return "[OCR] ✅ Timer found (flexible match): \"" + line + "\" → IN CALL\n"; }
const std::string kNoTimer = "[OCR] ❌ No timer pattern found in detected text\n";

}  // namespace

TEST(RingCentralTimer, EmptyListWritesOnlyTheNoTextLine) {
    RingCentralTimerDetector detector;
    RecordingConsole console;
    EXPECT_FALSE(detector.detectCallFromOCR(console, {}));
    EXPECT_EQ(console.standardError(), "[OCR] No text detected to check for timer\n");
    EXPECT_EQ(console.standardOutput(), "");
}

TEST(RingCentralTimer, ListsEveryLineThenNamesTheMatchingOne) {
    RingCentralTimerDetector detector;
    RecordingConsole console;
    EXPECT_TRUE(detector.detectCallFromOCR(console, {"Ringing", "0:07", "0:07"}));
    EXPECT_EQ(console.standardError(),
              "[OCR] Checking 3 text elements for timer pattern:\n"
              "[OCR]   [1] \"Ringing\"\n"
              "[OCR]   [2] \"0:07\"\n"
              "[OCR]   [3] \"0:07\"\n"
              "[OCR] ✅ Timer found (exact match): \"0:07\" → IN CALL\n");
}

TEST(RingCentralTimer, ExactFlexibleAndNoMatch) {
    for (const std::string line : {"0:07", "12:34", "1:02:33", "\u0660:\u0660\u0667"})
        EXPECT_EQ(verdictLine(line), exact(line)) << line;
    // Flexible readings: over-long, embedded, trailing blank, clipped, date-times.
    for (const std::string line : {"123:45", "Call 10:30", "0:07 ", "5:", "1:2", "x:00", "12:34:56:78", "00:07\u00A0"})
        EXPECT_EQ(verdictLine(line), flexible(line)) << line;
    for (const std::string line : {"10 30", "Ringing", "", ":", "a:b", "0 : 07", "\uFF10\uFF1A\uFF10\uFF17"})
        EXPECT_EQ(verdictLine(line), kNoTimer) << line;
}

TEST(RingCentralTimer, FirstMatchingLineDecidesEvenIfALaterOneIsExact) {
    RingCentralTimerDetector detector;
    RecordingConsole console;
    EXPECT_TRUE(detector.detectCallFromOCR(console, {"Call 10:30", "0:07"}));
    const std::string& err = console.standardError();
    EXPECT_TRUE(err.ends_with(flexible("Call 10:30")));
    EXPECT_EQ(err.find("exact match"), std::string::npos);
}

namespace {

RingCentralStatusMachine after(const std::vector<bool>& verdicts) {
    RingCentralStatusMachine machine;
    RecordingConsole ignored;
    for (bool verdict : verdicts) machine.handleStatusChange(ignored, verdict);
    return machine;
}

const std::string kInitial = "Initial status: Available\nNotConnected\n";
const std::string kDialing = "Status changed to Dialing (Timer detected via OCR)\nisDialing\n";
const std::string kEnded = "Status changed to Available (Timer absent)\nNotConnected\n";

}  // namespace

// One test per row of the transition table: the run reaches the row's starting state, and the
// last verdict is the row itself.
TEST(RingCentralStatusMachine, EveryTransition) {
    struct Row {
        std::vector<bool> setup;
        bool verdict;
        std::string output;  // of the last verdict only
        bool dialingAfter;
        std::optional<std::string> statusAfter;
        std::int64_t detections;
        std::int64_t misses;
        bool result;
    };
    const std::vector<Row> rows = {
        {{}, true, "", false, std::nullopt, 1, 0, true},                           // Start, below 2
        {{false}, true, "", false, "Available", 1, 0, true},                       // Available, below 2
        {{true}, true, kDialing, true, "Dialing", 2, 0, true},                     // Start, reaches 2
        {{false, true}, true, kDialing, true, "Dialing", 2, 0, true},              // Available, reaches 2
        {{true, true}, true, "", true, "Dialing", 3, 0, true},                     // Dialing, true
        {{true, true, false}, true, "", true, "Dialing", 1, 0, true},              // Dialing, true after a miss
        {{}, false, kInitial, false, "Available", 0, 1, true},                     // Start, false
        {{true}, false, kInitial, false, "Available", 0, 1, true},                 // Start after a sighting
        {{false}, false, "", false, "Available", 0, 2, false},                     // Available, false
        {{true, true}, false, "", true, "Dialing", 0, 1, true},                    // Dialing, misses below 3
        {{true, true, false}, false, "", true, "Dialing", 0, 2, true},
        {{true, true, false, false}, false, kEnded, false, "Available", 0, 3, true},  // misses reach 3
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE("row " + std::to_string(i + 1));
        const Row& row = rows[i];
        RingCentralStatusMachine machine = after(row.setup);
        RecordingConsole console;
        EXPECT_EQ(machine.handleStatusChange(console, row.verdict), row.result);
        EXPECT_EQ(console.standardOutput(), row.output);
        EXPECT_EQ(console.flushCount(), row.output.empty() ? 0 : 1);
        EXPECT_EQ(console.standardError(), "");
        EXPECT_EQ(machine.isDialing(), row.dialingAfter);
        EXPECT_EQ(machine.previousStatus(), row.statusAfter);
        EXPECT_EQ(machine.consecutiveDetections(), row.detections);
        EXPECT_EQ(machine.consecutiveMisses(), row.misses);
    }
}

// Isolated misses during a call are absorbed and sightings broken by a miss never add up.
TEST(RingCentralStatusMachine, DebouncedCall) {
    RingCentralStatusMachine machine;
    RecordingConsole console;
    std::vector<bool> results;
    for (bool verdict : {true, false, true, true, false, false, true, false, false, false, true, false})
        results.push_back(machine.handleStatusChange(console, verdict));
    EXPECT_EQ(console.standardOutput(), kInitial + kDialing + kEnded);
    EXPECT_EQ(console.flushCount(), 3);
    EXPECT_EQ(console.standardError(), "");
    EXPECT_EQ(results, (std::vector<bool>{true, true, true, true, true, true, true, true, true, true, true, false}));
}
