// The monitor on a GNOME session, where the ScreenCast portal is the only route to a native
// window's pixels: gnome-shell 43 headless (mutter), PipeWire with wireplumber, the real
// xdg-desktop-portal frontend with its restore tokens and permission store, and native-Wayland
// chromium named brave showing the dialer, the monitor finding it on the accessibility bus. Only
// the person at the sharing dialog is replaced, by screencast-stand-in (see its opening comment),
// which picks the window by a rule the test sets and serves it with mutter's own window screen
// cast. One session serves every test of this program; each test starts without a kept consent.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "e2e/EndToEnd.h"
#include "support/GnomePortal.h"

namespace {

namespace fs = std::filesystem;
using namespace e2e;
using desktop_test::GnomePortal;
using Lines = std::vector<std::string>;

const std::string kFirstWindow = std::to_string(0x80000001u);

const std::string kPick =
    "linewarden: the system asks which window linewarden may capture: choose the window showing \"Kixie PowerCall\" "
    "of Brave Browser, and let the system remember the choice";

bool contains(const Lines& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}
Lines linesOf(const std::string& text) {
    Lines lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

class PortalOnGnome : public testing::Test {
protected:
    static void SetUpTestSuite() { desktop_ = GnomePortal::start(why_); }
    static void TearDownTestSuite() { desktop_.reset(); }
    void SetUp() override {
        if (!desktop_) GTEST_SKIP() << why_;
        desktop_->reset();
    }

    static fs::path tokenFile() { return desktop_->tokenFile(); }
    static void pick(const std::string& rule) { desktop_->pick(rule); }
    static std::string standInLog() { return desktop_->standInLog(); }
    std::unique_ptr<desktop_test::WaylandBrowser> openPage(const std::string& page, const std::string& title,
                                                           const nlohmann::json& state, int width, int height,
                                                           const std::string& program = "brave") {
        return desktop_->openPage(page, title, state, width, height, program);
    }
    std::unique_ptr<ProgramRun> runLineWarden(const std::string& dialer) { return desktop_->runLineWarden(dialer); }
    PageServer& pages() { return desktop_->pages(); }

    static inline std::unique_ptr<GnomePortal> desktop_;
    static inline std::string why_;
};

// The first run asks (the stand-in picks), the second finds the consent kept and asks nobody.
TEST_F(PortalOnGnome, KixieCallWithConsentGivenOnceAndKept) {
    auto browser = openPage("kixie.html", "Kixie PowerCall", {{"status", "Available"}}, 400, 600);
    ASSERT_TRUE(browser);
    for (const bool kept : {false, true}) {
        const auto started = std::chrono::steady_clock::now();
        auto monitor = runLineWarden("kixie");
        EXPECT_EQ(monitor->errLinesThrough("Monitoring Kixie status...", 30s),
                  kixieFoundInBrave(kFirstWindow));
        expectScans(*monitor, {
                                  {nullptr, {"Initial status: Available", "NotConnected"}},
                              });
        std::cerr << (kept ? "with the consent kept" : "with the consent asked") << ", first status line after "
                  << std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count()
                  << " ms\n";
        expectScans(*monitor,
                    {
                        {show(pages(), {{"status", "On Call"}}), {"Status changed from Available to On Call", "isDialing"}},
                        {show(pages(), {{"status", "Available"}}),
                         {"Status changed from On Call to Available", "NotConnected"}},
                    });
        const Lines said = linesOf(monitor->errSoFar());
        EXPECT_EQ(contains(said, kPick), !kept) << monitor->errSoFar();
        EXPECT_TRUE(monitor->running());
        EXPECT_EQ(monitor->stop().out, "");
        pages().setState({{"status", "Available"}});
    }
    EXPECT_EQ(standInLog(), "picked Kixie PowerCall\nrestored Kixie PowerCall\n");
    EXPECT_EQ(fs::status(tokenFile()).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

// The browser restarts during a call: the stream ends, the window counts as gone, the call ends,
// the dialer is found again and shared again from the kept consent, and its next call is reported
// once.
TEST_F(PortalOnGnome, BrowserRestartedDuringACall) {
    auto browser = openPage("kixie.html", "Kixie PowerCall", {{"status", "On Call"}}, 400, 600);
    ASSERT_TRUE(browser);
    {
        // The consent, given in an earlier run: the first scan reads the window.
        auto earlier = runLineWarden("kixie");
        EXPECT_EQ(awaitOutput(*earlier, 2).size(), 2u);
        earlier->stop();
    }
    auto monitor = runLineWarden("kixie");
    Lines out = awaitOutput(*monitor, 2);
    browser.reset();
    const Lines ended = awaitOutput(*monitor, 2);
    out.insert(out.end(), ended.begin(), ended.end());
    browser = openPage("kixie.html", "Kixie PowerCall", {{"status", "On Call"}}, 400, 600);
    ASSERT_TRUE(browser);
    const Lines again = awaitOutput(*monitor, 2);
    out.insert(out.end(), again.begin(), again.end());
    EXPECT_EQ(out, (Lines{"Status changed from Available to On Call", "isDialing",
                          "Status changed from On Call to Available", "NotConnected",
                          "Status changed from Available to On Call", "isDialing"}))
        << monitor->errSoFar();
    // Not asked: the new window was shared from the kept consent (mutter's window is a new one,
    // so the stand-in chose it again by its rule, as GNOME's dialog would offer it at once).
    const Lines said = linesOf(monitor->errSoFar());
    EXPECT_EQ(std::count(said.begin(), said.end(), kPick), 0) << monitor->errSoFar();
    EXPECT_TRUE(monitor->running());
    EXPECT_EQ(monitor->stop().out, "");
}

// The person refuses: one line says so, nothing is captured (the call goes unseen), nothing is
// asked again, and the monitor keeps running.
TEST_F(PortalOnGnome, RefusedConsent) {
    pick("refuse");
    auto browser = openPage("kixie.html", "Kixie PowerCall", {{"status", "Available"}}, 400, 600);
    ASSERT_TRUE(browser);
    auto monitor = runLineWarden("kixie");
    expectScans(*monitor, {
                              {nullptr, {"Initial status: Available", "NotConnected"}},
                              {show(pages(), {{"status", "On Call"}}), {}},
                              {nullptr, {}},
                          });
    const Lines said = linesOf(monitor->errSoFar());
    EXPECT_EQ(std::count(said.begin(), said.end(),
                         "linewarden: screen capture was refused in the system's dialog: the dialer's window is not "
                         "read; restart linewarden to be asked again"),
              1)
        << monitor->errSoFar();
    EXPECT_EQ(standInLog(), "refused\n");
    EXPECT_FALSE(fs::exists(tokenFile()));
    EXPECT_TRUE(monitor->running());
    EXPECT_EQ(monitor->stop().out, "");
}

// The kept consent restores another window (Trellus in Chrome, watched before): one line says it
// is not the dialer's, it is never read, and the person is asked for the dialer's window.
TEST_F(PortalOnGnome, KeptConsentThatNoLongerFits) {
    auto trellus = openPage("trellus.html", "Trellus", {{"state", "Idle"}}, 480, 600, "chrome");
    ASSERT_TRUE(trellus);
    pick("Trellus");
    {
        auto monitor = runLineWarden("trellus");
        expectScans(*monitor, {{nullptr, {"Initial status: Idle", "NotConnected"}}});
        EXPECT_EQ(monitor->stop().out, "");
    }
    pick("Kixie PowerCall");
    auto browser = openPage("kixie.html", "Kixie PowerCall", {{"status", "On Call"}}, 400, 600);
    ASSERT_TRUE(browser);
    auto monitor = runLineWarden("kixie");
    // The wrong window is not read (no call), then the dialer's window picked anew is.
    EXPECT_EQ(awaitOutput(*monitor, 4), (Lines{"Initial status: Available", "NotConnected",
                                              "Status changed from Available to On Call", "isDialing"}));
    const Lines said = linesOf(monitor->errSoFar());
    EXPECT_TRUE(contains(said, "linewarden: the window shared through the portal (480x600) is not the window showing "
                               "\"Kixie PowerCall\" of Brave Browser (400x600); it is not captured, and the system "
                               "asks again"))
        << monitor->errSoFar();
    EXPECT_TRUE(contains(said, kPick)) << monitor->errSoFar();
    EXPECT_EQ(standInLog(), "picked Trellus\nrestored Trellus\npicked Kixie PowerCall\n");
    EXPECT_EQ(monitor->stop().out, "");
}

}  // namespace
