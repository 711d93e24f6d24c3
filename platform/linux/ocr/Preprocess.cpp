#include "Preprocess.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace platform::tess {

namespace {

// A fill holds squares of (2 * radius + 1) pixels across in at least this many places (per
// pixel of radius squared). Glyph strokes of UI text are thinner, so a letter is not a fill.
constexpr int kMinCorePixelsPerRadiusSquared = 6;
// Contrast below this many levels is not stretched to full black: faint marks stay faint.
constexpr int kMinStretchContrast = 96;
// Neighbouring pixels of one fill differ by at most this much per channel (gradients, dithering).
constexpr int kSmoothStep = 3;
// A rim between two fills is a blend of their colours: no pixel of it stands out from its own
// fill by much more than the fills differ from each other.
constexpr int kRimBlendMargin = 24;
// How far around a pixel the other fill of a blend is looked for.
constexpr int kBlendReach = 3;
// A mark grown together from letters and fill edges has at least 1/5 of its pixels standing out.
constexpr int kMinTextShareOfMixedMark = 5;
// A word or a short label is at most this many times as wide as high.
constexpr int kMaxWordAspect = 12;
// Letters and words of one text stand at most this many times their height apart.
constexpr int kNeighbourGapPerHeight = 2;

using Colour = std::array<int, 3>;

std::uint16_t colourKey(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(((p[0] >> 3) << 10) | ((p[1] >> 3) << 5) | (p[2] >> 3));
}

Colour colourAt(const std::vector<std::uint8_t>& rgba, std::size_t p) {
    return {rgba[p * 4], rgba[p * 4 + 1], rgba[p * 4 + 2]};
}

int colourDistance(const std::uint8_t* p, const Colour& c) {
    return std::max({std::abs(p[0] - c[0]), std::abs(p[1] - c[1]), std::abs(p[2] - c[2])});
}

struct Grid {
    int width;
    int height;
    std::size_t size() const { return static_cast<std::size_t>(width) * height; }
    std::size_t at(int x, int y) const { return static_cast<std::size_t>(y) * width + x; }
};

// The bounding box of the pixels added to it.
struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
    void add(int x, int y) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
    }
    int width() const { return right - left + 1; }
    int height() const { return bottom - top + 1; }
    PixelRect rect() const { return {left, top, width(), height()}; }
};

// Union-find over provisional labels, as scanline labelling needs it.
class Equivalences {
public:
    int add() {
        parent_.push_back(static_cast<int>(parent_.size()));
        return parent_.back();
    }
    int find(int a) {
        while (parent_[a] != a) {
            parent_[a] = parent_[parent_[a]];
            a = parent_[a];
        }
        return a;
    }
    void join(int a, int b) {
        a = find(a);
        b = find(b);
        if (a != b) parent_[std::max(a, b)] = std::min(a, b);
    }
    // Renumbers the classes 0..n-1 in `labels` (leaving negative labels alone) and returns n.
    int settle(std::vector<int>& labels) {
        if (parent_.empty()) return 0;  // no class was added, so every label is negative
        std::vector<int> number(parent_.size(), -1);
        int count = 0;
        for (auto& label : labels) {
            if (label < 0) continue;
            const int root = find(label);
            if (number[root] < 0) number[root] = count++;
            label = number[root];
        }
        return count;
    }

private:
    std::vector<int> parent_;
};

