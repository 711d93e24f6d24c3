#pragma once

// The page corpus: local pages styled as each dialer might look, with the verdict each must get.
// Shared by the corpus test (real windows under X) and the recognition benchmark.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"

namespace corpus {

enum class Dialer { kixie, ringCentral, trellus, zoom };

struct Case {
    std::string name;       // also the page's title, so that its window can be found
    std::string page;       // file name inside the corpus directory
    std::vector<std::pair<std::string, std::string>> params;  // query parameters, in order
    int windowWidth = 0;
    int windowHeight = 0;
    Dialer dialer = Dialer::kixie;
    bool inCall = false;
    bool busy = false;      // the text stands on a background that is not a flat fill
    bool moving = false;    // animated content behind the page: no two captures agree
    bool knownMiss = false; // read wrong today; at most one case in a hundred may be
};

// The cases of `cases.json` in the corpus directory; nothing when the file cannot be read.
std::optional<std::vector<Case>> loadCases(const std::string& corpusDirectory);

// The file:// address of a case's page, with its parameters and its name as the title.
std::string pageUrl(const Case& c, const std::string& corpusDirectory);
// The same query, without the page, for a page that loads one case after another.
std::string pageQuery(const Case& c);

// The style sweep: pages of the template `styles.html`, generated over grids of the styles
// people set, each dialer in a call and idle.
// Secondary text: the state in 9-12 px grey text of contrast 3:1 to 4.5:1 to its band, light on
// dark and dark on light, beside a bold logo and darker text, in DejaVu, Liberation, Noto and URW
// sans. Every size, font and polarity meet each other; the contrast and the state run across
// them so that each also meets every size and font.
std::vector<Case> secondaryTextSweep();
// Timers in calls at 9 and 10 px, where a colon's points are a pixel each and blur into the digits
// beside them: RingCentral's and Zoom's timers of every form, in each font, polarity and band, at
// two contrasts each.
std::vector<Case> secondaryTimerSweep();
// High-contrast themes: black or white pages in the high-contrast palettes, the state in a pill
// drawn as an outline or filled, in each palette.
std::vector<Case> highContrastSweep();

const char* dialerName(Dialer dialer);

// What the dialer's monitor makes of one capture of the window: the region it crops, the text
// it recognises there with its own settings, and its classifier's verdict.
struct Reading {
    platform::PixelRect region;
    std::vector<std::string> lines;
    bool verdict = false;
    double recognitionMilliseconds = 0;
};
Reading readCapture(const Case& c, const platform::Image& capture, platform::TextRecognizer& recognizer);

}  // namespace corpus
