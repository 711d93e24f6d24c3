#pragma once

// Unicode-aware text helpers shared by the core. Recognised text and window titles arrive as
// UTF-8 from the platform; these helpers compare them the way a Unicode string type does:
// canonically equivalent strings (a precomposed "é" and "e" followed by a combining acute) are
// equal, lower-casing is the full Unicode mapping, and white space is the Unicode set. Bytes that
// are not valid UTF-8 are read as U+FFFD, so no input can make a helper fail.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace linewarden {

// The text itself when it is valid UTF-8; otherwise a copy in which every ill-formed sequence is
// replaced by U+FFFD. Use it before quoting outside text in a message.
std::string toValidUtf8(std::string_view text);

// Normalisation Form C of the text.
std::string normalizedNFC(std::string_view text);

// Equality and substring tests up to canonical equivalence: both sides are brought to NFC and
// then compared byte for byte. Case-sensitive. An empty part is contained in every text.
bool equalsCanonically(std::string_view a, std::string_view b);
bool containsCanonically(std::string_view text, std::string_view part);
bool endsWithCanonically(std::string_view text, std::string_view suffix);

// Full Unicode lower-case mapping with the root locale ("İ" becomes "i" plus U+0307).
std::string lowercased(std::string_view text);

// The text without Unicode white space and line breaks at either end (the White_Space property:
// tab, line feed, carriage return, U+0085, no-break space, U+2028, U+2029, ideographic space, ...).
std::string trimmedWhitespaceAndNewlines(std::string_view text);

// A compiled regular expression in ICU syntax, where \d is any Unicode decimal digit and, without
// flags, ^ and $ anchor at the start and end of the whole text. Not thread-safe: one matcher is
// reused across searches.
class Regex {
public:
    // Nothing when the pattern does not compile.
    static std::optional<Regex> compile(std::string_view pattern);

    Regex(Regex&&) noexcept;
    Regex& operator=(Regex&&) noexcept;
    ~Regex();

    // True when the pattern matches somewhere in the text.
    bool find(std::string_view text);

private:
    struct Compiled;
    explicit Regex(std::unique_ptr<Compiled> compiled);
    std::unique_ptr<Compiled> compiled_;
};

}  // namespace linewarden