// Labels 4-connected areas of one colour, to 5 bits a channel, or of smoothly varying colour: two
// neighbours belong together when their colours quantise alike, or when both lie inside a smooth
// area (no neighbour differing by more than kSmoothStep in any channel). A gradient or a soft
// picture is thus one area, while the anti-aliased edges of lines and letters, which are never
// smooth, keep the areas on either side of them apart. Returns the number of regions.
int labelSmoothRegions(const Grid& grid, const std::vector<std::uint8_t>& rgba, const std::vector<std::uint16_t>& key,
                       std::vector<int>& region) {
    region.assign(grid.size(), -1);
    Equivalences classes;
    const int w = grid.width;
    auto close = [&](std::size_t a, std::size_t b) {
        const std::uint8_t* p = &rgba[a * 4];
        const std::uint8_t* q = &rgba[b * 4];
        return std::abs(p[0] - q[0]) <= kSmoothStep && std::abs(p[1] - q[1]) <= kSmoothStep &&
               std::abs(p[2] - q[2]) <= kSmoothStep;
    };
    std::vector<bool> smooth(grid.size(), true);
    for (int y = 0; y < grid.height; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::size_t p = grid.at(x, y);
            if (x > 0 && !close(p - 1, p)) smooth[p] = smooth[p - 1] = false;
            if (y > 0 && !close(p - w, p)) smooth[p] = smooth[p - w] = false;
        }
    }
    auto near = [&](std::size_t a, std::size_t b) { return key[a] == key[b] || (smooth[a] && smooth[b]); };
    for (int y = 0; y < grid.height; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::size_t p = grid.at(x, y);
            const bool sameLeft = x > 0 && near(p - 1, p);
            const bool sameUp = y > 0 && near(p - w, p);
            if (sameLeft) {
                region[p] = region[p - 1];
                if (sameUp && region[p - w] != region[p]) classes.join(region[p], region[p - w]);
            } else if (sameUp) {
                region[p] = region[p - w];
            } else {
                region[p] = classes.add();
            }
        }
    }
    return classes.settle(region);
}

// Per region, how many of its pixels are the centre of a (2r+1)-square lying wholly inside it.
// The image edge does not cut a square short, so a fill running off the edge keeps its core.
// Row runs give the horizontal extent; column runs of such pixels give the vertical one.
std::vector<int> corePixelCounts(const Grid& grid, const std::vector<int>& region, int regionCount, int r) {
    std::vector<int> counts(regionCount, 0);
    constexpr int kNone = -1;
    std::vector<int> runStart(grid.width, kNone);   // first row of the open column run
    auto closeRun = [&](int x, int lastRow) {
        const int first = runStart[x];
        const int from = first == 0 ? 0 : first + r;
        const int to = lastRow == grid.height - 1 ? lastRow : lastRow - r;
        if (to >= from) counts[region[grid.at(x, first)]] += to - from + 1;
        runStart[x] = kNone;
    };
    for (int y = 0; y < grid.height; ++y) {
        int runBegin = 0;
        for (int x = 0; x < grid.width; ++x) {
            const std::size_t p = grid.at(x, y);
            if (x > 0 && region[p - 1] != region[p]) runBegin = x;
            // The row run's end is found lazily: look ahead r pixels at most.
            int runEnd = x;
            while (runEnd + 1 < grid.width && runEnd - x < r && region[p + (runEnd + 1 - x)] == region[p]) ++runEnd;
            const bool wideLeft = runBegin == 0 || x - runBegin >= r;
            const bool wideRight = runEnd == grid.width - 1 || runEnd - x >= r;
            const bool wide = wideLeft && wideRight;
            if (runStart[x] != kNone && (!wide || region[grid.at(x, y - 1)] != region[p])) closeRun(x, y - 1);
            if (wide && runStart[x] == kNone) runStart[x] = y;
        }
    }
    for (int x = 0; x < grid.width; ++x) {
        if (runStart[x] != kNone) closeRun(x, grid.height - 1);
    }
    return counts;
}

// For every pixel, the fill pixel nearest to it (chessboard distance, two sweeps), or -1 where
// there is no fill at all. Its colour is the ground the pixel stands on.
std::vector<int> nearestFill(const Grid& grid, const std::vector<int>& region, const std::vector<bool>& fill) {
    constexpr std::uint16_t kFar = 0xffff;
    std::vector<int> source(grid.size(), -1);
    std::vector<std::uint16_t> distance(grid.size(), kFar);
    const int w = grid.width;
    const int h = grid.height;
    for (std::size_t p = 0; p < grid.size(); ++p) {
        if (fill[region[p]]) {
            source[p] = static_cast<int>(p);
            distance[p] = 0;
        }
    }
    auto take = [&](std::size_t p, std::size_t q) {
        if (distance[q] != kFar && distance[q] + 1 < distance[p]) {
            distance[p] = static_cast<std::uint16_t>(distance[q] + 1);
            source[p] = source[q];
        }
    };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::size_t p = grid.at(x, y);
            if (distance[p] == 0) continue;
            if (x > 0) take(p, p - 1);
            if (y > 0) {
                take(p, p - w);
                if (x > 0) take(p, p - w - 1);
                if (x + 1 < w) take(p, p - w + 1);
            }
        }
    }
    for (int y = h - 1; y >= 0; --y) {
        for (int x = w - 1; x >= 0; --x) {
            const std::size_t p = grid.at(x, y);
            if (distance[p] == 0) continue;
            if (x + 1 < w) take(p, p + 1);
            if (y + 1 < h) {
                take(p, p + w);
                if (x + 1 < w) take(p, p + w + 1);
                if (x > 0) take(p, p + w - 1);
            }
        }
    }
    return source;
}

