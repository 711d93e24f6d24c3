// The page corpus end to end: each page is shown by chromium in a real window on a private X
// server, captured by the X11 backend at twice its size, cut to the dialer's region, recognised
// with the dialer's settings and classified by the dialer's detector. Every verdict must match.
// The style sweep's pages are generated from one template and served to one window per dialer
// and window size, which loads them one after another.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>

#include "corpus_cases.h"
#include "e2e/EndToEnd.h"
#include "linewarden/app/Applications.h"
#include "platform/LinuxDesktop.h"
#include "support/DesktopSession.h"

namespace {

using namespace std::chrono_literals;
using desktop_test::ChildProcess;

const std::string kCorpusDirectory = LINEWARDEN_CORPUS_DIR;

// A chromium app window of the case's size showing its page, with a profile of its own.
class PageWindow {
public:
    PageWindow(const std::string& display, const corpus::Case& c)
        : browser_(desktop_test::Chromium::start(display, "", corpus::pageUrl(c, kCorpusDirectory), c.windowWidth,
                                                 c.windowHeight)) {}
    bool started() const { return browser_ != nullptr; }

private:
    std::unique_ptr<desktop_test::Chromium> browser_;
};

struct Outcome {
    std::string name;
    bool expected = false;
    std::optional<corpus::Reading> reading;   // absent when the window could not be captured
    std::string problem;
    bool knownMiss = false;
};

class CorpusPages : public testing::Test {
protected:
    static void SetUpTestSuite() {
        server_ = desktop_test::XvfbServer::start("1600x1000x24");
        if (!server_ || !desktop_test::programAvailable("chromium")) return;
        windowManager_ = desktop_test::startOpenbox(server_->display());
        desktop_ = platform::LinuxDesktop::open(console_, linewarden::knownApplications(), server_->display());
    }
    static void TearDownTestSuite() {
        desktop_.reset();
        windowManager_.reset();
        server_.reset();
    }
    void SetUp() override {
        if (!server_ || !desktop_) GTEST_SKIP() << "needs Xvfb, openbox and chromium";
    }

    platform::Platform& platform() { return desktop_->platform(); }

    // The case's window as the backend lists it, once chromium has set the page's title.
    std::optional<platform::ShareableWindow> findWindow(const std::string& title) {
        std::optional<platform::ShareableWindow> found;
        desktop_test::waitUntil(
            [&] {
                const auto entries = platform().windowList.onScreenWindows();
                if (!entries) return false;
                for (const auto& entry : *entries) {
                    if (entry.windowName != title || !entry.windowNumber) continue;
                    for (const auto& window : platform().screenCapture.shareableWindows(true, true).value_or(
                             std::vector<platform::ShareableWindow>{})) {
                        if (window.windowID == *entry.windowNumber && window.frame.width > 0) found = window;
                    }
                }
                return found.has_value();
            },
            20s);
        return found;
    }

    // A capture at twice the window's size, taken once two in a row agree (the page has painted).
    // Over moving content they never agree: the page then gets a while to paint.
    std::optional<platform::Image> steadyCapture(const platform::ShareableWindow& window, bool moving) {
        const int width = static_cast<int>(window.frame.width * 2);
        const int height = static_cast<int>(window.frame.height * 2);
        if (moving) {
            std::this_thread::sleep_for(1500ms);
            return platform().screenCapture.captureWindow(window, width, height);
        }
        std::optional<platform::Image> previous;
        for (int attempt = 0; attempt < 40; ++attempt) {
            auto image = platform().screenCapture.captureWindow(window, width, height);
            if (image && previous && image->rgba() == previous->rgba()) return image;
            previous = std::move(image);
            std::this_thread::sleep_for(250ms);
        }
        return std::nullopt;
    }

    Outcome run(const corpus::Case& c) {
        Outcome outcome{c.name, c.inCall, std::nullopt, {}, c.knownMiss};
        PageWindow page(server_->display(), c);
        if (!page.started()) {
            outcome.problem = "chromium did not start";
            return outcome;
        }
        const auto window = findWindow(c.name);
        if (!window) {
            outcome.problem = "no window titled " + c.name;
            return outcome;
        }
        const auto capture = steadyCapture(*window, c.moving);
        if (!capture) {
            outcome.problem = "no steady capture";
            return outcome;
        }
        outcome.reading = corpus::readCapture(c, *capture, platform().textRecognizer);
        // Over moving content one frame may catch the bar before it painted or mid-repaint; the
        // monitor reads the window again at its next scan, so a call page gets two more frames.
        // An idle page is judged on its first frame alone.
        for (int frame = 0; c.moving && c.inCall && !outcome.reading->verdict && frame < 2; ++frame) {
            std::this_thread::sleep_for(1000ms);
            const auto again = platform().screenCapture.captureWindow(*window, capture->width(), capture->height());
            if (again) outcome.reading = corpus::readCapture(c, *again, platform().textRecognizer);
        }
        return outcome;
    }

