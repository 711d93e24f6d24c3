// Scans that spare the work for an unchanged window, against real chromium windows: a monitor
// that reuses and a plain one watch the same page side by side, scan for scan, and must write
// the same lines, while the reusing one does not recognise a page that did not change and mostly
// does not even capture it. A browser dialer's scan takes only the region it reads, whose pixels
// and text must be those cut from a capture of the whole window, and only drawing there counts.

#include <gtest/gtest.h>

#include <thread>

#include "e2e/CountingDesktop.h"
#include "e2e/EndToEnd.h"
#include "linewarden/capture/TextRecognition.h"
#include "linewarden/monitors/KixieMonitor.h"
#include "linewarden/monitors/RingCentralMonitor.h"
#include "linewarden/monitors/TrellusMonitor.h"
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

// Each browser dialer's page, at an odd size and at one narrower and shorter than the region
// its monitor reads: the region taken alone is, pixel for pixel, the one cut from the whole
// window captured just before and just after (a page that repainted in between is caught again),
// and reads the same.
TEST_F(ChangeAwareScans, ARegionTakenAloneIsTheOneCutFromTheWholeWindow) {
    struct Page {
        std::string windowClass, page, title;
        nlohmann::json state;
        std::function<std::unique_ptr<linewarden::BrowserMonitor>(platform::Platform&)> monitor;
    };
    const std::vector<Page> pagesToRead{
        {"Brave-browser", "kixie.html", "Kixie PowerCall", {{"status", "On Call"}},
         [](platform::Platform& p) { return std::make_unique<linewarden::KixieMonitor>(p, "com.brave.Browser"); }},
        {"Google-chrome", "ringcentral.html", "RingCentral for Google", {{"call", "yes"}, {"timer", "0:07"}},
         [](platform::Platform& p) { return std::make_unique<linewarden::RingCentralMonitor>(p, "com.google.Chrome"); }},
        {"Brave-browser", "trellus.html", "Trellus", {{"state", "Active"}},
         [](platform::Platform& p) { return std::make_unique<linewarden::TrellusMonitor>(p, "com.brave.Browser"); }},
    };
    auto& platform = awareDesktop_->platform();
    for (const Page& page : pagesToRead) {
        const auto monitor = page.monitor(platform);
        const platform::RegionOfCapture regionOf = [&](int w, int h) { return monitor->regionOf(w, h); };
        for (const auto& [width, height] : {std::pair{401, 333}, std::pair{71, 37}}) {
            SCOPED_TRACE(page.page + " " + std::to_string(width) + "x" + std::to_string(height));
            ShownWindow shown;
            auto browser = openPage(page.windowClass, page.page, page.title, page.state, width, height, &shown);
            ASSERT_TRUE(browser);
            std::optional<platform::ShareableWindow> window;
            for (const auto& w : platform.screenCapture.shareableWindows(false, true).value_or(std::vector<platform::ShareableWindow>{})) {
                if (w.windowID == shown.number) window = w;
            }
            ASSERT_TRUE(window);
            const int w = static_cast<int>(window->frame.width * 2);
            const int h = static_cast<int>(window->frame.height * 2);
            if (width < 100) {
                EXPECT_LT(w, 300);   // narrower and shorter than every dialer's region
                EXPECT_LT(h, 150);
            }
            bool compared = false;
            for (int attempt = 0; attempt < 20 && !compared; ++attempt) {
                const auto before = platform.screenCapture.captureWindow(*window, w, h);
                const auto region = platform.screenCapture.captureWindowRegion(*window, w, h, regionOf);
                const auto after = platform.screenCapture.captureWindow(*window, w, h);
                ASSERT_TRUE(before && region && after);
                if (before->rgba() != after->rgba()) continue;
                compared = true;
                EXPECT_EQ(std::pair(region->width, region->height), std::pair(w, h));
                EXPECT_EQ(region->region, monitor->regionOf(w, h));
                const auto cut = before->cropped(monitor->regionOf(w, h));
                ASSERT_TRUE(cut && region->pixels);
                EXPECT_EQ(region->pixels->width(), cut->width());
                EXPECT_EQ(region->pixels->height(), cut->height());
                EXPECT_TRUE(region->pixels->rgba() == cut->rgba()) << "the pixels differ";
                const auto text = linewarden::performOCR(platform, *region->pixels, monitor->recognitionSettings());
                EXPECT_EQ(text, linewarden::performOCR(platform, *cut, monitor->recognitionSettings()));
                if (width > 300) {
                    EXPECT_FALSE(text.empty());
                }
            }
            EXPECT_TRUE(compared) << "the page never held still";
            browser.reset();
            desktop().waitWindowGone(page.title);
        }
    }
}

// A page that keeps drawing: a spinner away from the region read is no change (chromium may
// still repaint a whole page now and then, so one scan of five may capture); a status drawn again with the
// same pixels costs a capture of the region, never a recognition; and a status that changes is
// read and reported as a plain scan reports it. The pauses let the page draw between scans.
TEST_F(ChangeAwareScans, DrawingOutsideTheRegionOrOfTheSamePixelsIsReadOnce) {
    ShownWindow window;
    nlohmann::json state{{"status", "Available"}, {"spinner", "yes"}};
    auto browser = openPage("Brave-browser", "kixie.html", "Kixie PowerCall", state, 400, 600, &window);
    ASSERT_TRUE(browser);
    linewarden::KixieMonitor aware(awareDesktop_->platform(), "com.brave.Browser");
    linewarden::KixieMonitor plain(plainDesktop_->platform(), "com.brave.Browser");
    ASSERT_TRUE(aware.findKixieWindow());
    ASSERT_TRUE(plain.findKixieWindow());
    const auto scanBoth = [&](int times) {
        for (int i = 0; i < times; ++i) {
            std::this_thread::sleep_for(400ms);
            plain.scanElements(false);
            aware.scanElements(false);
        }
    };
    // The plain monitor's first capture has the page repaint itself: until that is over.
    int captures = -1;
    for (int i = 0; i < 10 && captures != awareDesktop_->captures(); ++i) {
        captures = awareDesktop_->captures();
        scanBoth(1);
    }
    captures = awareDesktop_->captures();
    const int recognitions = awareDesktop_->recognitions();
    scanBoth(5);
    EXPECT_LE(awareDesktop_->captures(), captures + 1) << "the spinner counted as a change";

    state.erase("spinner");
    state["busy"] = "yes";
    show(pages(), state)();
    captures = awareDesktop_->captures();
    scanBoth(4);
    EXPECT_GE(awareDesktop_->captures(), captures + 3) << "the status drawn again was not taken again";
    EXPECT_EQ(awareDesktop_->recognitions(), recognitions) << "the same pixels were recognised again";

    state["status"] = "On Call";
    show(pages(), state)();
    scanBoth(2);
    EXPECT_EQ(awareDesktop_->recognitions(), recognitions + 1);
    EXPECT_EQ(awareDesktop_->console().standardOutput(),
              "Initial status: Available\nNotConnected\nStatus changed from Available to On Call\nisDialing\n");
    EXPECT_EQ(awareDesktop_->console().standardOutput(), plainDesktop_->console().standardOutput());
    EXPECT_EQ(awareDesktop_->console().standardError(), plainDesktop_->console().standardError());
}

}  // namespace
