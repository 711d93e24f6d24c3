#pragma once

// Change-aware reading of one window. A monitor that watches a window all day mostly sees the
// same pixels again; recognising them again costs tens of milliseconds a scan for the same text.
// ReadingMemory remembers the last reading of one window and spares the work in two steps:
//
// - When the region to be recognised is identical to the one recognised last time (same size,
//   same pixels, same text for a scripted desktop, same settings), the remembered text is handed
//   back instead of recognising again.
// - When, before capturing, the platform vouches that the window has not been drawn since its last
//   capture at the same size (X Damage on X11), the capture is skipped too: the scan goes on with
//   a stand-in of the same size, whose crop and recognition give the remembered results.
//
// A scan that reads only one region of a window asks for that region alone: the platform takes
// only the pixels the region needs (ScreenCapture::captureWindowRegion), and only drawing inside
// the region counts as a change (ScreenCapture::regionUnchangedSinceLastCapture). A page that
// animates elsewhere then costs no capture at all, and one that draws the same pixels again where
// it is read costs a capture of the region and a fingerprint, never a recognition.
//
// Either way the scan's steps, and everything they write, are those of a full scan. It lives in
// the core's capture path rather than in a backend decorator because only the scan knows which
// window an image came from and which region of it is read, and because skipping a capture must
// skip the crop and the recognition with it while the scan still writes its usual lines. The
// platform only answers two portable questions: whether its recogniser is repeatable
// (TextRecognizer::repeatable) and whether a window is unchanged
// (ScreenCapture::unchangedSinceLastCapture). A platform that says no to the first gets plain
// scans; one that cannot tell for the second gets the pixel comparison only.
//
// Memory is one entry per watched window: a 128-bit fingerprint, the sizes and the recognised
// lines. Nothing is written anywhere. A failed recognition is not remembered.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace linewarden {

// A 128-bit fingerprint of what a recogniser would be given: size, readability, pixels and, for
// images that describe their text, the text observations.
using ImageFingerprint = std::array<std::uint64_t, 2>;
ImageFingerprint fingerprintOf(const platform::Image& image);

// A captured window or a region of one, `width` by `height` pixels. `image` holds its pixels, or
// for a capture of one region only that region's (`taken`); it is absent for a stand-in: the
// platform vouched that the window shows what it showed at the remembered capture, whose size it
// carries.
struct Reading {
    int width = 0;
    int height = 0;
    bool readable = true;
    std::optional<platform::Image> image;
    platform::PixelRect taken;    // the part of this reading that `image` holds (all of it but for a region capture)
    platform::PixelRect region;   // where it stands in the capture (the whole capture for a capture)
};

class ReadingMemory {
public:
    // Captures the window at the given pixel size, or stands in for the remembered capture;
    // nothing when the capture fails. With `regionOf`, only the region it names will be cropped
    // and read: only its pixels are taken, and only a change inside it counts.
    std::optional<Reading> capture(platform::Platform& platform, const platform::ShareableWindow& window,
                                   int widthPixels, int heightPixels,
                                   const platform::RegionOfCapture* regionOf = nullptr);

    // The part of a capture inside `rect`, by the rules of Image::cropped; nothing when it is
    // empty or the capture cannot be read. A capture of one region is cropped to that region.
    std::optional<Reading> crop(const Reading& capture, const platform::PixelRect& rect) const;

    // The recognised text of a capture or region (see performOCR), reused when the pixels are
    // those recognised last time.
    std::vector<std::string> recognize(platform::Platform& platform, const Reading& reading,
                                       const platform::RecognitionSettings& settings);

    // Drops what is remembered (the window went away).
    void forget() { remembered_.reset(); }

private:
    struct Remembered {
        // Declared, so that std::optional sees it as default-constructible while this class is
        // still incomplete (clang decides that before it reads the member initialisers).
        Remembered() {}
        platform::WindowNumber window = 0;
        int requestedWidth = 0;
        int requestedHeight = 0;
        int capturedWidth = 0;
        int capturedHeight = 0;
        bool readable = true;
        // The last recognition: what it read, of which region, with which settings.
        bool recognised = false;
        bool ofLastCapture = false;   // the recognised region was cut from the latest capture
        platform::PixelRect region;
        ImageFingerprint fingerprint{};
        platform::RecognitionSettings settings;
        std::vector<std::string> lines;
    };

    std::optional<Remembered> remembered_;
};

}  // namespace linewarden
