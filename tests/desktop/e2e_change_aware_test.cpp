// Scans that spare the work for an unchanged window, against real chromium windows: a monitor
// that reuses and a plain one watch the same page side by side, scan for scan, and must write
// the same lines, while the reusing one does not recognise a page that did not change and mostly
// does not even capture it.

#include <gtest/gtest.h>

#include <thread>

#include "e2e/CountingDesktop.h"
#include "e2e/EndToEnd.h"
#include "linewarden/monitors/KixieMonitor.h"
#include "linewarden/monitors/ZoomMonitor.h"

namespace {

using namespace e2e;

class ChangeAwareScans : public DesktopTest {
protected:
    void SetUp() override {
        DesktopTest::SetUp();
        if (IsSkipped()) return;
        awareDesktop_ = std::make_unique<CountingDesktop>(desktop().display(), false);
        plainDesktop_ = std::make_unique<CountingDesktop>(desktop().display(), true);
    }

    // Shows each state in turn and lets both monitors scan it; a state equal to the one before
    // is a scan of an unchanged page.
    // Waits until two captures of the window a quarter of a second apart agree: the page has
    // painted the state it shows and gone quiet.
    void settle(std::uint32_t number) {
        auto& capture = plainDesktop_->platform().screenCapture;
        std::optional<platform::Image> previous;
        for (int attempt = 0; attempt < 20; ++attempt) {
            for (const auto& window : capture.shareableWindows(false, true).value_or(std::vector<platform::ShareableWindow>{})) {
                if (window.windowID != number) continue;
                auto image = capture.captureWindow(window, static_cast<int>(window.frame.width),
                                                   static_cast<int>(window.frame.height));
                if (image && previous && image->rgba() == previous->rgba()) return;
                previous = std::move(image);
            }
            std::this_thread::sleep_for(250ms);
        }
    }

    template <class Monitor>
    void watchSideBySide(std::uint32_t window, const std::string& key, const std::vector<std::string>& states,
                         Monitor& aware, Monitor& plain) {
        std::string shown;
        for (const auto& state : states) {
            const bool unchanged = state == shown;
            if (!unchanged) {
                show(pages(), {{key, state}})();
                settle(window);
                shown = state;
            }
            const int recognitions = awareDesktop_->recognitions();
            // The plain one first: its first capture has the page repaint itself.
            plain.scanElements(false);
            aware.scanElements(false);
            if (unchanged) {
                EXPECT_EQ(awareDesktop_->recognitions(), recognitions) << "recognised the unchanged " << state;
            }
        }
        EXPECT_EQ(awareDesktop_->console().standardOutput(), plainDesktop_->console().standardOutput());
        EXPECT_EQ(awareDesktop_->console().standardError(), plainDesktop_->console().standardError());
        // Chromium now and then repaints a page without changing it: such a capture is compared,
        // not recognised, so only most captures are spared.
        EXPECT_LT(awareDesktop_->captures(), plainDesktop_->captures());
    }

    std::unique_ptr<CountingDesktop> awareDesktop_;
    std::unique_ptr<CountingDesktop> plainDesktop_;
};

TEST_F(ChangeAwareScans, KixieWritesWhatAPlainScanWrites) {
    ShownWindow window;
    auto browser =
        openPage("Brave-browser", "kixie.html", "Kixie PowerCall", {{"status", "Available"}}, 400, 600, &window);
    ASSERT_TRUE(browser);
    linewarden::KixieMonitor aware(awareDesktop_->platform(), "com.brave.Browser");
    linewarden::KixieMonitor plain(plainDesktop_->platform(), "com.brave.Browser");
    ASSERT_TRUE(aware.findKixieWindow());
    ASSERT_TRUE(plain.findKixieWindow());
    watchSideBySide(window.number, "status", {"Available", "Available", "On Call", "On Call", "Available", "Do Not Disturb",
                               "Do Not Disturb"},
                    aware, plain);
    EXPECT_EQ(awareDesktop_->console().standardOutput(),
              "Initial status: Available\nNotConnected\n"
              "Status changed from Available to On Call\nisDialing\n"
              "Status changed from On Call to Available\nNotConnected\n");
}

TEST_F(ChangeAwareScans, ZoomWritesWhatAPlainScanWrites) {
    ShownWindow window;
    auto browser = openPage("zoom", "zoom.html", "Zoom Workplace", {{"screen", "home"}}, 400, 300, &window);
    ASSERT_TRUE(browser);
    linewarden::ZoomMonitor aware(awareDesktop_->platform());
    linewarden::ZoomMonitor plain(plainDesktop_->platform());
    watchSideBySide(window.number, "screen", {"home", "home", "calling", "calling", "ended", "ended"}, aware, plain);
    EXPECT_EQ(awareDesktop_->console().standardOutput(),
              "Initial status: Available\nNotConnected\n"
              "Status changed from Available to On Call\nisDialing\n"
              "Status changed from On Call to Available\nNotConnected\n");
}

}  // namespace