    // Runs the cases of one dialer (those `wanted` picks) and prints their score table.
    void runDialer(corpus::Dialer dialer, const std::function<bool(const corpus::Case&)>& wanted = nullptr) {
        const auto cases = corpus::loadCases(kCorpusDirectory);
        ASSERT_TRUE(cases) << "cannot read " << kCorpusDirectory << "/cases.json";
        std::vector<Outcome> outcomes;
        for (const auto& c : *cases) {
            if (c.dialer == dialer && (!wanted || wanted(c))) outcomes.push_back(run(c));
        }
        report(dialer, outcomes);
    }

    // Runs generated cases of one dialer: one window per window size loads them in turn.
    void runSweep(corpus::Dialer dialer, const std::vector<corpus::Case>& all) {
        std::vector<Outcome> outcomes;
        std::vector<std::pair<int, int>> sizes;
        for (const auto& c : all) {
            if (c.dialer == dialer && std::find(sizes.begin(), sizes.end(), std::pair(c.windowWidth, c.windowHeight)) == sizes.end()) {
                sizes.emplace_back(c.windowWidth, c.windowHeight);
            }
        }
        for (const auto& size : sizes) {
            std::vector<corpus::Case> cases;
            std::copy_if(all.begin(), all.end(), std::back_inserter(cases), [&](const corpus::Case& c) {
                return c.dialer == dialer && std::pair(c.windowWidth, c.windowHeight) == size;
            });
            runInOneWindow(cases, outcomes);
        }
        report(dialer, outcomes);
    }

    // The window loads each case's page in turn (the page follows the state the server gives
    // it) and is read once the page has painted it.
    void runInOneWindow(const std::vector<corpus::Case>& cases, std::vector<Outcome>& outcomes) {
        auto pages = e2e::PageServer::start(kCorpusDirectory);
        ASSERT_TRUE(pages) << "cannot listen on 127.0.0.1";
        const auto& first = cases.front();
        int version = pages->setState({{"query", corpus::pageQuery(first)}});
        const auto browser = desktop_test::Chromium::start(
            server_->display(), "", pages->url(first.page) + "?" + corpus::pageQuery(first) + "&follow=" + std::to_string(version),
            first.windowWidth, first.windowHeight);
        ASSERT_TRUE(browser) << "chromium did not start";
        const auto window = findWindow(first.name);
        ASSERT_TRUE(window) << "no window titled " << first.name << "; chromium wrote:\n" << browser->log();
        for (const auto& c : cases) {
            Outcome outcome{c.name, c.inCall, std::nullopt, {}, c.knownMiss};
            if (&c != &first) version = pages->setState({{"query", corpus::pageQuery(c)}});
            const auto capture = pages->waitShown(version, 20s) ? steadyCapture(*window, false) : std::nullopt;
            if (capture) outcome.reading = corpus::readCapture(c, *capture, platform().textRecognizer);
            else outcome.problem = "the page did not show its state";
            outcomes.push_back(std::move(outcome));
        }
    }

    void report(corpus::Dialer dialer, const std::vector<Outcome>& outcomes) {
        ASSERT_FALSE(outcomes.empty());
        int right = 0;
        double total = 0;
        std::printf("%-16s %-8s %-8s %9s  %s\n", "page", "expected", "verdict", "recognise", "recognised text");
        for (const auto& outcome : outcomes) {
            if (!outcome.reading) {
                std::printf("%-16s %-8s %-8s %9s  (%s)\n", outcome.name.c_str(), outcome.expected ? "call" : "none", "-",
                            "-", outcome.problem.c_str());
                ADD_FAILURE() << outcome.name << ": " << outcome.problem;
                continue;
            }
            const auto& reading = *outcome.reading;
            std::string text;
            for (const auto& line : reading.lines) text += (text.empty() ? "" : " | ") + line;
            std::printf("%-16s %-8s %-8s %7.0fms  %s\n", outcome.name.c_str(), outcome.expected ? "call" : "none",
                        reading.verdict ? "call" : "none", reading.recognitionMilliseconds, text.c_str());
            total += reading.recognitionMilliseconds;
            if (reading.verdict == outcome.expected) ++right;
            if (!outcome.knownMiss) {
                EXPECT_EQ(reading.verdict, outcome.expected) << outcome.name << " read as: " << text;
            }
        }
        std::printf("%s: %d of %zu verdicts right, recognition %.0f ms in all\n", corpus::dialerName(dialer), right,
                    outcomes.size(), total);
    }

