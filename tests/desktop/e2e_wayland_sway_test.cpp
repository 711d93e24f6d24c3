// The production programs on a Wayland desktop: a headless sway (pixman renderer) in a private
// session, native-Wayland chromium standing in for Brave, Chrome and Edge (hard-linked copies under
// their program names), windows found on the accessibility bus and read through sway's IPC and
// screencopy. One session serves every test of this program; each test closes its browsers.

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "e2e/EndToEnd.h"
#include "platform/linux/wayland/SwayTree.h"
#include "support/WaylandSession.h"

namespace {

using namespace e2e;
using desktop_test::WaylandBrowser;
using desktop_test::WaylandSession;
using Lines = std::vector<std::string>;

// The first window a monitor numbers on a Wayland desktop (numbers of native windows have the top
// bit set, apart from every X11 window id).
const std::string kFirstWindow = std::to_string(0x80000001u);
const std::string kSecondWindow = std::to_string(0x80000002u);

class SwayDesktop : public testing::Test {
protected:
    static void SetUpTestSuite() { startDesktop(false); }
    static void startDesktop(bool xwayland) {
        session_ = WaylandSession::start(why_);
        if (session_) sway_ = desktop_test::startSway(*session_, why_, 1280, 800, xwayland);
        if (sway_) pages_ = PageServer::start(E2E_PAGES_DIR);
        if (sway_ && !pages_) why_ = "cannot listen on 127.0.0.1";
        if (!pages_) {
            sway_.reset();
            session_.reset();
        }
    }
    static void TearDownTestSuite() {
        pages_.reset();
        sway_.reset();
        session_.reset();
    }
    void SetUp() override {
        if (!session_) GTEST_SKIP() << why_;
    }

    PageServer& pages() { return *pages_; }
    WaylandSession& session() { return *session_; }

    // The views sway shows now.
    std::vector<platform::wayland::SwayView> views() {
        const auto reply = session_->run({"swaymsg", "-r", "-t", "get_tree"}, {}, 10s);
        const auto tree = platform::wayland::parseSwayTree(reply.out);
        return tree ? tree->views : std::vector<platform::wayland::SwayView>{};
    }
    std::optional<platform::wayland::SwayView> view(const std::string& title) {
        for (const auto& view : views()) {
            if (view.title == title) return view;
        }
        return std::nullopt;
    }
    bool waitForWindow(const std::string& title) {
        return desktop_test::waitUntil([&] { return view(title).has_value(); }, 30s);
    }
    bool waitWindowGone(const std::string& title) {
        return desktop_test::waitUntil([&] { return !view(title); }, 15s);
    }

    // `page` showing `state` in a new browser called `program`, once its window is up and shows the
    // state; nothing, with a failure added, when it does not come up.
    std::unique_ptr<WaylandBrowser> openPage(const std::string& program, const std::string& page,
                                             const std::string& title, const nlohmann::json& state, int width,
                                             int height, bool accessibility = true, const std::string& windowClass = {}) {
        const int version = pages().setState(state);
        auto browser =
            WaylandBrowser::start(session(), program, pages().url(page), width, height, accessibility, windowClass);
        if (!browser) {
            ADD_FAILURE() << "chromium did not start as " << program;
            return nullptr;
        }
        if (!waitForWindow(title)) {
            ADD_FAILURE() << "no window titled \"" << title << "\" came up; chromium wrote:\n" << browser->log();
            return nullptr;
        }
        if (!pages().waitShown(version, 15s)) {
            ADD_FAILURE() << "the page " << page << " did not show its state";
            return nullptr;
        }
        return browser;
    }

