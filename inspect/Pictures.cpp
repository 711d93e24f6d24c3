#include "inspect/Pictures.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <string_view>

namespace inspect {

namespace {

constexpr std::array<std::uint8_t, 3> kMarkColour{230, 0, 0};
constexpr int kMarkThickness = 4;  // pixels of a capture at two pixels per point

// The image's pixels, white when it only describes its text.
std::vector<std::uint8_t> pixelsOf(const platform::Image& image) {
    if (!image.rgba().empty()) return image.rgba();
    return std::vector<std::uint8_t>(static_cast<std::size_t>(image.width()) * image.height() * 4, 255);
}

void appendBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void appendChunk(std::vector<std::uint8_t>& png, std::string_view type, const std::vector<std::uint8_t>& data) {
    appendBigEndian(png, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = png.size();
    png.insert(png.end(), type.begin(), type.end());
    png.insert(png.end(), data.begin(), data.end());
    const auto* covered = png.data() + typeAt;
    appendBigEndian(png, static_cast<std::uint32_t>(crc32(0, covered, static_cast<uInt>(png.size() - typeAt))));
}

std::uint8_t paeth(int left, int up, int upLeft) {
    const int estimate = left + up - upLeft;
    const int toLeft = std::abs(estimate - left);
    const int toUp = std::abs(estimate - up);
    const int toUpLeft = std::abs(estimate - upLeft);
    if (toLeft <= toUp && toLeft <= toUpLeft) return static_cast<std::uint8_t>(left);
    if (toUp <= toUpLeft) return static_cast<std::uint8_t>(up);
    return static_cast<std::uint8_t>(upLeft);
}

// One row filtered with each of PNG's five filters, keeping the one whose bytes, read as signed
// numbers, add up smallest: the usual choice, and good for screenshots' flat fills.
void appendFilteredRow(std::vector<std::uint8_t>& out, const std::uint8_t* row, const std::uint8_t* above,
                       std::size_t bytes) {
    constexpr std::size_t kPixel = 3;
    std::array<std::vector<std::uint8_t>, 5> filtered;
    std::size_t best = 0;
    long bestCost = -1;
    for (std::size_t filter = 0; filter < filtered.size(); ++filter) {
        auto& candidate = filtered[filter];
        candidate.resize(bytes);
        long cost = 0;
        for (std::size_t i = 0; i < bytes; ++i) {
            const int left = i >= kPixel ? row[i - kPixel] : 0;
            const int up = above ? above[i] : 0;
            const int upLeft = above && i >= kPixel ? above[i - kPixel] : 0;
            int predicted = 0;
            switch (filter) {
                case 1: predicted = left; break;
                case 2: predicted = up; break;
                case 3: predicted = (left + up) / 2; break;
                case 4: predicted = paeth(left, up, upLeft); break;
                default: break;
            }
            candidate[i] = static_cast<std::uint8_t>(row[i] - predicted);
            cost += std::abs(static_cast<int>(static_cast<std::int8_t>(candidate[i])));
        }
        if (bestCost < 0 || cost < bestCost) {
            bestCost = cost;
            best = filter;
        }
    }
    out.push_back(static_cast<std::uint8_t>(best));
    out.insert(out.end(), filtered[best].begin(), filtered[best].end());
}

}  // namespace

platform::Image withRegionMarked(const platform::Image& image, const platform::PixelRect& region) {
    std::vector<std::uint8_t> rgba = pixelsOf(image);
    const int left = std::clamp(region.x, 0, image.width());
    const int top = std::clamp(region.y, 0, image.height());
    const int right = std::clamp(region.x + std::max(region.width, 0), 0, image.width());
    const int bottom = std::clamp(region.y + std::max(region.height, 0), 0, image.height());
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            const bool onFrame = x < left + kMarkThickness || x >= right - kMarkThickness || y < top + kMarkThickness ||
                                 y >= bottom - kMarkThickness;
            if (!onFrame) continue;
            std::uint8_t* pixel = &rgba[(static_cast<std::size_t>(y) * image.width() + x) * 4];
            std::copy(kMarkColour.begin(), kMarkColour.end(), pixel);
            pixel[3] = 255;
        }
    }
    return platform::Image(image.width(), image.height(), std::move(rgba));
}

std::vector<std::uint8_t> encodePng(const platform::Image& image) {
    const int width = image.width();
    const int height = image.height();
    if (width <= 0 || height <= 0) return {};
    const std::vector<std::uint8_t> rgba = pixelsOf(image);

    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    std::vector<std::uint8_t> raw;
    raw.reserve((rowBytes + 1) * height);
    std::vector<std::uint8_t> row(rowBytes);
    std::vector<std::uint8_t> above(rowBytes);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = &rgba[static_cast<std::size_t>(y) * width * 4];
        for (int x = 0; x < width; ++x) std::copy_n(in + x * 4, 3, &row[static_cast<std::size_t>(x) * 3]);
        appendFilteredRow(raw, row.data(), y > 0 ? above.data() : nullptr, rowBytes);
        std::swap(row, above);
    }

    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), Z_DEFAULT_COMPRESSION) !=
        Z_OK) {
        return {};
    }
    packed.resize(packedSize);

    std::vector<std::uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    appendBigEndian(header, static_cast<std::uint32_t>(width));
    appendBigEndian(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, adaptive filters, no interlace
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", packed);
    appendChunk(png, "IEND", {});
    return png;
}

bool writePngFile(const platform::Image& image, const std::filesystem::path& path) {
    const std::vector<std::uint8_t> png = encodePng(image);
    if (png.empty()) return false;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    file.close();
    return !file.fail();
}

}  // namespace inspect
