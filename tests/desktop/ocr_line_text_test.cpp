// What the recogniser reads from a line's letters besides its plain text.

#include <gtest/gtest.h>

#include "platform/linux/ocr/LineText.h"

namespace {

using namespace platform::tess;

// Letters 20 pixels high for x-height letters; `dashWidth` for the dash given.
std::vector<WordReading> banner(const std::string& dash, int dashWidth) {
    auto letters = [](const std::string& word) {
        WordReading reading;
        for (char c : word) reading.push_back({std::string(1, c), 18, std::islower(c) ? 20 : 27, {}});
        return reading;
    };
    return {letters("Jane"), letters("Doe"), {{dash, dashWidth, 4, {}}}};
}

TEST(LineText, WordsAreSpelledWithSingleBlanks) {
    EXPECT_EQ(spell(banner("-", 10)), "Jane Doe -");
    EXPECT_EQ(spell({}), "");
}

TEST(LineText, DashesAreNamedByTheirLength) {
    auto shortEm = banner("\u2014", 20);   // read as an em dash, but only one x-height long
    settleDashes(shortEm);
    EXPECT_EQ(spell(shortEm), "Jane Doe \u2013");

    auto longHyphen = banner("-", 40);     // read as a hyphen, but two x-heights long
    settleDashes(longHyphen);
    EXPECT_EQ(spell(longHyphen), "Jane Doe \u2014");

    for (const auto& [dash, width] : std::vector<std::pair<std::string, int>>{{"-", 10}, {"\u2013", 18}, {"\u2014", 36}}) {
        auto plausible = banner(dash, width);
        settleDashes(plausible);
        EXPECT_EQ(spell(plausible), "Jane Doe " + dash);
    }
}

TEST(LineText, DashesAreLeftAloneWithoutLettersToMeasureBy) {
    std::vector<WordReading> alone{{{"J", 18, 27, {}}}, {{"\u2014", 20, 4, {}}}};
    settleDashes(alone);
    EXPECT_EQ(spell(alone), "J \u2014");
}

TEST(LineText, PhantomLettersAndEmptiedWordsAreDropped) {
    auto words = banner("-", 10);
    words.back().back().phantom = true;
    words.front()[1].phantom = true;
    dropPhantoms(words);
    EXPECT_EQ(spell(words), "Jne Doe");
}

TEST(LineText, RunnersUpChangeOneLetterClosestCallFirst) {
    std::vector<WordReading> timer{{{"6", 10, 20, {{"0", 1.0f}, {"9", 3.2f}, {"@", 30.0f}}},
                                    {"1", 10, 20, {{"l", 2.0f}}},
                                    {":", 4, 12, {{" ", 0.5f}}},
                                    {"1", 10, 20, {{"1", 0.1f}}},
                                    {"5", 10, 20, {}}}};
    EXPECT_EQ(runnersUp(timer, 2, 8.0f), (std::vector<std::string>{"01:15", "6l:15"}));
    EXPECT_EQ(runnersUp(timer, 5, 8.0f), (std::vector<std::string>{"01:15", "6l:15", "91:15"}));
    EXPECT_EQ(runnersUp(timer, 5, 1.5f), (std::vector<std::string>{"01:15"}));
    EXPECT_TRUE(runnersUp(timer, 0, 8.0f).empty());
}

TEST(LineText, RunnersUpNeverRepeatTheLineOrEachOther) {
    // The engine may list one choice twice, or the chosen letter again.
    std::vector<WordReading> word{{{"l", 5, 20, {{"l", 0.5f}, {"1", 1.0f}, {"1", 2.0f}}}, {"o", 5, 20, {}}}};
    EXPECT_EQ(runnersUp(word, 5, 8.0f), (std::vector<std::string>{"1o"}));
}

}  // namespace