    std::unique_ptr<ProgramRun> runLineWarden(const std::string& dialer) {
        return std::make_unique<ProgramRun>(session().commandInside({lineWardenBinary(), "--dialer=" + dialer}));
    }

private:
    static inline std::unique_ptr<WaylandSession> session_;
    static inline std::unique_ptr<desktop_test::ChildProcess> sway_;
    static inline std::unique_ptr<PageServer> pages_;
    static inline std::string why_;
};

TEST_F(SwayDesktop, KixieInBraveReportsACallFromStartToEnd) {
    auto browser = openPage("brave", "kixie.html", "Kixie PowerCall", {{"status", "Available"}}, 400, 600);
    ASSERT_TRUE(browser);
    auto monitor = runLineWarden("kixie");
    EXPECT_EQ(monitor->errLinesThrough("Monitoring Kixie status...", 30s),
              kixieFoundInBrave(kFirstWindow));
    expectScans(
        *monitor,
        {
            {nullptr, {"Initial status: Available", "NotConnected"}},
            {show(pages(), {{"status", "On Call"}}), {"Status changed from Available to On Call", "isDialing"}},
            {nullptr, {}},
            {show(pages(), {{"status", "Available"}}), {"Status changed from On Call to Available", "NotConnected"}},
        });
    EXPECT_TRUE(monitor->running());
    EXPECT_EQ(monitor->stop().out, "");
}

// Two timer sightings in a row start the call, three scans in a row without one end it.
TEST_F(SwayDesktop, RingCentralInChromeDebouncesTheCallTimer) {
    const nlohmann::json idle{{"call", "no"}};
    const nlohmann::json inCall{{"call", "yes"}, {"timer", "0:07"}};
    auto browser = openPage("chrome", "ringcentral.html", "RingCentral for Google", idle, 420, 600);
    ASSERT_TRUE(browser);
    auto monitor = runLineWarden("ringcentral");
    EXPECT_EQ(monitor->errLinesThrough("Monitoring RingCentral status...", 30s),
              ringCentralFoundInChrome(kFirstWindow));
    expectScans(*monitor, {
                              {nullptr, {"Initial status: Available", "NotConnected"}},
                              {show(pages(), inCall), {}},
                              {nullptr, {"Status changed to Dialing (Timer detected via OCR)", "isDialing"}},
                              {show(pages(), idle), {}},
                              {nullptr, {}},
                              {nullptr, {"Status changed to Available (Timer absent)", "NotConnected"}},
                          });
    EXPECT_EQ(monitor->stop().out, "");
}

// The window narrowed to less than half its width is not read: the call holds although the page
// went idle meanwhile, and ends once the window is wide again.
TEST_F(SwayDesktop, TrellusWidthGuardSkipsTheNarrowedWindow) {
    auto browser = openPage("brave", "trellus.html", "Trellus", {{"state", "Idle"}}, 480, 600);
    ASSERT_TRUE(browser);
    const auto resize = [&](int width) {
        return [this, width] {
            session().run({"swaymsg", "[title=\"^Trellus$\"]", "resize", "set", std::to_string(width), "600"});
            EXPECT_TRUE(desktop_test::waitUntil([&] {
                const auto shown = view("Trellus");
                return shown && shown->content.width == width;
            }));
        };
    };
    auto monitor = runLineWarden("trellus");
    ASSERT_TRUE(monitor->errLinesThrough("Monitoring Trellus status...", 30s)) << monitor->errSoFar();
    expectScans(*monitor,
                {
                    {nullptr, {"Initial status: Idle", "NotConnected"}},
                    {show(pages(), {{"state", "Active"}}), {"Status changed from Idle to Active", "isDialing"}},
                    {[&] {
                         resize(200)();
                         show(pages(), {{"state", "Idle"}})();
                     },
                     {}},
                });
    const auto skipped = monitor->lastScanErr();
    EXPECT_NE(std::find(skipped.begin(), skipped.end(),
                        "[detectCallViaScreenshot] ⚠️ Window size changed dramatically (960.0 → 400.0), skipping this scan"),
              skipped.end())
        << monitor->errSoFar();
    expectScans(*monitor, {{resize(480), {"Status changed from Active to Idle", "NotConnected"}}});
    EXPECT_EQ(monitor->stop().out, "");
}

// Brave is not running and Chrome shows only an inbox: the dialer is found in Edge.
TEST_F(SwayDesktop, TheSearchGoesThroughBraveAndChromeToEdge) {
    auto chrome = openPage("chrome", "inbox.html", "Inbox", nlohmann::json::object(), 500, 400);
    ASSERT_TRUE(chrome);
    auto edge = openPage("msedge", "kixie.html", "Kixie PowerCall", {{"status", "On Call"}}, 400, 600);
    ASSERT_TRUE(edge);
    auto monitor = runLineWarden("kixie");
    EXPECT_EQ(monitor->errLinesThrough("Monitoring Kixie status...", 30s),
              kixieFoundInEdgeAfterBraveAndChrome(kSecondWindow));
    expectScans(*monitor, {
                              {nullptr, {"Status changed from Available to On Call", "isDialing"}},
                              {show(pages(), {{"status", "Available"}}),
                               {"Status changed from On Call to Available", "NotConnected"}},
                          });
    EXPECT_EQ(monitor->stop().out, "");
}

// The browser quits during a call: the call ends, and the dialer is found again in the browser
// started anew, under the window's new number.
TEST_F(SwayDesktop, TheDialerWindowClosedIsFoundAgain) {
    auto browser = openPage("brave", "kixie.html", "Kixie PowerCall", {{"status", "On Call"}}, 400, 600);
    ASSERT_TRUE(browser);
    auto monitor = runLineWarden("kixie");
    Lines out = awaitOutput(*monitor, 2);
    browser.reset();
    ASSERT_TRUE(waitWindowGone("Kixie PowerCall"));
    const Lines ended = awaitOutput(*monitor, 2);
    out.insert(out.end(), ended.begin(), ended.end());
    browser = openPage("brave", "kixie.html", "Kixie PowerCall", {{"status", "On Call"}}, 400, 600);
    ASSERT_TRUE(browser);
    const Lines again = awaitOutput(*monitor, 2);
    out.insert(out.end(), again.begin(), again.end());
    EXPECT_EQ(out, (Lines{"Status changed from Available to On Call", "isDialing",
                          "Status changed from On Call to Available", "NotConnected",
                          "Status changed from Available to On Call", "isDialing"}))
        << monitor->errSoFar();
    EXPECT_NE(monitor->errSoFar().find("[Scan] Found the dialer's window again: \"Kixie PowerCall\", window " +
                                       kSecondWindow),
              std::string::npos)
        << monitor->errSoFar();
    EXPECT_TRUE(monitor->running());
    EXPECT_EQ(monitor->stop().out, "");
}

TEST_F(SwayDesktop, TabRosterListsEveryBrowserWindow) {
    auto brave = openPage("brave", "kixie.html", "Kixie PowerCall", {{"status", "Available"}}, 400, 600);
    ASSERT_TRUE(brave);
    auto chrome = openPage("chrome", "trellus.html", "Trellus", {{"state", "Idle"}}, 480, 600);
    ASSERT_TRUE(chrome);
    ASSERT_TRUE(brave->openWindow(pages().url("inbox.html")));
    ASSERT_TRUE(waitForWindow("Inbox"));
    const auto result = session().run({tabRosterBinary()}, {}, 30s);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out,
              "Brave Browser: Kixie PowerCall\n"
              "Brave Browser: Inbox\n"
              "Google Chrome: Trellus\n");
    EXPECT_EQ(result.err, "");
}