// Labels 8-connected groups of the pixels `inSet` picks; the others get -1. Returns their number.
template <class InSet>
int labelGroups(const Grid& grid, InSet inSet, std::vector<int>& label) {
    label.assign(grid.size(), -1);
    Equivalences classes;
    const int w = grid.width;
    for (int y = 0; y < grid.height; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::size_t p = grid.at(x, y);
            if (!inSet(p)) continue;
            int found = -1;
            auto meet = [&](std::size_t q) {
                if (label[q] < 0) return;
                if (found < 0) found = label[q];
                else if (label[q] != found) classes.join(found, label[q]);
            };
            if (x > 0) meet(p - 1);
            if (y > 0) {
                if (x > 0) meet(p - w - 1);
                meet(p - w);
                if (x + 1 < w) meet(p - w + 1);
            }
            label[p] = found >= 0 ? found : classes.add();
        }
    }
    return classes.settle(label);
}

// The most frequent quantised colour, taken from one pixel that has it.
Colour dominantColour(const std::vector<std::uint8_t>& rgba, const std::vector<std::uint16_t>& key) {
    std::vector<int> counts(1 << 15, 0);
    for (auto k : key) ++counts[k];
    const auto mode = static_cast<std::uint16_t>(std::max_element(counts.begin(), counts.end()) - counts.begin());
    const auto at = static_cast<std::size_t>(std::find(key.begin(), key.end(), mode) - key.begin());
    return colourAt(rgba, at);
}

double percentile(std::vector<int> values, double fraction) {
    if (values.empty()) return 0;
    const auto at = values.begin() + static_cast<std::ptrdiff_t>(fraction * (values.size() - 1));
    std::nth_element(values.begin(), at, values.end());
    return *at;
}

// Whether the glyph is a point of a colon: another of about its size stands right above or
// below it, and beside it is text at least twice its height (a timer's digits).
bool isColonPoint(const PixelRect& glyph, const std::vector<PixelRect>& near) {
    auto alike = [](int a, int b) { return 2 * a >= b && 2 * b >= a; };
    const bool stacked = std::any_of(near.begin(), near.end(), [&](const PixelRect& other) {
        const int overlap = std::min(glyph.x + glyph.width, other.x + other.width) - std::max(glyph.x, other.x);
        const int gap = std::max(other.y - (glyph.y + glyph.height), glyph.y - (other.y + other.height));
        return alike(glyph.height, other.height) && alike(glyph.width, other.width) && 2 * overlap >= glyph.width &&
               gap >= 0 && gap <= 3 * glyph.height;
    });
    if (!stacked) return false;
    const int middle = glyph.y + glyph.height / 2;
    return std::any_of(near.begin(), near.end(), [&](const PixelRect& other) {
        const int gap = std::max(other.x - (glyph.x + glyph.width), glyph.x - (other.x + other.width));
        return other.height >= 2 * glyph.height && gap >= 0 && gap <= other.height && middle >= other.y &&
               middle < other.y + other.height;
    });
}

// Whether another mark of about the glyph's height stands beside it on its row, as the letters
// and words of a text do. A lone mark of letter size is mostly a piece of a picture or an edge
// (a curve's outline cut into slivers), or an icon. `others` is in order of the left edge.
bool hasRowNeighbour(const PixelRect& glyph, const std::vector<PixelRect>& others) {
    const int h = glyph.height;
    const int reach = kNeighbourGapPerHeight * h;
    auto from = std::lower_bound(others.begin(), others.end(), glyph.x - reach - kMaxWordAspect * h,
                                 [](const PixelRect& r, int x) { return r.x < x; });
    for (auto other = from; other != others.end() && other->x <= glyph.x + glyph.width + reach; ++other) {
        if (other->x == glyph.x && other->y == glyph.y && other->width == glyph.width && other->height == h) continue;
        if (2 * other->height < h || other->height > 2 * h || other->width > kMaxWordAspect * other->height) continue;
        const int rows = std::min(glyph.y + h, other->y + other->height) - std::max(glyph.y, other->y);
        const int gap = std::max(other->x - (glyph.x + glyph.width), glyph.x - (other->x + other->width));
        if (2 * rows >= std::min(h, other->height) && gap <= reach) return true;
    }
    return false;
}

