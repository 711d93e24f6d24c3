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

// Labels 4-connected areas of one quantised colour; returns the number of regions.
int labelFlatRegions(const Grid& grid, const std::vector<std::uint16_t>& key, std::vector<int>& region) {
    region.assign(grid.size(), -1);
    Equivalences classes;
    const int w = grid.width;
    for (int y = 0; y < grid.height; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::size_t p = grid.at(x, y);
            const bool sameLeft = x > 0 && key[p - 1] == key[p];
            const bool sameUp = y > 0 && key[p - w] == key[p];
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

// For every pixel, the fill region nearest to it (chessboard distance, two sweeps); `none`
// where there is no fill at all.
std::vector<int> nearestFill(const Grid& grid, const std::vector<int>& region, const std::vector<bool>& fill, int none) {
    constexpr std::uint16_t kFar = 0xffff;
    std::vector<int> owner(grid.size(), none);
    std::vector<std::uint16_t> distance(grid.size(), kFar);
    const int w = grid.width;
    const int h = grid.height;
    for (std::size_t p = 0; p < grid.size(); ++p) {
        if (fill[region[p]]) {
            owner[p] = region[p];
            distance[p] = 0;
        }
    }
    auto take = [&](std::size_t p, std::size_t q) {
        if (distance[q] != kFar && distance[q] + 1 < distance[p]) {
            distance[p] = static_cast<std::uint16_t>(distance[q] + 1);
            owner[p] = owner[q];
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
    return owner;
}

// Labels 8-connected groups of non-fill pixels ("marks"); fill pixels get -1.
int labelMarks(const Grid& grid, const std::vector<int>& region, const std::vector<bool>& fill, std::vector<int>& mark) {
    mark.assign(grid.size(), -1);
    Equivalences classes;
    const int w = grid.width;
    for (int y = 0; y < grid.height; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::size_t p = grid.at(x, y);
            if (fill[region[p]]) continue;
            int label = -1;
            auto meet = [&](std::size_t q) {
                if (mark[q] < 0) return;
                if (label < 0) label = mark[q];
                else if (mark[q] != label) classes.join(label, mark[q]);
            };
            if (x > 0) meet(p - 1);
            if (y > 0) {
                if (x > 0) meet(p - w - 1);
                meet(p - w);
                if (x + 1 < w) meet(p - w + 1);
            }
            mark[p] = label >= 0 ? label : classes.add();
        }
    }
    return classes.settle(mark);
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

    std::vector<std::uint16_t> key(grid.size());
    for (std::size_t p = 0; p < grid.size(); ++p) key[p] = colourKey(&rgba[p * 4]);

    // Flat regions thick enough to hold text are the fills; each has one colour.
    std::vector<int> region;
    const int regionCount = labelFlatRegions(grid, key, region);
    const std::vector<int> core = corePixelCounts(grid, region, regionCount, radius);
    std::vector<bool> fill(regionCount);
    for (int r = 0; r < regionCount; ++r) fill[r] = core[r] >= kMinCorePixelsPerRadiusSquared * radius * radius;
    // The last ground stands for "no fill anywhere": the image's dominant colour then.
    const int noFill = regionCount;
    std::vector<Colour> ground(regionCount + 1);
    std::vector<bool> seen(regionCount, false);
    for (std::size_t p = 0; p < grid.size(); ++p) {
        if (!seen[region[p]]) {
            seen[region[p]] = true;
            ground[region[p]] = colourAt(rgba, p);
        }
    }
    const std::vector<int> owner = nearestFill(grid, region, fill, noFill);
    if (std::find(fill.begin(), fill.end(), true) == fill.end()) ground[noFill] = dominantColour(rgba, key);

    // Marks: 8-connected groups of non-fill pixels. A mark that stands on two fills is the
    // anti-aliased rim between them (a pill's outline, a divider), not text.
    std::vector<int> mark;
    const int markCount = labelMarks(grid, region, fill, mark);
    struct MarkInfo {
        int owner = -1;
        bool rim = false;
        int left = 1 << 30, right = -1, top = 1 << 30, bottom = -1;
    };
    std::vector<MarkInfo> marks(markCount);
    for (int y = 0; y < grid.height; ++y) {
        for (int x = 0; x < grid.width; ++x) {
            const std::size_t p = grid.at(x, y);
            if (mark[p] < 0) continue;
            MarkInfo& info = marks[mark[p]];
            if (info.owner < 0) info.owner = owner[p];
            else if (info.owner != owner[p]) info.rim = true;
            info.left = std::min(info.left, x);
            info.right = std::max(info.right, x);
            info.top = std::min(info.top, y);
            info.bottom = std::max(info.bottom, y);
        }
    }
    // Glyph-like marks: not too flat, not too thin, not tiny (dots) and not huge (pictures).
    std::vector<int> glyphHeights;
    for (const auto& info : marks) {
        const int w = info.right - info.left + 1;
        const int h = info.bottom - info.top + 1;
        if (!info.rim && h >= 2 * radius && h <= 40 * radius && w <= 3 * h && h <= 12 * w) glyphHeights.push_back(h);
    }
    result.smallTextHeight = percentile(glyphHeights, 0.25);

    // Stretch each ground's marks so that the strongest reaches black.
    std::vector<int> strongest(regionCount + 1, 0);
    for (std::size_t p = 0; p < grid.size(); ++p) {
        if (mark[p] < 0 || marks[mark[p]].rim) continue;
        strongest[owner[p]] = std::max(strongest[owner[p]], colourDistance(&rgba[p * 4], ground[owner[p]]));
    }
    for (std::size_t p = 0; p < grid.size(); ++p) {
        if (mark[p] < 0 || marks[mark[p]].rim) continue;
        const int d = colourDistance(&rgba[p * 4], ground[owner[p]]);
        const int stretch = std::max(kMinStretchContrast, strongest[owner[p]]);
        result.grey.pixels[p] = static_cast<std::uint8_t>(255 - std::min(255, d * 255 / stretch));
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
