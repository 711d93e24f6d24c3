#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

#include "linewarden/text/UnicodeText.h"

using namespace linewarden;

TEST(UnicodeText, CanonicallyEquivalentTextsAreEqual) {
    const std::string precomposed = "Caf\u00E9 \u2013 Kixie PowerCall";
    const std::string decomposed = "Cafe\u0301 \u2013 Kixie PowerCall";
    EXPECT_TRUE(equalsCanonically(precomposed, decomposed));
    EXPECT_TRUE(containsCanonically(decomposed, "Caf\u00E9"));
    EXPECT_TRUE(containsCanonically(precomposed, "Cafe\u0301"));
    EXPECT_TRUE(endsWithCanonically("Ren\u00E9", "e\u0301"));
    EXPECT_FALSE(equalsCanonically(precomposed, "Cafe \u2013 Kixie PowerCall"));
    // An accent that composes with the last letter of a match makes it another letter.
    EXPECT_FALSE(containsCanonically("Cafe\u0301", "Cafe"));
    EXPECT_FALSE(containsCanonically("Kixie PowerCall", "kixie"));
    // Compatibility forms are not canonical equivalents.
    EXPECT_FALSE(equalsCanonically("\uFB01le", "file"));
}

TEST(UnicodeText, LowerCasingIsTheFullRootMapping) {
    EXPECT_EQ(lowercased("CALLING Jane"), "calling jane");
    EXPECT_EQ(lowercased("CALL\u0130NG"), "calli\u0307ng");
    EXPECT_EQ(lowercased("\u00C7ALLING"), "\u00E7alling");
    EXPECT_EQ(lowercased("\u00C9LAN \u0391\u039A\u03A4\u0399\u0392\u0395"), "\u00E9lan \u03B1\u03BA\u03C4\u03B9\u03B2\u03B5");
    EXPECT_EQ(lowercased("\uFF21"), "\uFF41");
}

TEST(UnicodeText, TrimsTheUnicodeWhiteSpaceSet) {
    EXPECT_EQ(trimmedWhitespaceAndNewlines(" \t\r\n\v\f\u0085\u00A0\u2028\u2029\u3000\u202F Jane  Doe \u2003\n"), "Jane  Doe");
    EXPECT_EQ(trimmedWhitespaceAndNewlines("\u2028 \u3000"), "");
    EXPECT_EQ(trimmedWhitespaceAndNewlines(""), "");
    // Zero-width space and byte-order mark are format characters, not white space.
    EXPECT_EQ(trimmedWhitespaceAndNewlines("\u200Bx\uFEFF"), "\u200Bx\uFEFF");
}

TEST(UnicodeText, IllFormedUtf8BecomesReplacementCharacters) {
    EXPECT_EQ(toValidUtf8("On Call"), "On Call");
    EXPECT_EQ(toValidUtf8("a\xFF" "b"), "a\uFFFD" "b");
    EXPECT_EQ(toValidUtf8("\xE2\x82"), "\uFFFD");                  // a truncated sequence is one character
    EXPECT_EQ(toValidUtf8("\xC0\xAF"), "\uFFFD\uFFFD");            // overlong forms are never valid
    EXPECT_EQ(toValidUtf8("\xED\xA0\x80"), "\uFFFD\uFFFD\uFFFD");  // nor are encoded surrogates
    EXPECT_EQ(trimmedWhitespaceAndNewlines(" \xFF "), "\uFFFD");
    EXPECT_EQ(lowercased("\xFF" "A"), "\uFFFD" "a");
    EXPECT_TRUE(containsCanonically("\xFFOn Call", "On Call"));
    EXPECT_TRUE(equalsCanonically("\xFF", "\xFE"));  // both read as U+FFFD
}

TEST(UnicodeRegex, CompilesOrAnswersNothing) {
    EXPECT_FALSE(Regex::compile("(\\d").has_value());
    EXPECT_FALSE(Regex::compile("\\d{2,1}").has_value());
    EXPECT_TRUE(Regex::compile("").has_value());
}

TEST(UnicodeRegex, DigitsAreUnicodeDecimalDigitsAndAnchorsSpanTheText) {
    std::optional<Regex> timer = Regex::compile("\\d{2}:\\d{2}");
    ASSERT_TRUE(timer);
    EXPECT_TRUE(timer->find("Meeting 10:30 AM"));
    EXPECT_TRUE(timer->find("\u0661\u0662:\u0663\u0664"));  // Arabic-Indic
    EXPECT_TRUE(timer->find("\uFF11\uFF12:\uFF13\uFF14"));  // fullwidth
    EXPECT_FALSE(timer->find("\u00B9\u00B2:\u00B3\u00B9"));  // superscripts are not decimal digits
    EXPECT_FALSE(timer->find("1:05"));
    EXPECT_TRUE(timer->find("\xFF 12:34"));

    std::optional<Regex> whole = Regex::compile("^\\d{1,2}:\\d{2}$");
    ASSERT_TRUE(whole);
    EXPECT_TRUE(whole->find("0:07"));
    EXPECT_FALSE(whole->find("x\n0:07"));  // no multi-line anchors
    EXPECT_FALSE(whole->find("0:07 "));
}

TEST(UnicodeRegex, StaysUsableAfterAMoveAndAcrossSearches) {
    std::optional<Regex> first = Regex::compile("d:");
    ASSERT_TRUE(first);
    Regex moved = std::move(*first);
    EXPECT_TRUE(moved.find("and: more"));
    EXPECT_FALSE(moved.find("and more"));
    std::optional<Regex> other = Regex::compile("x");
    ASSERT_TRUE(other);
    moved = std::move(*other);
    EXPECT_TRUE(moved.find("box"));
}