// The height of the smaller glyphs (first quartile) on plain fills that stand in a row with
// other marks: lower-case letters of the smallest text, mostly. A colon's points are left out:
// counted, they would make a timer's digits look half their size.
double smallTextHeight(const std::vector<PixelRect>& glyphs, const std::vector<bool>& plain,
                       const std::vector<PixelRect>& strays) {
    std::vector<PixelRect> marks = glyphs;
    marks.insert(marks.end(), strays.begin(), strays.end());
    std::sort(marks.begin(), marks.end(), [](const PixelRect& a, const PixelRect& b) { return a.x < b.x; });
    // Colons are looked for among nearby glyphs only; glyphs in order of their left edge.
    std::vector<std::size_t> order(glyphs.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return glyphs[a].x < glyphs[b].x; });
    int tallest = 0;
    for (const auto& glyph : glyphs) tallest = std::max(tallest, glyph.height);
    std::vector<int> heights;
    std::vector<PixelRect> near;
    for (std::size_t k = 0; k < order.size(); ++k) {
        const PixelRect& glyph = glyphs[order[k]];
        if (!plain[order[k]] || !hasRowNeighbour(glyph, marks)) continue;
        if (2 * glyph.height <= tallest) {
            near.clear();
            // A glyph is at most three times as wide as high, and the gap at most its height.
            for (std::size_t j = k; j-- > 0 && glyphs[order[j]].x >= glyph.x - 4 * tallest;) near.push_back(glyphs[order[j]]);
            for (std::size_t j = k + 1; j < order.size() && glyphs[order[j]].x <= glyph.x + glyph.width + tallest; ++j) {
                near.push_back(glyphs[order[j]]);
            }
            if (isColonPoint(glyph, near)) continue;
        }
        heights.push_back(glyph.height);
    }
    return percentile(std::move(heights), 0.25);
}

// Whether the pixel's colour lies between its own ground and another fill's colour close by:
// the anti-aliased edge between the two. Fills of about one colour on both sides make it a
// divider, also no text.
bool blendsFills(const Grid& grid, const std::vector<std::uint8_t>& rgba, const std::vector<int>& region,
                 const std::vector<bool>& fill, const std::vector<int>& source, std::size_t p) {
    if (source[p] < 0) return false;
    const std::uint8_t* own = &rgba[static_cast<std::size_t>(source[p]) * 4];
    const int ownRegion = region[source[p]];
    const int x = static_cast<int>(p % grid.width);
    const int y = static_cast<int>(p / grid.width);
    const std::uint8_t* other = nullptr;
    int otherContrast = -1;
    for (int dy = -kBlendReach; dy <= kBlendReach; ++dy) {
        for (int dx = -kBlendReach; dx <= kBlendReach; ++dx) {
            const int qx = x + dx;
            const int qy = y + dy;
            if (qx < 0 || qy < 0 || qx >= grid.width || qy >= grid.height) continue;
            const std::size_t q = grid.at(qx, qy);
            if (!fill[region[q]] || region[q] == ownRegion) continue;
            const std::uint8_t* c = &rgba[q * 4];
            const int contrast = std::max({std::abs(c[0] - own[0]), std::abs(c[1] - own[1]), std::abs(c[2] - own[2])});
            if (contrast > otherContrast) {
                otherContrast = contrast;
                other = c;
            }
        }
    }
    if (other == nullptr) return false;
    if (otherContrast < kRimBlendMargin) return true;
    // Distance from the segment between the two colours.
    double along = 0, length = 0;
    for (int c = 0; c < 3; ++c) {
        along += (rgba[p * 4 + c] - own[c]) * static_cast<double>(other[c] - own[c]);
        length += static_cast<double>(other[c] - own[c]) * (other[c] - own[c]);
    }
    const double t = std::clamp(along / length, 0.0, 1.0);
    double off = 0;
    for (int c = 0; c < 3; ++c) {
        const double d = rgba[p * 4 + c] - (own[c] + t * (other[c] - own[c]));
        off += d * d;
    }
    return off <= static_cast<double>(kRimBlendMargin) * kRimBlendMargin;
}