// A browser that answers nothing on the bus (stopped) costs bounded waits and is left out; the
// other browser is listed all the same.
TEST_F(SwayDesktop, TabRosterLeavesOutABrowserThatDoesNotAnswer) {
    auto brave = openPage("brave", "kixie.html", "Kixie PowerCall", {{"status", "Available"}}, 400, 600);
    ASSERT_TRUE(brave);
    auto chrome = openPage("chrome", "trellus.html", "Trellus", {{"state", "Idle"}}, 480, 600);
    ASSERT_TRUE(chrome);
    brave->freeze(true);
    const auto result = session().run({tabRosterBinary()}, {}, 60s);
    brave->freeze(false);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "Google Chrome: Trellus\n");
    EXPECT_EQ(result.err, "");
}

// Accessibility off and no application on the bus: the line naming it comes before the usual
// messages, and the monitor ends.
TEST_F(SwayDesktop, AccessibilityOffIsNamed) {
    auto brave = openPage("brave", "kixie.html", "Kixie PowerCall", {{"status", "Available"}}, 400, 600, false);
    ASSERT_TRUE(brave);
    const auto result = ProgramRun(session().commandInside({lineWardenBinary(), "--dialer=kixie"})).wait(60s);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              "linewarden: accessibility is off on this desktop: turn it on (GNOME: gsettings set "
              "org.gnome.desktop.interface toolkit-accessibility true; elsewhere set org.a11y.Status IsEnabled on "
              "the session bus), then restart the browser\n"
              "Error: Accessibility permissions not granted\n"
              "Please go to System Preferences > Security & Privacy > Privacy > Accessibility\n"
              "and add this application to the list of allowed apps.\n");
}

