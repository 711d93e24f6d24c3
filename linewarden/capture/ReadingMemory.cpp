#include "linewarden/capture/ReadingMemory.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <span>

#include "linewarden/capture/TextRecognition.h"

namespace linewarden {

namespace {

// Two independent 64-bit lanes over 8-byte words; each lane alone would already make an
// accidental match of two different screens vanishingly unlikely.
class Fingerprinter {
public:
    void word(std::uint64_t w) {
        a_ = std::rotl(a_ ^ w, 29) * 0x9E3779B97F4A7C15ull;
        b_ = (std::rotl(b_ + w, 31) ^ (b_ >> 17)) * 0xC2B2AE3D27D4EB4Full;
    }
    void bytes(std::span<const std::uint8_t> data) {
        std::size_t i = 0;
        for (; i + 8 <= data.size(); i += 8) {
            std::uint64_t w;
            std::memcpy(&w, data.data() + i, 8);
            word(w);
        }
        std::uint64_t tail = 0;
        if (i < data.size()) std::memcpy(&tail, data.data() + i, data.size() - i);  // an empty span may have no data
        word(tail);
        word(data.size());
    }
    void text(const std::string& s) { bytes({reinterpret_cast<const std::uint8_t*>(s.data()), s.size()}); }
    ImageFingerprint finish() const { return {mix(a_ ^ std::rotl(b_, 32)), mix(b_ + a_)}; }

private:
    static std::uint64_t mix(std::uint64_t x) {
        x ^= x >> 33;
        x *= 0xFF51AFD7ED558CCDull;
        x ^= x >> 33;
        x *= 0xC4CEB9FE1A85EC53ull;
        return x ^ (x >> 33);
    }
    std::uint64_t a_ = 0x243F6A8885A308D3ull;
    std::uint64_t b_ = 0x13198A2E03707344ull;
};

bool within(const platform::PixelRect& inner, const platform::PixelRect& outer) {
    return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.width <= outer.x + outer.width &&
           inner.y + inner.height <= outer.y + outer.height;
}

}  // namespace

ImageFingerprint fingerprintOf(const platform::Image& image) {
    Fingerprinter f;
    f.word(static_cast<std::uint64_t>(image.width()) << 32 | static_cast<std::uint32_t>(image.height()));
    f.word(image.readable() ? 1 : 0);
    f.bytes(image.rgba());
    f.word(image.text().size());
    for (const auto& observation : image.text()) {
        f.word(observation.candidates.size());
        for (const auto& candidate : observation.candidates) f.text(candidate);
        if (const auto& box = observation.box) {
            f.word(static_cast<std::uint64_t>(static_cast<std::uint32_t>(box->x)) << 32 |
                   static_cast<std::uint32_t>(box->y));
            f.word(static_cast<std::uint64_t>(static_cast<std::uint32_t>(box->width)) << 32 |
                   static_cast<std::uint32_t>(box->height));
        } else {
            f.word(~0ull);
        }
    }
    return f.finish();
}

std::optional<Reading> ReadingMemory::capture(platform::Platform& platform, const platform::ShareableWindow& window,
                                              int widthPixels, int heightPixels,
                                              const platform::RegionOfCapture* regionOf) {
    if (remembered_ && remembered_->window == window.windowID && remembered_->requestedWidth == widthPixels &&
        remembered_->requestedHeight == heightPixels && remembered_->recognised && remembered_->ofLastCapture &&
        platform.textRecognizer.repeatable()) {
        const int w = remembered_->capturedWidth;
        const int h = remembered_->capturedHeight;
        auto& screen = platform.screenCapture;
        const bool unchanged =
            regionOf ? screen.regionUnchangedSinceLastCapture(window, widthPixels, heightPixels,
                                                              platform::clippedRect((*regionOf)(w, h), w, h))
                     : screen.unchangedSinceLastCapture(window, widthPixels, heightPixels);
        if (unchanged) return Reading{w, h, remembered_->readable, std::nullopt, {0, 0, w, h}, {0, 0, w, h}};
    }
    std::optional<Reading> reading;
    if (regionOf) {
        if (auto taken = platform.screenCapture.captureWindowRegion(window, widthPixels, heightPixels, *regionOf)) {
            reading = Reading{taken->width,           taken->height, taken->readable, std::move(taken->pixels),
                              taken->region,          {0, 0, taken->width, taken->height}};
        }
    } else if (auto image = platform.screenCapture.captureWindow(window, widthPixels, heightPixels)) {
        const int w = image->width();
        const int h = image->height();
        const bool readable = image->readable();
        reading = Reading{w, h, readable, std::move(image), {0, 0, w, h}, {0, 0, w, h}};
    }
    if (!remembered_ || remembered_->window != window.windowID) {
        remembered_.emplace();
        remembered_->window = window.windowID;
    }
    remembered_->ofLastCapture = false;
    if (!reading) return std::nullopt;
    remembered_->requestedWidth = widthPixels;
    remembered_->requestedHeight = heightPixels;
    remembered_->capturedWidth = reading->width;
    remembered_->capturedHeight = reading->height;
    remembered_->readable = reading->readable;
    return reading;
}

std::optional<Reading> ReadingMemory::crop(const Reading& capture, const platform::PixelRect& rect) const {
    const platform::PixelRect kept = platform::clippedRect(rect, capture.width, capture.height);
    const platform::PixelRect inCapture{capture.region.x + kept.x, capture.region.y + kept.y, kept.width, kept.height};
    if (capture.image) {
        // A region capture holds the pixels of its region only, which is what is cropped of it.
        if (!within(kept, capture.taken)) return std::nullopt;
        auto region = capture.image->cropped(
            {kept.x - capture.taken.x, kept.y - capture.taken.y, kept.width, kept.height});
        if (!region) return std::nullopt;
        const int w = region->width();
        const int h = region->height();
        return Reading{w, h, true, std::move(region), {0, 0, w, h}, inCapture};
    }
    if (!capture.readable || kept.width == 0 || kept.height == 0) return std::nullopt;
    return Reading{kept.width, kept.height, true, std::nullopt, {0, 0, kept.width, kept.height}, inCapture};
}

std::vector<std::string> ReadingMemory::recognize(platform::Platform& platform, const Reading& reading,
                                                  const platform::RecognitionSettings& settings) {
    if (!reading.image) {
        // A stand-in is only handed out while the remembered recognition is of the latest capture.
        const bool same = remembered_ && remembered_->recognised && remembered_->ofLastCapture &&
                          remembered_->region == reading.region && remembered_->settings == settings;
        return same ? remembered_->lines : std::vector<std::string>{};
    }
    const platform::Image& image = *reading.image;
    if (!remembered_ || !platform.textRecognizer.repeatable()) return performOCR(platform, image, settings);

    const ImageFingerprint fingerprint = fingerprintOf(image);
    Remembered& memory = *remembered_;
    if (memory.recognised && memory.fingerprint == fingerprint && memory.settings == settings) {
        memory.ofLastCapture = true;
        memory.region = reading.region;
        return memory.lines;
    }
    memory.recognised = false;
    std::vector<std::string> lines;
    if (image.readable()) {
        const platform::RecognitionOutcome outcome = platform.textRecognizer.recognize(image, settings);
        lines = collectCandidates(outcome.observations, settings.maximumCandidates);
        if (!outcome.succeeded) return lines;   // not remembered: the next scan asks again
    }
    memory.recognised = true;
    memory.ofLastCapture = true;
    memory.region = reading.region;
    memory.fingerprint = fingerprint;
    memory.settings = settings;
    memory.lines = lines;
    return lines;
}

}  // namespace linewarden