// A group of 8-connected pixels on no fill: a letter, a word grown together, a rim, an icon.
struct MarkInfo {
    int owner = -1;         // the fill its first pixel stands on
    Colour firstGround{};
    bool twoFills = false;
    int fillContrast = 0;   // between the fills it stands on
    int strongest = 0;      // its pixels' largest distance from their ground
    bool rim = false;
    bool mixed = false;     // judged pixel by pixel
    Box box;
};

// The marks that enclose a fill on which other marks stand: outlines drawn around text. A
// letter's counter never holds a mark of its own, and is seldom large enough to be a fill.
std::vector<bool> framesAroundText(const Grid& grid, const std::vector<int>& region, const std::vector<bool>& fill,
                                   const std::vector<int>& mark, const std::vector<MarkInfo>& marks, int radius) {
    std::vector<bool> frame(marks.size(), false);
    // Only a mark on two fills (the one it encloses and the one around it) that could hold a fill.
    const int least = 2 * radius + 3;
    std::vector<bool> candidate(marks.size(), false);
    bool any = false;
    for (std::size_t m = 0; m < marks.size(); ++m) {
        candidate[m] = marks[m].twoFills && marks[m].box.width() >= least && marks[m].box.height() >= least;
        any = any || candidate[m];
    }
    if (!any) return frame;
    const auto regionCount = fill.size();
    std::vector<Box> fillBox(regionCount);
    for (int y = 0; y < grid.height; ++y) {
        for (int x = 0; x < grid.width; ++x) {
            const int r = region[grid.at(x, y)];
            if (fill[r]) fillBox[r].add(x, y);
        }
    }
    std::vector<int> marksOn(regionCount, 0);
    for (const auto& info : marks) {
        if (!info.twoFills && info.owner >= 0 && static_cast<std::size_t>(info.owner) < regionCount) ++marksOn[info.owner];
    }
    auto within = [](const Box& inner, const Box& outer) {
        return inner.left > outer.left && inner.right < outer.right && inner.top > outer.top && inner.bottom < outer.bottom;
    };
    for (int y = 0; y < grid.height; ++y) {
        for (int x = 0; x < grid.width; ++x) {
            const std::size_t p = grid.at(x, y);
            const int m = mark[p];
            if (m < 0 || !candidate[m] || frame[m]) continue;
            auto encloses = [&](std::size_t q) {
                const int r = region[q];
                return fill[r] && marksOn[r] > 0 && within(fillBox[r], marks[m].box);
            };
            if ((x + 1 < grid.width && encloses(p + 1)) || (y + 1 < grid.height && encloses(p + grid.width)) ||
                (x > 0 && encloses(p - 1)) || (y > 0 && encloses(p - grid.width))) {
                frame[m] = true;
            }
        }
    }
    return frame;
}

}  // namespace

GreyImage luminance(const Image& image) {
    GreyImage grey{image.width(), image.height(), {}};
    const auto& rgba = image.rgba();
    grey.pixels.resize(static_cast<std::size_t>(grey.width) * grey.height);
    for (std::size_t p = 0; p < grey.pixels.size(); ++p) {
        const std::uint8_t* c = &rgba[p * 4];
        grey.pixels[p] = static_cast<std::uint8_t>((299 * c[0] + 587 * c[1] + 114 * c[2] + 500) / 1000);
    }
    return grey;
}

