#include "platform/linux/PixelConversion.h"

#include <sys/mman.h>

#include <algorithm>
#include <bit>
#include <cmath>

namespace platform::x11 {

namespace {

constexpr std::uintptr_t kHugePage = 2u << 20;

// A zeroed buffer of `size` bytes. One mapped apart (a large window's pixels at twice their size)
// is touched afresh at every scan, so it is offered to the kernel for huge pages first: filling
// it then costs a few page faults instead of thousands, and in a virtual machine each fault
// costs microseconds.
std::vector<std::uint8_t> zeroedBuffer(std::size_t size) {
    std::vector<std::uint8_t> buffer;
    buffer.reserve(size);
    if (size >= kMappedApartBytes) {
        const auto begin = reinterpret_cast<std::uintptr_t>(buffer.data());
        const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
        const std::uintptr_t last = (begin + size) & ~(kHugePage - 1);
        // Only advice: where huge pages are off or cannot be had, nothing changes.
        if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
    buffer.resize(size);
    return buffer;
}

// One colour channel of a pixel value: where its bits are, and a table from its value to 0..255.
class Channel {
public:
    static std::optional<Channel> fromMask(std::uint32_t mask) {
        if (mask == 0) return std::nullopt;
        const int shift = std::countr_zero(mask);
        const int bits = std::popcount(mask);
        if (bits > 16 || std::countr_one(mask >> shift) != bits) return std::nullopt;   // contiguous only
        Channel channel;
        channel.mask_ = mask;
        channel.shift_ = shift;
        const std::uint32_t maximum = (1u << bits) - 1;
        channel.table_.resize(maximum + 1);
        for (std::uint32_t value = 0; value <= maximum; ++value) {
            channel.table_[value] = static_cast<std::uint8_t>((value * 255 + maximum / 2) / maximum);
        }
        return channel;
    }

    std::uint8_t operator()(std::uint32_t pixel) const { return table_[(pixel & mask_) >> shift_]; }

private:
    std::uint32_t mask_ = 0;
    int shift_ = 0;
    std::vector<std::uint8_t> table_;
};

std::uint32_t readPixel(const std::uint8_t* p, int bytesPerPixel, bool mostSignificantFirst) {
    std::uint32_t value = 0;
    if (mostSignificantFirst) {
        for (int i = 0; i < bytesPerPixel; ++i) value = (value << 8) | p[i];
    } else {
        for (int i = bytesPerPixel - 1; i >= 0; --i) value = (value << 8) | p[i];
    }
    return value;
}

// For each target position along one axis, the source positions it draws from and their
// weights in 1/2^14, summing to exactly 2^14.
struct Kernel {
    static constexpr int kOne = 1 << 14;
    std::vector<std::size_t> first;   // index into taps of each target position's first tap
    std::vector<int> index;
    std::vector<int> weight;

    Kernel(int sourceSize, int targetSize) {
        const double scale = static_cast<double>(targetSize) / sourceSize;
        const double radius = std::max(1.0, 1.0 / scale);   // a wider tent averages when shrinking
        first.reserve(targetSize + 1);
        for (int target = 0; target < targetSize; ++target) {
            first.push_back(index.size());
            const double centre = (target + 0.5) / scale - 0.5;
            const int low = static_cast<int>(std::ceil(centre - radius));
            const int high = static_cast<int>(std::floor(centre + radius));
            std::vector<std::pair<int, double>> taps;   // source position (edges repeat), weight
            double total = 0;
            for (int source = low; source <= high; ++source) {
                const double w = std::max(0.0, 1.0 - std::abs(source - centre) / radius);
                if (w <= 0) continue;
                const int clamped = std::clamp(source, 0, sourceSize - 1);
                if (!taps.empty() && taps.back().first == clamped) {
                    taps.back().second += w;
                } else {
                    taps.emplace_back(clamped, w);
                }
                total += w;
            }
            int given = 0;
            std::size_t heaviest = index.size();
            for (const auto& [source, w] : taps) {
                const int fixed = static_cast<int>(std::lround(w / total * kOne));
                if (index.size() == heaviest || fixed > weight[heaviest]) heaviest = index.size();
                index.push_back(source);
                weight.push_back(fixed);
                given += fixed;
            }
            weight[heaviest] += kOne - given;   // the rounding left-over, so that flat colours stay flat
        }
        first.push_back(index.size());
    }
};

std::uint8_t toByte(int fixedValue) {
    return static_cast<std::uint8_t>(std::clamp((fixedValue + Kernel::kOne / 2) >> 14, 0, 255));
}

// Doubling puts each target pixel a quarter of a pixel from its nearest source pixel: it weighs
// 3/4 of that one and 1/4 of the next one outward (the edge pixel itself at the edges), which
// is what the general kernel computes, rounded the same way.
std::uint8_t quarterMix(unsigned near, unsigned far) { return static_cast<std::uint8_t>((3 * near + far + 2) >> 2); }

// Rows are widened first and then mixed down, like the general kernel, but through a ring of
// three widened rows rather than a whole widened image: the doubled picture of a large window
// is the scan's largest buffer already.
std::vector<std::uint8_t> doubleRgba(std::span<const std::uint8_t> rgba, int width, int height) {
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    const std::size_t wideBytes = rowBytes * 2;
    std::vector<std::uint8_t> ring(wideBytes * 3);
    auto wideRow = [&](int y) { return ring.data() + wideBytes * static_cast<std::size_t>(y % 3); };
    auto widen = [&](int y) {
        const std::uint8_t* in = rgba.data() + rowBytes * y;
        std::uint8_t* out = wideRow(y);
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* left = in + 4 * std::max(x - 1, 0);
            const std::uint8_t* centre = in + 4 * x;
            const std::uint8_t* right = in + 4 * std::min(x + 1, width - 1);
            for (int channel = 0; channel < 4; ++channel) {
                out[8 * x + channel] = quarterMix(centre[channel], left[channel]);
                out[8 * x + 4 + channel] = quarterMix(centre[channel], right[channel]);
            }
        }
    };
    std::vector<std::uint8_t> result = zeroedBuffer(wideBytes * 2 * height);
    widen(0);
    for (int y = 0; y < height; ++y) {
        if (y + 1 < height) widen(y + 1);   // into the slot of row y - 2, no longer needed
        const std::uint8_t* above = wideRow(std::max(y - 1, 0));
        const std::uint8_t* centre = wideRow(y);
        const std::uint8_t* below = wideRow(std::min(y + 1, height - 1));
        std::uint8_t* upper = result.data() + wideBytes * (2 * y);
        std::uint8_t* lower = upper + wideBytes;
        for (std::size_t i = 0; i < wideBytes; ++i) {
            upper[i] = quarterMix(centre[i], above[i]);
            lower[i] = quarterMix(centre[i], below[i]);
        }
    }
    return result;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> convertToRgba(std::span<const std::uint8_t> data, int width, int height,
                                                       const PixelLayout& layout) {
    if (width <= 0 || height <= 0) return std::nullopt;
    if (layout.bitsPerPixel != 16 && layout.bitsPerPixel != 24 && layout.bitsPerPixel != 32) return std::nullopt;
    const auto red = Channel::fromMask(layout.redMask);
    const auto green = Channel::fromMask(layout.greenMask);
    const auto blue = Channel::fromMask(layout.blueMask);
    if (!red || !green || !blue) return std::nullopt;

    const int bytesPerPixel = layout.bitsPerPixel / 8;
    const std::size_t usedPerRow = static_cast<std::size_t>(width) * bytesPerPixel;
    if (layout.bytesPerRow < usedPerRow) return std::nullopt;
    if (data.size() < layout.bytesPerRow * (height - 1) + usedPerRow) return std::nullopt;

    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width) * height * 4);
    std::uint8_t* out = rgba.data();
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = data.data() + layout.bytesPerRow * y;
        for (int x = 0; x < width; ++x, in += bytesPerPixel, out += 4) {
            const std::uint32_t pixel = readPixel(in, bytesPerPixel, layout.mostSignificantFirst);
            out[0] = (*red)(pixel);
            out[1] = (*green)(pixel);
            out[2] = (*blue)(pixel);
            out[3] = 255;
        }
    }
    return rgba;
}

