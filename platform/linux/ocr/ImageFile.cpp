#include "ImageFile.h"

#include <leptonica/allheaders.h>

#include <memory>

#include "LeptonicaQuiet.h"

namespace platform::tess {

namespace {
struct PixDeleter {
    void operator()(Pix* pix) const { pixDestroy(&pix); }
};
using PixPtr = std::unique_ptr<Pix, PixDeleter>;
}  // namespace

std::optional<Image> readImageFile(const std::string& path) {
    silenceLeptonica();
    PixPtr read(pixRead(path.c_str()));
    if (!read) return std::nullopt;
    PixPtr rgb(pixConvertTo32(read.get()));
    if (!rgb) return std::nullopt;
    const int width = static_cast<int>(pixGetWidth(rgb.get()));
    const int height = static_cast<int>(pixGetHeight(rgb.get()));
    const bool hasAlpha = pixGetSpp(read.get()) == 4;
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        const l_uint32* row = pixGetData(rgb.get()) + static_cast<std::ptrdiff_t>(y) * pixGetWpl(rgb.get());
        for (int x = 0; x < width; ++x) {
            l_int32 r = 0, g = 0, b = 0, a = 255;
            extractRGBAValues(row[x], &r, &g, &b, &a);
            std::uint8_t* out = &rgba[(static_cast<std::size_t>(y) * width + x) * 4];
            out[0] = static_cast<std::uint8_t>(r);
            out[1] = static_cast<std::uint8_t>(g);
            out[2] = static_cast<std::uint8_t>(b);
            out[3] = static_cast<std::uint8_t>(hasAlpha ? a : 255);
        }
    }
    return Image(width, height, std::move(rgba));
}

bool writePng(const Image& image, const std::string& path) {
    silenceLeptonica();
    if (!image.readable() || image.width() <= 0 || image.height() <= 0) return false;
    PixPtr pix(pixCreate(image.width(), image.height(), 32));
    if (!pix) return false;
    for (int y = 0; y < image.height(); ++y) {
        l_uint32* row = pixGetData(pix.get()) + static_cast<std::ptrdiff_t>(y) * pixGetWpl(pix.get());
        for (int x = 0; x < image.width(); ++x) {
            const std::uint8_t* in = &image.rgba()[(static_cast<std::size_t>(y) * image.width() + x) * 4];
            composeRGBPixel(in[0], in[1], in[2], &row[x]);
        }
    }
    return pixWrite(path.c_str(), pix.get(), IFF_PNG) == 0;
}

bool writePng(const GreyImage& image, const std::string& path) {
    silenceLeptonica();
    if (image.width <= 0 || image.height <= 0) return false;
    PixPtr pix(pixCreate(image.width, image.height, 8));
    if (!pix) return false;
    for (int y = 0; y < image.height; ++y) {
        l_uint32* row = pixGetData(pix.get()) + static_cast<std::ptrdiff_t>(y) * pixGetWpl(pix.get());
        for (int x = 0; x < image.width; ++x) SET_DATA_BYTE(row, x, image.at(x, y));
    }
    return pixWrite(path.c_str(), pix.get(), IFF_PNG) == 0;
}

}  // namespace platform::tess
