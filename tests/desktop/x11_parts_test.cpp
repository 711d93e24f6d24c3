// The X11 backend's parts that need no display: pixel formats, resampling, title text, the
// application table and the guard against SIGPIPE.

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

#include "linewarden/app/Applications.h"
#include "platform/linux/ApplicationTable.h"
#include "platform/linux/x11/ClientWindows.h"
#include "platform/linux/PixelConversion.h"
#include "platform/linux/x11/TextProperty.h"
#include "platform/linux/x11/XConnection.h"

namespace platform::x11 {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes rgbaOf(std::initializer_list<std::uint8_t> rgb) {
    Bytes out;
    for (auto it = rgb.begin(); it != rgb.end(); it += 3) out.insert(out.end(), {it[0], it[1], it[2], 255});
    return out;
}

// Each channel carries its own value, so reading one channel through another's mask shows.
TEST(PixelConversion, ReadsEachChannelThroughItsOwnMaskInBothByteOrders) {
    const PixelLayout lsb{32, false, 0xFF0000, 0x00FF00, 0x0000FF, 8};
    EXPECT_EQ(convertToRgba(Bytes{0x33, 0x22, 0x11, 0x00, 0xFF, 0x80, 0x01, 0x00}, 2, 1, lsb),
              rgbaOf({0x11, 0x22, 0x33, 0x01, 0x80, 0xFF}));

    const PixelLayout msb{32, true, 0xFF0000, 0x00FF00, 0x0000FF, 4};
    EXPECT_EQ(convertToRgba(Bytes{0x00, 0x11, 0x22, 0x33}, 1, 1, msb), rgbaOf({0x11, 0x22, 0x33}));

    const PixelLayout bgr{32, false, 0x0000FF, 0x00FF00, 0xFF0000, 4};
    EXPECT_EQ(convertToRgba(Bytes{0x11, 0x22, 0x33, 0x00}, 1, 1, bgr), rgbaOf({0x11, 0x22, 0x33}));

    // An ARGB visual: the alpha byte is not a colour and the result is opaque.
    const PixelLayout argb{32, false, 0xFF0000, 0x00FF00, 0x0000FF, 4};
    EXPECT_EQ(convertToRgba(Bytes{0x33, 0x22, 0x11, 0x7F}, 1, 1, argb), rgbaOf({0x11, 0x22, 0x33}));
}

TEST(PixelConversion, WidensNarrowChannels) {
    // 5-6-5: red 16/31, green 32/63, blue 8/31.
    const std::uint16_t value = (16 << 11) | (32 << 5) | 8;
    const Bytes little{static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>(value >> 8)};
    const Bytes big{little[1], little[0]};
    const PixelLayout rgb565{16, false, 0xF800, 0x07E0, 0x001F, 2};
    EXPECT_EQ(convertToRgba(little, 1, 1, rgb565), rgbaOf({132, 130, 66}));
    EXPECT_EQ(convertToRgba(big, 1, 1, PixelLayout{16, true, 0xF800, 0x07E0, 0x001F, 2}), rgbaOf({132, 130, 66}));
    EXPECT_EQ(convertToRgba(Bytes{0xFF, 0xFF}, 1, 1, rgb565), rgbaOf({255, 255, 255}));

    // 10 bits per channel: full scale and the middle.
    const std::uint32_t deep = (1023u << 20) | (512u << 10) | 0u;
    const Bytes deepBytes{static_cast<std::uint8_t>(deep), static_cast<std::uint8_t>(deep >> 8),
                          static_cast<std::uint8_t>(deep >> 16), static_cast<std::uint8_t>(deep >> 24)};
    EXPECT_EQ(convertToRgba(deepBytes, 1, 1, PixelLayout{32, false, 0x3FF00000, 0x000FFC00, 0x000003FF, 4}),
              rgbaOf({255, 128, 0}));
}

TEST(PixelConversion, SkipsRowPaddingOfPackedPixels) {
    // Two rows of two 24-bit pixels, each row padded to 8 bytes.
    const Bytes data{1, 2, 3, 4, 5, 6, 0xEE, 0xEE, 7, 8, 9, 10, 11, 12, 0xEE, 0xEE};
    EXPECT_EQ(convertToRgba(data, 2, 2, PixelLayout{24, false, 0xFF0000, 0x00FF00, 0x0000FF, 8}),
              rgbaOf({3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10}));
}

TEST(PixelConversion, RefusesWhatItCannotRead) {
    const Bytes four{0, 0, 0, 0};
    EXPECT_FALSE(convertToRgba(four, 1, 1, PixelLayout{32, false, 0, 0x00FF00, 0x0000FF, 4}));          // no red
    EXPECT_FALSE(convertToRgba(four, 1, 1, PixelLayout{32, false, 0xFF00FF, 0x00FF00, 0x0000FF, 4}));   // split mask
    EXPECT_FALSE(convertToRgba(four, 1, 1, PixelLayout{8, false, 0xE0, 0x1C, 0x03, 4}));                // palette depth
    EXPECT_FALSE(convertToRgba(four, 2, 1, PixelLayout{32, false, 0xFF0000, 0x00FF00, 0x0000FF, 8}));   // too short
    EXPECT_FALSE(convertToRgba(four, 0, 1, PixelLayout{32, false, 0xFF0000, 0x00FF00, 0x0000FF, 4}));
}

Bytes solid(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    Bytes out;
    for (int i = 0; i < width * height; ++i) out.insert(out.end(), {r, g, b, 255});
    return out;
}

const std::uint8_t* pixelAt(const Bytes& rgba, int width, int x, int y) { return &rgba[(y * width + x) * 4]; }

TEST(Resampling, KeepsFlatColoursExactAtAnySize) {
    const Bytes source = solid(7, 5, 12, 200, 99);
    for (auto [w, h] : {std::pair{14, 10}, std::pair{15, 11}, std::pair{3, 2}, std::pair{1, 1}, std::pair{7, 5}}) {
        EXPECT_EQ(resizeRgba(source, 7, 5, w, h), solid(w, h, 12, 200, 99)) << w << "x" << h;
    }
}

TEST(Resampling, DoublingInterpolatesBetweenNeighbours) {
    const Bytes source = rgbaOf({0, 0, 0, 255, 255, 255});   // black | white
    const Bytes doubled = resizeRgba(source, 2, 1, 4, 1);
    ASSERT_EQ(doubled.size(), 16u);
    const int expected[] = {0, 64, 191, 255};
    for (int x = 0; x < 4; ++x) EXPECT_NEAR(pixelAt(doubled, 4, x, 0)[0], expected[x], 1) << x;
    EXPECT_EQ(pixelAt(doubled, 4, 3, 0)[3], 255);
}

TEST(Resampling, DoublingTakesAShortcutToTheSamePixels) {
    Bytes noise(13 * 7 * 4);
    std::uint32_t state = 12345;
    for (auto& byte : noise) {
        state = state * 1103515245 + 12345;
        byte = static_cast<std::uint8_t>(state >> 16);
    }
    EXPECT_EQ(resizeRgba(noise, 13, 7, 26, 14), resampleRgba(noise, 13, 7, 26, 14));
    EXPECT_EQ(resizeRgba(noise, 1, 1, 2, 2), resampleRgba(noise, 1, 1, 2, 2));
}

TEST(Resampling, ShrinkingAveragesInsteadOfPicking) {
    // A one-pixel checkerboard halved is grey, not black or white.
    Bytes board;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const std::uint8_t v = (x + y) % 2 ? 255 : 0;
            board.insert(board.end(), {v, v, v, 255});
        }
    }
    const Bytes half = resizeRgba(board, 8, 8, 4, 4);
    for (int y = 1; y < 3; ++y) {
        for (int x = 1; x < 3; ++x) EXPECT_NEAR(pixelAt(half, 4, x, y)[0], 128, 8) << x << "," << y;
    }
}