NormalisedText normaliseForText(const Image& image, int fillRadius) {
    const Grid grid{image.width(), image.height()};
    const auto& rgba = image.rgba();
    NormalisedText result;
    result.grey = {grid.width, grid.height, std::vector<std::uint8_t>(grid.size(), 255)};
    if (grid.size() == 0) return result;
    const int radius = std::max(fillRadius, 1);

    // Smooth regions thick enough to hold text are the fills. Every other pixel stands on the
    // fill nearest to it, on the colour that fill has there.
    std::vector<int> region;
    std::vector<bool> fill;
    // The last owner stands for "no fill anywhere": the image's dominant colour is the ground then.
    Colour anyGround{255, 255, 255};
    {
        std::vector<std::uint16_t> key(grid.size());
        for (std::size_t p = 0; p < grid.size(); ++p) key[p] = colourKey(&rgba[p * 4]);
        const int regionCount = labelSmoothRegions(grid, rgba, key, region);
        const std::vector<int> core = corePixelCounts(grid, region, regionCount, radius);
        fill.resize(regionCount);
        for (int r = 0; r < regionCount; ++r) fill[r] = core[r] >= kMinCorePixelsPerRadiusSquared * radius * radius;
        if (std::find(fill.begin(), fill.end(), true) == fill.end()) anyGround = dominantColour(rgba, key);
    }
    const int regionCount = static_cast<int>(fill.size());
    const int noFill = regionCount;
    std::vector<int> source = nearestFill(grid, region, fill);
    auto ownerOf = [&](std::size_t p) { return source[p] < 0 ? noFill : region[source[p]]; };
    auto groundOf = [&](std::size_t p) { return source[p] < 0 ? anyGround : colourAt(rgba, source[p]); };

    // Marks: 8-connected groups of non-fill pixels. A mark that stands on two fills and is no
    // more than a blend of them is the anti-aliased rim between them (a pill's outline, a
    // divider, a stripe's edge), not text; so is a mark of any colour there too thin or too
    // long for a letter. Letters crossing stripes or the edge of a blob behind a translucent bar
    // stand out from both sides and stay.
    std::vector<int> mark;
    const int markCount = labelGroups(grid, [&](std::size_t p) { return !fill[region[p]]; }, mark);
    std::vector<MarkInfo> marks(markCount);
    std::vector<std::uint8_t> distances(grid.size(), 0);   // from the ground, 0-255
    for (int y = 0; y < grid.height; ++y) {
        for (int x = 0; x < grid.width; ++x) {
            const std::size_t p = grid.at(x, y);
            if (mark[p] < 0) continue;
            MarkInfo& info = marks[mark[p]];
            const Colour ground = groundOf(p);
            distances[p] = static_cast<std::uint8_t>(colourDistance(&rgba[p * 4], ground));
            const int owner = ownerOf(p);
            if (info.owner < 0) {
                info.owner = owner;
                info.firstGround = ground;
            } else if (info.owner != owner) {
                info.twoFills = true;
                const std::uint8_t c[3] = {static_cast<std::uint8_t>(ground[0]), static_cast<std::uint8_t>(ground[1]),
                                           static_cast<std::uint8_t>(ground[2])};
                info.fillContrast = std::max(info.fillContrast, colourDistance(c, info.firstGround));
            }
            info.strongest = std::max(info.strongest, static_cast<int>(distances[p]));
            info.box.add(x, y);
        }
    }
    // Outlines drawn around text (a pill or a button drawn as a frame, as high-contrast themes
    // draw controls) stand out from the fills on both sides like a letter's stroke, but hold a
    // fill with text on it inside: that is no letter, and kept it would close the text in.
    const std::vector<bool> frame = framesAroundText(grid, region, fill, mark, marks, radius);
    auto letterShaped = [&](const Box& box) {
        const int w = box.width();
        const int h = box.height();
        return h >= 2 * radius && h <= 40 * radius && w <= 3 * h && h <= 12 * w;
    };
    // A letter, or a word of letters grown together (small text in a halved image).
    auto wordShaped = [&](const Box& box) {
        return box.height() >= 2 * radius && box.height() <= 40 * radius && box.width() <= kMaxWordAspect * box.height();
    };
    // A mark of no letter's shape on two fills is mostly rims, but on stripes or over moving
    // content it is the letters and the fills' edges grown together: there each pixel is judged
    // by itself, a rim where it blends the fills around it.
    for (int m = 0; m < markCount; ++m) {
        MarkInfo& info = marks[m];
        info.rim = frame[m] ||
                   (info.twoFills && letterShaped(info.box) && info.strongest <= info.fillContrast + kRimBlendMargin);
        info.mixed = !frame[m] && info.twoFills && !letterShaped(info.box);
    }
    // Where few of its pixels stand out, it is a rim all the same (a pill's outline).
    std::vector<bool> blend(grid.size(), false);
    std::vector<int> standingOut(markCount, 0), size(markCount, 0);
    for (std::size_t p = 0; p < grid.size(); ++p) {
        if (mark[p] < 0 || !marks[mark[p]].mixed) continue;
        blend[p] = blendsFills(grid, rgba, region, fill, source, p);
        ++size[mark[p]];
        if (!blend[p]) ++standingOut[mark[p]];
    }
    // Only each pixel's owner is asked for from here on. It takes the place of the nearest fill,
    // and the region map's memory serves the letter parts below: a large window's maps are the
    // bulk of what a scan holds.
    std::vector<int> owner = std::move(source);
    for (auto& o : owner) o = o < 0 ? noFill : region[o];
    std::vector<bool> keepsLetters(markCount, false);
    bool anyKeepsLetters = false;
    for (int m = 0; m < markCount; ++m) {
        if (marks[m].mixed && standingOut[m] * kMinTextShareOfMixedMark < size[m]) {
            keepsLetters[m] = true;
            anyKeepsLetters = true;
        }
    }
    // Its standing-out pixels that group into the shape of a letter or a word are kept even then:
    // text that the edge of a large shape (a picture moving behind a translucent bar) runs
    // through. Letters of small text grow together into words in a halved image.
    std::vector<int> part;
    int partCount = 0;
    if (anyKeepsLetters) {
        part = std::move(region);
        partCount = labelGroups(grid, [&](std::size_t p) { return mark[p] >= 0 && keepsLetters[mark[p]] && !blend[p]; }, part);
    }
    // A part must also stand out from its ground by more than the fills differ, as letters do
    // and the odd rim pixel that escaped the blend test (a pill's rounded end) does not.
    std::vector<Box> partBoxes(partCount);
    std::vector<int> partStrongest(partCount, 0);
    std::vector<int> partMark(partCount, 0);
    for (std::size_t p = 0; partCount > 0 && p < grid.size(); ++p) {
        if (part[p] < 0) continue;
        partBoxes[part[p]].add(static_cast<int>(p % grid.width), static_cast<int>(p / grid.width));
        partStrongest[part[p]] = std::max(partStrongest[part[p]], static_cast<int>(distances[p]));
        partMark[part[p]] = mark[p];
    }
    std::vector<bool> letterPart(partCount);
    for (int k = 0; k < partCount; ++k) {
        letterPart[k] = wordShaped(partBoxes[k]) && partStrongest[k] > marks[partMark[k]].fillContrast + kRimBlendMargin;
    }
    for (int m = 0; m < markCount; ++m) {
        if (keepsLetters[m]) {
            marks[m].mixed = false;
            marks[m].rim = true;
        }
    }
    auto rimPixel = [&](std::size_t p) {
        const MarkInfo& info = marks[mark[p]];
        if (keepsLetters[mark[p]]) return part[p] < 0 || !letterPart[part[p]];
        return info.rim || (info.mixed && blend[p]);
    };
    // Glyph-like marks: not too flat, not too thin, not tiny (dots) and not huge (pictures).
    std::vector<bool> glyphLike(markCount, false);
    std::vector<bool> plainGlyph;   // on one fill, where marks are surely whole letters
    for (int m = 0; m < markCount; ++m) {
        const auto& info = marks[m];
        if (!info.rim && letterShaped(info.box)) {
            glyphLike[m] = true;
            result.glyphs.push_back(info.box.rect());
            plainGlyph.push_back(!info.twoFills);
        }
    }
    for (int k = 0; k < partCount; ++k) {
        if (letterPart[k]) {
            result.glyphs.push_back(partBoxes[k].rect());
            plainGlyph.push_back(false);
        }
    }
    for (int m = 0; m < markCount; ++m) {
        const auto& info = marks[m];
        if (!glyphLike[m] && !info.rim) {
            result.strayMarks.push_back(info.box.rect());
        }
    }
    result.smallTextHeight = smallTextHeight(result.glyphs, plainGlyph, result.strayMarks);
    std::size_t unflat = 0;
    for (std::size_t p = 0; p < grid.size(); ++p) {
        if (mark[p] >= 0 && !glyphLike[mark[p]]) ++unflat;
    }
    result.unflatFraction = static_cast<double>(unflat) / static_cast<double>(grid.size());

    // Stretch each mark so that its strongest pixel reaches black: grey secondary text beside
    // bolder text on the same fill comes out as dark as that text.
    std::vector<bool> drawn(grid.size(), false);
    std::vector<int> strongest(markCount, 0);
    for (std::size_t p = 0; p < grid.size(); ++p) {
        if (mark[p] < 0 || rimPixel(p)) continue;
        drawn[p] = true;
        strongest[mark[p]] = std::max(strongest[mark[p]], static_cast<int>(distances[p]));
    }
    for (std::size_t p = 0; p < grid.size(); ++p) {
        if (!drawn[p]) continue;
        const int stretch = std::max(kMinStretchContrast, strongest[mark[p]]);
        result.grey.pixels[p] = static_cast<std::uint8_t>(255 - std::min(255, distances[p] * 255 / stretch));
    }
    return result;
}

