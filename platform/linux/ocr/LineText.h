#pragma once

// One recognised line as the engine spells it, letter by letter, and what can be read from that
// besides its plain text: the dash the letters' shapes show and the engine's close second
// readings. Plain data, so that it can be checked without the engine.

#include <string>
#include <vector>

namespace platform::tess {

struct SymbolReading {
    std::string text;     // one character, UTF-8
    int width = 0;        // of its box, in pixels
    int height = 0;
    // The engine's next choices for this letter, each with how much more it costs than the
    // chosen one (0 would be a tie); best first.
    std::vector<std::pair<std::string, float>> alternatives;
    bool phantom = false;  // reported by the engine where the image shows nothing
};

using WordReading = std::vector<SymbolReading>;

// The line's text: its words separated by single blanks.
std::string spell(const std::vector<WordReading>& words);

// Leaves out phantom letters, and words that had nothing else.
void dropPhantoms(std::vector<WordReading>& words);

// The engine tells dashes apart poorly (an en dash often comes out as an em dash), while their
// lengths differ plainly: an em dash is about twice the height of a lower-case letter, a hyphen
// or an en dash at most about that height. Relabels dashes whose length contradicts their
// reading as an em dash, or as a shorter dash. Needs at least two lower-case letters of x-height
// in the line to measure by; otherwise leaves it alone.
void settleDashes(std::vector<WordReading>& words);

// Up to `wanted` further readings of the line, each with one letter replaced by its next choice,
// the closest calls first; only choices within `maxCostGap` of the chosen letter count. Never
// repeats the line's own text or another runner-up.
std::vector<std::string> runnersUp(const std::vector<WordReading>& words, int wanted, float maxCostGap);

}  // namespace platform::tess