TEST(TitleText, DecodesLatin1AndRepairsMalformedUtf8) {
    EXPECT_EQ(latin1ToUtf8("Caf\xE9 \xA9"), "Café ©");
    const std::string wellFormed = "Kixie PowerCall – ✅ 📸 ⚠️";
    EXPECT_EQ(validUtf8(wellFormed), wellFormed);
    EXPECT_EQ(validUtf8("a\xC3(b"), "a\uFFFD(b");
    EXPECT_EQ(validUtf8("\xC0\xAF"), "\uFFFD\uFFFD");                  // overlong
    EXPECT_EQ(validUtf8("\xED\xA0\x80"), "\uFFFD\uFFFD\uFFFD");        // surrogate
    EXPECT_EQ(validUtf8("x\xF0\x9F\x93"), "x\uFFFD\uFFFD\uFFFD");      // cut short
}

TEST(TitleText, PrefersUtf8NetWmNameOverLegacyName) {
    Atoms atoms;
    atoms.utf8String = 100;
    atoms.compoundText = 101;
    const PropertyValue utf8{100, 8, "Trellus – Active"};
    const PropertyValue latin1{XCB_ATOM_STRING, 8, "Trellus \xAB old \xBB"};
    EXPECT_EQ(decodeTitle(utf8, latin1, atoms), "Trellus – Active");
    EXPECT_EQ(decodeTitle(std::nullopt, latin1, atoms), "Trellus « old »");
    // A _NET_WM_NAME of the wrong type is ignored, as EWMH asks.
    EXPECT_EQ(decodeTitle(PropertyValue{XCB_ATOM_STRING, 8, "wrong"}, latin1, atoms), "Trellus « old »");
    EXPECT_EQ(decodeTitle(std::nullopt, PropertyValue{100, 8, "UTF-8 legacy ✅"}, atoms), "UTF-8 legacy ✅");
    EXPECT_EQ(decodeTitle(std::nullopt, PropertyValue{XCB_ATOM_CARDINAL, 32, "abcd"}, atoms), std::nullopt);
    EXPECT_EQ(decodeTitle(std::nullopt, std::nullopt, atoms), std::nullopt);
}

