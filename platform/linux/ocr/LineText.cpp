#include "LineText.h"

#include <algorithm>
#include <string_view>

namespace platform::tess {

namespace {

constexpr std::string_view kHyphen = "-";
constexpr std::string_view kEnDash = "\u2013";
constexpr std::string_view kEmDash = "\u2014";
// Dash length over x-height: hyphens and en dashes measure up to about 1.0, em dashes from
// about 1.5 (monospaced fonts draw every dash one cell wide and stay below).
constexpr double kEmDashFromXHeights = 1.3;

bool isXHeightLetter(const std::string& text) {
    return text.size() == 1 && std::string_view("acemnorsuvwxz").find(text[0]) != std::string_view::npos;
}

bool isDash(const std::string& text) { return text == kHyphen || text == kEnDash || text == kEmDash; }

}  // namespace

std::string spell(const std::vector<WordReading>& words) {
    std::string text;
    for (const auto& word : words) {
        if (!text.empty()) text += ' ';
        for (const auto& symbol : word) text += symbol.text;
    }
    return text;
}

void dropPhantoms(std::vector<WordReading>& words) {
    for (auto& word : words) std::erase_if(word, [](const SymbolReading& symbol) { return symbol.phantom; });
    std::erase_if(words, [](const WordReading& word) { return word.empty(); });
}

void settleDashes(std::vector<WordReading>& words) {
    std::vector<int> heights;
    for (const auto& word : words) {
        for (const auto& symbol : word) {
            if (isXHeightLetter(symbol.text) && symbol.height > 0) heights.push_back(symbol.height);
        }
    }
    if (heights.size() < 2) return;
    std::nth_element(heights.begin(), heights.begin() + static_cast<std::ptrdiff_t>(heights.size() / 2), heights.end());
    const double xHeight = heights[heights.size() / 2];
    for (auto& word : words) {
        for (auto& symbol : word) {
            if (!isDash(symbol.text)) continue;
            const bool long_ = symbol.width >= kEmDashFromXHeights * xHeight;
            if (symbol.text == kEmDash && !long_) symbol.text = kEnDash;
            else if (symbol.text != kEmDash && long_) symbol.text = kEmDash;
        }
    }
}

std::vector<std::string> runnersUp(const std::vector<WordReading>& words, int wanted, float maxCostGap) {
    struct Doubt {
        float gap;
        std::size_t word;
        std::size_t symbol;
        const std::string* replacement;
    };
    std::vector<Doubt> doubts;
    for (std::size_t w = 0; w < words.size(); ++w) {
        for (std::size_t s = 0; s < words[w].size(); ++s) {
            for (const auto& [text, gap] : words[w][s].alternatives) {
                if (gap <= maxCostGap && !text.empty() && text != " " && text != words[w][s].text) {
                    doubts.push_back({gap, w, s, &text});
                }
            }
        }
    }
    std::stable_sort(doubts.begin(), doubts.end(), [](const Doubt& a, const Doubt& b) { return a.gap < b.gap; });
    const std::string original = spell(words);
    std::vector<std::string> readings;
    for (const auto& doubt : doubts) {
        if (static_cast<int>(readings.size()) >= wanted) break;
        auto changed = words;
        changed[doubt.word][doubt.symbol].text = *doubt.replacement;
        std::string text = spell(changed);
        if (text != original && std::find(readings.begin(), readings.end(), text) == readings.end()) {
            readings.push_back(std::move(text));
        }
    }
    return readings;
}

}  // namespace platform::tess