Image halved(const Image& image) {
    const int width = std::max(1, image.width() / 2);
    const int height = std::max(1, image.height() / 2);
    const auto& in = image.rgba();
    std::vector<std::uint8_t> out(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        const int y0 = std::min(2 * y, image.height() - 1);
        const int y1 = std::min(2 * y + 1, image.height() - 1);
        for (int x = 0; x < width; ++x) {
            const int x0 = std::min(2 * x, image.width() - 1);
            const int x1 = std::min(2 * x + 1, image.width() - 1);
            for (int c = 0; c < 4; ++c) {
                auto at = [&](int px, int py) { return in[(static_cast<std::size_t>(py) * image.width() + px) * 4 + c]; };
                out[(static_cast<std::size_t>(y) * width + x) * 4 + c] =
                    static_cast<std::uint8_t>((at(x0, y0) + at(x1, y0) + at(x0, y1) + at(x1, y1) + 2) / 4);
            }
        }
    }
    return Image(width, height, std::move(out));
}

GreyImage cropped(const GreyImage& image, const PixelRect& rect) {
    const int x0 = std::clamp(rect.x, 0, image.width);
    const int y0 = std::clamp(rect.y, 0, image.height);
    const int x1 = std::clamp(rect.x + rect.width, x0, image.width);
    const int y1 = std::clamp(rect.y + rect.height, y0, image.height);
    GreyImage out{x1 - x0, y1 - y0, {}};
    out.pixels.reserve(static_cast<std::size_t>(out.width) * out.height);
    for (int y = y0; y < y1; ++y) {
        const auto row = image.pixels.begin() + static_cast<std::ptrdiff_t>(y) * image.width;
        out.pixels.insert(out.pixels.end(), row + x0, row + x1);
    }
    return out;
}