TEST(ApplicationTable, IdentifiesBrowsersAndZoomByWindowClass) {
    const auto bundleOf = [](std::string_view windowClass) -> std::string_view {
        const KnownApplication* application = applicationForWindowClass(linewarden::knownApplications(), windowClass);
        return application ? application->bundleId : "";
    };
    EXPECT_EQ(bundleOf("Google-chrome"), "com.google.Chrome");
    EXPECT_EQ(bundleOf("google-chrome"), "com.google.Chrome");
    EXPECT_EQ(bundleOf("Brave-browser"), "com.brave.Browser");
    EXPECT_EQ(bundleOf("Microsoft-edge"), "com.microsoft.edgemac");
    EXPECT_EQ(bundleOf("zoom"), "us.zoom.xos");
    EXPECT_EQ(bundleOf("zoom "), "us.zoom.xos");
    // Other channels and browsers are other applications.
    EXPECT_EQ(bundleOf("Google-chrome-beta"), "");
    EXPECT_EQ(bundleOf("Microsoft-edge-dev"), "");
    EXPECT_EQ(bundleOf("Chromium"), "");
    EXPECT_EQ(bundleOf(""), "");
}

TEST(ApplicationTable, FallsBackToTheOwningProgramOnlyForUnknownClasses) {
    int lookups = 0;
    const ProcessNameLookup names = [&](ProcessId pid) -> std::optional<std::string> {
        ++lookups;
        if (pid == 10) return "zoom";
        if (pid == 11) return "chromium";
        if (pid == 12) return "msedge";
        return std::nullopt;
    };
    const auto bundleOf = [&](std::optional<std::string> windowClass, std::optional<ProcessId> pid) -> std::string_view {
        const KnownApplication* application = identifyApplication(linewarden::knownApplications(), windowClass, pid, names);
        return application ? application->bundleId : "";
    };
    EXPECT_EQ(bundleOf("zoom_linux_float_video_window", 10), "us.zoom.xos");
    EXPECT_EQ(bundleOf(std::nullopt, 10), "us.zoom.xos");
    EXPECT_EQ(bundleOf("Brave-browser", 11), "com.brave.Browser");   // the class decides
    EXPECT_EQ(bundleOf("Chromium", 11), "");
    EXPECT_EQ(bundleOf("crx_abcdef", 99), "");
    EXPECT_EQ(bundleOf("Foo", std::nullopt), "");
    EXPECT_EQ(bundleOf(std::nullopt, 12), "com.microsoft.edgemac");   // msedge
    lookups = 0;
    EXPECT_EQ(bundleOf("Google-chrome", 10), "com.google.Chrome");
    EXPECT_EQ(lookups, 0);
}

// Writing to a connection whose other end is gone raises SIGPIPE, which by default ends the
// process; under the shield the write only fails, and afterwards the signal mask is as before
// and no SIGPIPE is left pending.
TEST(SigpipeShield, TurnsAWriteToAClosedPeerIntoAnError) {
    std::signal(SIGPIPE, SIG_DFL);
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);
    sigset_t before;
    pthread_sigmask(SIG_SETMASK, nullptr, &before);
    {
        const SigpipeShield shield;
        EXPECT_EQ(write(ends[1], "x", 1), -1);
        EXPECT_EQ(errno, EPIPE);
    }
    close(ends[1]);
    sigset_t after;
    pthread_sigmask(SIG_SETMASK, nullptr, &after);
    EXPECT_EQ(sigismember(&after, SIGPIPE), sigismember(&before, SIGPIPE));
    sigset_t pending;
    sigpending(&pending);
    EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
}

}  // namespace
}  // namespace platform::x11
