#include "linewarden/text/UnicodeText.h"

#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>

namespace linewarden {

namespace {

// Most recognised text is plain ASCII, which is already in NFC and lower-cases byte by byte;
// these fast paths keep ICU out of the common case.
bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool isValidUtf8(std::string_view text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    if (static_cast<std::size_t>(length) != text.size()) return false;  // beyond ICU's int32 lengths
    std::int32_t i = 0;
    while (i < length) {
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        if (c < 0) return false;
    }
    return true;
}

icu::UnicodeString toUnicode(std::string_view text) {
    // fromUTF8 substitutes U+FFFD for every ill-formed sequence.
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
}

std::string toUtf8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

std::string nfcOfNonAscii(std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status) || nfc == nullptr) return toValidUtf8(text);
    const icu::UnicodeString normalized = nfc->normalize(toUnicode(text), status);
    if (U_FAILURE(status)) return toValidUtf8(text);
    return toUtf8(normalized);
}

}  // namespace

std::string toValidUtf8(std::string_view text) {
    if (isAscii(text) || isValidUtf8(text)) return std::string(text);
    return toUtf8(toUnicode(text));
}

std::string normalizedNFC(std::string_view text) {
    if (isAscii(text)) return std::string(text);
    return nfcOfNonAscii(text);
}

bool equalsCanonically(std::string_view a, std::string_view b) {
    if (a == b) return true;
    if (isAscii(a) && isAscii(b)) return false;
    return normalizedNFC(a) == normalizedNFC(b);
}

bool containsCanonically(std::string_view text, std::string_view part) {
    if (isAscii(text) && isAscii(part)) return text.find(part) != std::string_view::npos;
    return normalizedNFC(text).find(normalizedNFC(part)) != std::string::npos;
}

bool endsWithCanonically(std::string_view text, std::string_view suffix) {
    if (isAscii(text) && isAscii(suffix)) return text.ends_with(suffix);
    return std::string_view(normalizedNFC(text)).ends_with(normalizedNFC(suffix));
}

std::string lowercased(std::string_view text) {
    if (isAscii(text)) {
        std::string out(text);
        for (char& c : out)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return out;
    }
    icu::UnicodeString unicode = toUnicode(text);
    unicode.toLower(icu::Locale::getRoot());
    return toUtf8(unicode);
}

std::string trimmedWhitespaceAndNewlines(std::string_view text) {
    const std::string valid = toValidUtf8(text);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(valid.data());
    const auto length = static_cast<std::int32_t>(valid.size());

    std::int32_t begin = 0;
    while (begin < length) {
        std::int32_t next = begin;
        UChar32 c = 0;
        U8_NEXT(bytes, next, length, c);
        if (c < 0 || !u_isUWhiteSpace(c)) break;
        begin = next;
    }
    std::int32_t end = length;
    while (end > begin) {
        std::int32_t previous = end;
        UChar32 c = 0;
        U8_PREV(bytes, begin, previous, c);
        if (c < 0 || !u_isUWhiteSpace(c)) break;
        end = previous;
    }
    return valid.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin));
}

// The pattern, one matcher bound to it, and the text being searched, kept together on the heap
// because the matcher refers to both by address.
struct Regex::Compiled {
    std::unique_ptr<icu::RegexPattern> pattern;
    std::unique_ptr<icu::RegexMatcher> matcher;
    icu::UnicodeString input;
};

Regex::Regex(std::unique_ptr<Compiled> compiled) : compiled_(std::move(compiled)) {}
Regex::Regex(Regex&&) noexcept = default;
Regex& Regex::operator=(Regex&&) noexcept = default;
Regex::~Regex() = default;

std::optional<Regex> Regex::compile(std::string_view pattern) {
    auto compiled = std::make_unique<Compiled>();
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError{};
    compiled->pattern.reset(icu::RegexPattern::compile(toUnicode(pattern), 0, parseError, status));
    if (U_FAILURE(status) || !compiled->pattern) return std::nullopt;
    compiled->matcher.reset(compiled->pattern->matcher(status));
    if (U_FAILURE(status) || !compiled->matcher) return std::nullopt;
    return Regex(std::move(compiled));
}

bool Regex::find(std::string_view text) {
    compiled_->input = toUnicode(text);
    compiled_->matcher->reset(compiled_->input);
    UErrorCode status = U_ZERO_ERROR;
    const bool found = compiled_->matcher->find(status);
    return U_SUCCESS(status) && found;
}

}  // namespace linewarden
