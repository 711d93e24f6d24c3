// The ScreenCast portal route on a real GNOME session: gnome-shell 43 headless (mutter), PipeWire
// with wireplumber, the real xdg-desktop-portal frontend with its restore tokens and permission
// store, and a native-Wayland chromium named brave showing the dialer. Only the person at the
// sharing dialog is replaced, by screencast-stand-in (see its opening comment), which picks the
// window by a rule the test sets and serves it with mutter's own window screen cast. The route is
// driven as the Wayland desktop drives it: one NativeWindow, as the accessibility bus describes
// the dialer's window, captured scan after scan. One session serves every test of this program.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "e2e/EndToEnd.h"
#include "platform/linux/portal/PortalCapture.h"
#include "support/GnomeSession.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using platform::Image;
using platform::wayland::NativeWindow;

constexpr const char* kBackendName = "org.freedesktop.impl.portal.desktop.gnome";
const fs::path kWork = "/tmp/portal-test";
const fs::path kTokenFile = "/tmp/home/.local/state/linewarden/screencast-restore-token";
constexpr auto kCaptureTimeout = 60s;

std::string readFile(const fs::path& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// Pixels of the dialer's status pill: green when available, red on a call (kixie.html).
bool showsColour(const Image& image, std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    const auto& rgba = image.rgba();
    for (std::size_t i = 0; i + 3 < rgba.size(); i += 4) {
        if (std::abs(rgba[i] - red) < 8 && std::abs(rgba[i + 1] - green) < 8 && std::abs(rgba[i + 2] - blue) < 8) {
            return true;
        }
    }
    return false;
}
bool showsAvailable(const Image& image) { return showsColour(image, 0x16, 0xa3, 0x4a); }
bool showsOnCall(const Image& image) { return showsColour(image, 0xdc, 0x26, 0x26); }

class PortalOnGnome : public testing::Test {
protected:
    static void SetUpTestSuite() {
        fs::create_directories(kWork);
        // The frontend finds its backends through portal files; this one names the stand-in's bus
        // name for ScreenCast on GNOME, as xdg-desktop-portal-gnome's own file does.
        fs::create_directories(kWork / "portals");
        std::ofstream(kWork / "portals" / "gnome.portal") << "[portal]\nDBusName=" << kBackendName
                                                          << "\nInterfaces=org.freedesktop.impl.portal.ScreenCast\n"
                                                             "UseIn=gnome\n";
        setenv("XDG_DESKTOP_PORTAL_DIR", (kWork / "portals").c_str(), 1);
        setenv("STAND_IN_RULE", (kWork / "rule").c_str(), 1);
        setenv("STAND_IN_LOG", (kWork / "stand-in.log").c_str(), 1);

        session_ = desktop_test::GnomeSession::start(why_);
        if (!session_) return;
        if (!session_->startPipeWire()) {
            why_ = "PipeWire did not come up";
        } else if (!(standIn_ = desktop_test::ChildProcess::start({SCREENCAST_STAND_IN}, "",
                                                                   (kWork / "stand-in.out").string())) ||
                   !session_->waitForBusName(kBackendName)) {
            why_ = "the stand-in did not take the backend's name: " + readFile(kWork / "stand-in.out");
        } else if (!session_->startPortalFrontend()) {
            why_ = "the portal frontend did not start";
        } else if (!(pages_ = e2e::PageServer::start(E2E_PAGES_DIR))) {
            why_ = "the page server did not start";
        } else {
            return;
        }
        session_.reset();
    }
    static void TearDownTestSuite() {
        pages_.reset();
        standIn_.reset();
        session_.reset();
    }

    void SetUp() override {
        ASSERT_TRUE(session_) << why_;
        fs::remove(kTokenFile);
        fs::remove(kWork / "stand-in.log");
        pick("Kixie PowerCall");
        pages_->setState({{"status", "Available"}});
    }

    // The rule the stand-in picks by at the next dialog: a title text, or "refuse".
    void pick(const std::string& rule) { std::ofstream(kWork / "rule") << rule << "\n"; }
    std::string standInLog() { return readFile(kWork / "stand-in.log"); }

    // The dialer in a native-Wayland brave app window of `width` x `height`, and the window as the
    // accessibility bus describes it.
    std::unique_ptr<desktop_test::Chromium> openBrowser(const std::string& page, int width, int height) {
        return desktop_test::Chromium::start("", "", pages_->url(page), width, height, desktop_test::browserCopy("brave"));
    }
    static NativeWindow windowOf(platform::WindowNumber number, const std::string& title, int width, int height) {
        NativeWindow window;
        window.number = number;
        window.applicationName = "Brave Browser";
        window.title = title;
        window.width = width;
        window.height = height;
        return window;
    }

    // Scans until a capture gives a picture that satisfies `wanted` (a picture at all by default).
    static std::optional<Image> captureUntil(platform::wayland::NativeCapture& route, const NativeWindow& window,
                                             const std::function<bool(const Image&)>& wanted = {}) {
        std::optional<Image> image;
        desktop_test::waitUntil(
            [&] {
                image = route.capture(window, window.width * 2, window.height * 2);
                if (!image || (wanted && !wanted(*image))) {
                    std::this_thread::sleep_for(200ms);
                    return false;
                }
                return true;
            },
            kCaptureTimeout);
        return image;
    }

    static inline std::unique_ptr<desktop_test::GnomeSession> session_;
    static inline std::unique_ptr<desktop_test::ChildProcess> standIn_;
    static inline std::unique_ptr<e2e::PageServer> pages_;
    static inline std::string why_;
};

TEST_F(PortalOnGnome, ConsentIsAskedOnceAndTheWindowsPixelsFollowTheDialer) {
    auto browser = openBrowser("kixie.html", 400, 600);
    ASSERT_TRUE(browser);
    const NativeWindow dialer = windowOf(1, "Kixie PowerCall", 400, 600);
    {
        platform::RecordingConsole console;
        auto route = platform::portal::openPortalCapture(console);
        EXPECT_FALSE(route->accessAllowed());   // nothing kept yet, and nobody asked
        auto image = captureUntil(*route, dialer);
        ASSERT_TRUE(image) << console.standardError() << standInLog();
        EXPECT_EQ(console.standardError(),
                  std::string(program_invocation_short_name) + ": no screen-capture consent is kept in " +
                      kTokenFile.string() + " yet; the system asks again\n" + program_invocation_short_name +
                      ": the system asks which window linewarden may capture: choose the window showing \"Kixie "
                      "PowerCall\" of Brave Browser, and let the system remember the choice\n");
        EXPECT_EQ(standInLog(), "picked Kixie PowerCall\n");
        // The window's own pixels at twice its size: the dialer's page, the rest of the frame cut away.
        EXPECT_EQ(image->width(), 800);
        EXPECT_EQ(image->height(), 1200);
        EXPECT_TRUE(showsAvailable(*image));
        EXPECT_EQ(fs::status(kTokenFile).permissions(), fs::perms::owner_read | fs::perms::owner_write);

        // A page that shows the same thing sends no frames: scans know it without reading pixels.
        EXPECT_TRUE(desktop_test::waitUntil(
            [&] {
                route->capture(dialer, 800, 1200);
                std::this_thread::sleep_for(500ms);
                return route->unchangedSinceLastCapture(dialer, 800, 1200);
            },
            30s));
        EXPECT_FALSE(route->unchangedSinceLastCapture(dialer, 400, 600));   // another size is another picture
        pages_->setState({{"status", "On Call"}});
        EXPECT_TRUE(desktop_test::waitUntil([&] { return !route->unchangedSinceLastCapture(dialer, 800, 1200); }, 30s));
        EXPECT_TRUE(captureUntil(*route, dialer, showsOnCall));
    }

    // The next run finds the consent kept: it restores without a dialog and says nothing.
    platform::RecordingConsole console;
    auto route = platform::portal::openPortalCapture(console);
    EXPECT_TRUE(route->accessAllowed());
    auto image = captureUntil(*route, dialer, showsOnCall);
    ASSERT_TRUE(image);
    EXPECT_EQ(console.standardError(), "");
    EXPECT_EQ(standInLog(), "picked Kixie PowerCall\nrestored Kixie PowerCall\n");
}

TEST_F(PortalOnGnome, AStreamThatEndsCountsAsAWindowGoneAndTheNextWindowIsSharedAgain) {
    auto browser = openBrowser("kixie.html", 400, 600);
    ASSERT_TRUE(browser);
    platform::RecordingConsole console;
    auto route = platform::portal::openPortalCapture(console);
    const NativeWindow first = windowOf(1, "Kixie PowerCall", 400, 600);
    ASSERT_TRUE(captureUntil(*route, first));

    // The browser restarts: captures of the old window fail from then on, and do not ask.
    browser.reset();
    EXPECT_TRUE(desktop_test::waitUntil([&] { return !route->capture(first, 800, 1200); }, 30s));
    EXPECT_FALSE(route->capture(first, 800, 1200));
    browser = openBrowser("kixie.html", 400, 600);
    ASSERT_TRUE(browser);
    const NativeWindow second = windowOf(2, "Kixie PowerCall", 400, 600);
    EXPECT_TRUE(captureUntil(*route, second, showsAvailable));
    // The kept consent served the new window: the stand-in's rule was asked (mutter's window is a
    // new one), and the monitor said nothing more than at the first pick.
    EXPECT_EQ(standInLog(), "picked Kixie PowerCall\npicked Kixie PowerCall\n");
    EXPECT_EQ(console.standardError().find("asks which window", console.standardError().find("asks which window") + 1),
              std::string::npos)
        << console.standardError();
}

TEST_F(PortalOnGnome, RefusedConsentIsSaidOnceAndNothingIsCaptured) {
    auto browser = openBrowser("kixie.html", 400, 600);
    ASSERT_TRUE(browser);
    pick("refuse");
    platform::RecordingConsole console;
    auto route = platform::portal::openPortalCapture(console);
    const NativeWindow dialer = windowOf(1, "Kixie PowerCall", 400, 600);
    EXPECT_TRUE(desktop_test::waitUntil(
        [&] {
            EXPECT_FALSE(route->capture(dialer, 800, 1200));
            return standInLog() == "refused\n";
        },
        kCaptureTimeout));
    for (int scan = 0; scan < 5; ++scan) EXPECT_FALSE(route->capture(dialer, 800, 1200));
    EXPECT_EQ(console.standardError().substr(console.standardError().find("\n", console.standardError().find("asks which")) + 1),
              std::string(program_invocation_short_name) +
                  ": screen capture was refused in the system's dialog: the dialer's window is not read; restart "
                  "linewarden to be asked again\n");
    EXPECT_EQ(standInLog(), "refused\n");
    EXPECT_FALSE(fs::exists(kTokenFile));
}

TEST_F(PortalOnGnome, KeptConsentForAnotherWindowIsNotUsedAndTheDialerIsAskedFor) {
    auto dialerBrowser = openBrowser("kixie.html", 400, 600);
    auto inbox = openBrowser("inbox.html", 600, 400);
    ASSERT_TRUE(dialerBrowser && inbox);
    {
        // Consent kept for another window: the inbox.
        pick("Inbox");
        platform::RecordingConsole console;
        auto route = platform::portal::openPortalCapture(console);
        ASSERT_TRUE(captureUntil(*route, windowOf(1, "Inbox", 600, 400)));
    }
    pick("Kixie PowerCall");
    platform::RecordingConsole console;
    auto route = platform::portal::openPortalCapture(console);
    auto image = captureUntil(*route, windowOf(2, "Kixie PowerCall", 400, 600), showsAvailable);
    ASSERT_TRUE(image) << console.standardError();
    EXPECT_EQ(console.standardError(),
              std::string(program_invocation_short_name) +
                  ": the window shared through the portal (600x400) is not the window showing \"Kixie PowerCall\" of "
                  "Brave Browser (400x600); it is not captured, and the system asks again\n" +
                  program_invocation_short_name +
                  ": the system asks which window linewarden may capture: choose the window showing \"Kixie "
                  "PowerCall\" of Brave Browser, and let the system remember the choice\n");
    EXPECT_EQ(standInLog(), "picked Inbox\nrestored Inbox\npicked Kixie PowerCall\n");
}

}  // namespace

int main(int argc, char** argv) {
    desktop_test::runInGnomeSandbox(argc, argv, {.browserCopies = {"brave"}});
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