GreyImage scaled(const GreyImage& image, double factor) {
    GreyImage out;
    out.width = std::max(1, static_cast<int>(std::lround(image.width * factor)));
    out.height = std::max(1, static_cast<int>(std::lround(image.height * factor)));
    out.pixels.resize(static_cast<std::size_t>(out.width) * out.height);
    if (image.pixels.empty()) {
        std::fill(out.pixels.begin(), out.pixels.end(), 255);
        return out;
    }
    const double sx = static_cast<double>(image.width) / out.width;
    const double sy = static_cast<double>(image.height) / out.height;
    for (int y = 0; y < out.height; ++y) {
        const double fy = std::clamp((y + 0.5) * sy - 0.5, 0.0, image.height - 1.0);
        const int y0 = static_cast<int>(fy);
        const int y1 = std::min(y0 + 1, image.height - 1);
        const double wy = fy - y0;
        for (int x = 0; x < out.width; ++x) {
            const double fx = std::clamp((x + 0.5) * sx - 0.5, 0.0, image.width - 1.0);
            const int x0 = static_cast<int>(fx);
            const int x1 = std::min(x0 + 1, image.width - 1);
            const double wx = fx - x0;
            const double top = image.at(x0, y0) * (1 - wx) + image.at(x1, y0) * wx;
            const double bottom = image.at(x0, y1) * (1 - wx) + image.at(x1, y1) * wx;
            out.pixels[static_cast<std::size_t>(y) * out.width + x] =
                static_cast<std::uint8_t>(std::lround(top * (1 - wy) + bottom * wy));
        }
    }
    return out;
}

GreyImage withBorder(const GreyImage& image, int border) {
    GreyImage out{image.width + 2 * border, image.height + 2 * border, {}};
    out.pixels.assign(static_cast<std::size_t>(out.width) * out.height, 255);
    for (int y = 0; y < image.height; ++y) {
        std::copy_n(image.pixels.begin() + static_cast<std::ptrdiff_t>(y) * image.width, image.width,
                    out.pixels.begin() + static_cast<std::ptrdiff_t>(y + border) * out.width + border);
    }
    return out;
}

}  // namespace platform::tess