    static inline platform::RecordingConsole console_;
    static inline std::unique_ptr<desktop_test::XvfbServer> server_;
    static inline std::unique_ptr<ChildProcess> windowManager_;
    static inline std::unique_ptr<platform::LinuxDesktop> desktop_;
};

// The corpus as a whole is read at least 99% right, the flat pages all right; so is each class of
// the style sweep (grey text with its timers, high contrast).
TEST(CorpusCases, KnownMissesStayWithinOnePercent) {
    const auto cases = corpus::loadCases(kCorpusDirectory);
    ASSERT_TRUE(cases);
    const auto misses = std::count_if(cases->begin(), cases->end(), [](const corpus::Case& c) { return c.knownMiss; });
    EXPECT_LE(misses * 100, static_cast<long>(cases->size()));
    EXPECT_TRUE(std::none_of(cases->begin(), cases->end(), [](const corpus::Case& c) { return c.knownMiss && !c.busy; }));
    auto secondary = corpus::secondaryTextSweep();
    for (auto& c : corpus::secondaryTimerSweep()) secondary.push_back(std::move(c));
    for (const auto& sweep : {secondary, corpus::highContrastSweep()}) {
        const auto sweepMisses = std::count_if(sweep.begin(), sweep.end(), [](const corpus::Case& c) { return c.knownMiss; });
        EXPECT_LE(sweepMisses * 100, static_cast<long>(sweep.size()));
    }
}

bool flat(const corpus::Case& c) { return !c.busy; }
bool busy(const corpus::Case& c) { return c.busy; }

TEST_F(CorpusPages, KixieStatusPills) { runDialer(corpus::Dialer::kixie, flat); }

TEST_F(CorpusPages, RingCentralCallTimers) { runDialer(corpus::Dialer::ringCentral, flat); }

TEST_F(CorpusPages, TrellusStates) { runDialer(corpus::Dialer::trellus, flat); }

// Large windows take longest; they run apart so that each test stays well within its time.
bool large(const corpus::Case& c) { return c.windowWidth * c.windowHeight > 800 * 600; }

TEST_F(CorpusPages, ZoomCallMarkers) {
    runDialer(corpus::Dialer::zoom, [](const corpus::Case& c) { return flat(c) && !large(c); });
}

TEST_F(CorpusPages, ZoomCallMarkersInLargeWindows) {
    runDialer(corpus::Dialer::zoom, [](const corpus::Case& c) { return flat(c) && large(c); });
}

// Gradients, stripes, noise, photo-like textures, translucent bars over moving content, faint
// small text and pale digits on dark themes.
TEST_F(CorpusPages, KixieOnBusyBackgrounds) { runDialer(corpus::Dialer::kixie, busy); }

TEST_F(CorpusPages, RingCentralOnBusyBackgrounds) { runDialer(corpus::Dialer::ringCentral, busy); }

TEST_F(CorpusPages, TrellusOnBusyBackgrounds) { runDialer(corpus::Dialer::trellus, busy); }

TEST_F(CorpusPages, ZoomOnBusyBackgrounds) { runDialer(corpus::Dialer::zoom, busy); }

// The style sweep: small grey secondary text beside bolder text, and high-contrast themes.
TEST_F(CorpusPages, KixieSecondaryText) { runSweep(corpus::Dialer::kixie, corpus::secondaryTextSweep()); }

TEST_F(CorpusPages, RingCentralSecondaryText) { runSweep(corpus::Dialer::ringCentral, corpus::secondaryTextSweep()); }

TEST_F(CorpusPages, TrellusSecondaryText) { runSweep(corpus::Dialer::trellus, corpus::secondaryTextSweep()); }

TEST_F(CorpusPages, ZoomSecondaryText) { runSweep(corpus::Dialer::zoom, corpus::secondaryTextSweep()); }

TEST_F(CorpusPages, RingCentralSecondaryTimers) { runSweep(corpus::Dialer::ringCentral, corpus::secondaryTimerSweep()); }

TEST_F(CorpusPages, ZoomSecondaryTimers) { runSweep(corpus::Dialer::zoom, corpus::secondaryTimerSweep()); }

TEST_F(CorpusPages, KixieHighContrast) { runSweep(corpus::Dialer::kixie, corpus::highContrastSweep()); }

TEST_F(CorpusPages, RingCentralHighContrast) { runSweep(corpus::Dialer::ringCentral, corpus::highContrastSweep()); }

TEST_F(CorpusPages, TrellusHighContrast) { runSweep(corpus::Dialer::trellus, corpus::highContrastSweep()); }

TEST_F(CorpusPages, ZoomHighContrast) { runSweep(corpus::Dialer::zoom, corpus::highContrastSweep()); }

}  // namespace