std::vector<std::uint8_t> resizeRgba(std::span<const std::uint8_t> rgba, int width, int height, int targetWidth,
                                     int targetHeight) {
    if (width == targetWidth && height == targetHeight) return {rgba.begin(), rgba.end()};
    if (targetWidth == 2 * width && targetHeight == 2 * height) return doubleRgba(rgba, width, height);
    return resampleRgba(rgba, width, height, targetWidth, targetHeight);
}

std::vector<std::uint8_t> resampleRgba(std::span<const std::uint8_t> rgba, int width, int height, int targetWidth,
                                       int targetHeight) {
    // Rows first, into an intermediate image of the target width and the source height.
    const Kernel across(width, targetWidth);
    std::vector<std::uint8_t> wide(static_cast<std::size_t>(targetWidth) * height * 4);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = rgba.data() + static_cast<std::size_t>(y) * width * 4;
        std::uint8_t* out = wide.data() + static_cast<std::size_t>(y) * targetWidth * 4;
        for (int x = 0; x < targetWidth; ++x) {
            int sum[4] = {0, 0, 0, 0};
            for (std::size_t tap = across.first[x]; tap < across.first[x + 1]; ++tap) {
                const std::uint8_t* pixel = in + across.index[tap] * 4;
                const int w = across.weight[tap];
                for (int channel = 0; channel < 4; ++channel) sum[channel] += w * pixel[channel];
            }
            for (int channel = 0; channel < 4; ++channel) out[x * 4 + channel] = toByte(sum[channel]);
        }
    }

    // Then columns, a whole row at a time.
    const Kernel down(height, targetHeight);
    const std::size_t rowBytes = static_cast<std::size_t>(targetWidth) * 4;
    std::vector<std::uint8_t> result(rowBytes * targetHeight);
    std::vector<int> sum(rowBytes);
    for (int y = 0; y < targetHeight; ++y) {
        std::fill(sum.begin(), sum.end(), 0);
        for (std::size_t tap = down.first[y]; tap < down.first[y + 1]; ++tap) {
            const std::uint8_t* row = wide.data() + static_cast<std::size_t>(down.index[tap]) * rowBytes;
            const int w = down.weight[tap];
            for (std::size_t i = 0; i < rowBytes; ++i) sum[i] += w * row[i];
        }
        std::uint8_t* out = result.data() + static_cast<std::size_t>(y) * rowBytes;
        for (std::size_t i = 0; i < rowBytes; ++i) out[i] = toByte(sum[i]);
    }
    return result;
}

}  // namespace platform::x11