// Brave was started before accessibility was on, and so never came onto the bus: one line says so
// and what to do, and the search ends as it does without a dialer window.
TEST_F(SwayDesktop, ABrowserRunningButNotOnTheBusIsNamed) {
    const auto started = std::chrono::steady_clock::now();
    auto brave = openPage("brave", "kixie.html", "Kixie PowerCall", {{"status", "Available"}}, 400, 600, false);
    ASSERT_TRUE(brave);
    ASSERT_TRUE(session().enableAccessibility());   // as a person turns it on afterwards
    // A browser is named only once it has run long enough to have registered (5 s), not while it
    // may be starting.
    std::this_thread::sleep_until(started + 6s);
    auto monitor = runLineWarden("kixie");
    const auto result = monitor->wait(60s);
    ASSERT_TRUE(session().enableAccessibility(false));   // as the other tests found it
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              "Checking Brave browser...\n"
              "linewarden: Brave Browser is running but not on the accessibility bus (it was started before "
              "accessibility was on): restart Brave Browser to let its windows be found\n"
              "Browser not running (Bundle ID: com.brave.Browser)\n"
              "Checking Chrome browser...\n"
              "Browser not running (Bundle ID: com.google.Chrome)\n"
              "Checking Edge browser...\n"
              "Browser not running (Bundle ID: com.microsoft.edgemac)\n"
              "Error: Could not find Kixie window in any browser\n");
}

// The same session with Xwayland: a browser started as an X11 client is served by the X11 desktop
// within the Wayland one (its window number is the X window id), although it is on the bus too.
class SwayWithXwayland : public SwayDesktop {
protected:
    static void SetUpTestSuite() { startDesktop(true); }
};

TEST_F(SwayWithXwayland, KixieInBraveUnderXwaylandGoesThroughX11) {
    auto browser =
        openPage("brave", "kixie.html", "Kixie PowerCall", {{"status", "Available"}}, 400, 600, true, "Brave-browser");
    ASSERT_TRUE(browser);
    auto monitor = runLineWarden("kixie");
    const auto started = monitor->errLinesThrough("Monitoring Kixie status...", 30s);
    ASSERT_TRUE(started && started->size() == 4) << monitor->errSoFar();
    const std::string numberLine = started->at(2);
    ASSERT_TRUE(numberLine.starts_with("Got window ID: ")) << numberLine;
    EXPECT_LT(std::stoull(numberLine.substr(15)), 0x20000000ull) << "not an X window id: " << numberLine;
    expectScans(
        *monitor,
        {
            {nullptr, {"Initial status: Available", "NotConnected"}},
            {show(pages(), {{"status", "On Call"}}), {"Status changed from Available to On Call", "isDialing"}},
            {show(pages(), {{"status", "Available"}}), {"Status changed from On Call to Available", "NotConnected"}},
        });
    EXPECT_EQ(monitor->stop().out, "");
}

}  // namespace
