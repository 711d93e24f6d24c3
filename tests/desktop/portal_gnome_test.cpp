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
#include "support/GnomeSession.h"

namespace {

namespace fs = std::filesystem;
using namespace e2e;
using desktop_test::GnomeSession;
using desktop_test::WaylandBrowser;
using desktop_test::WaylandSession;
using Lines = std::vector<std::string>;

constexpr const char* kBackendName = "org.freedesktop.impl.portal.desktop.gnome";
const std::string kFirstWindow = std::to_string(0x80000001u);

const std::string kPick =
    "linewarden: the system asks which window linewarden may capture: choose the window showing \"Kixie PowerCall\" "
    "of Brave Browser, and let the system remember the choice";

std::string readFile(const fs::path& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

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
    static void SetUpTestSuite() {
        session_ = WaylandSession::start(why_);
        if (session_) gnome_ = GnomeSession::start(*session_, why_);
        if (!gnome_) return;
        const fs::path folder = session_->runtimeDirectory();
        // The frontend finds its backends through portal files; this one names the stand-in's bus
        // name for ScreenCast on GNOME, as xdg-desktop-portal-gnome's own file does.
        fs::create_directories(folder / "portals");
        std::ofstream(folder / "portals" / "gnome.portal")
            << "[portal]\nDBusName=" << kBackendName
            << "\nInterfaces=org.freedesktop.impl.portal.ScreenCast\nUseIn=gnome\n";
        fs::permissions(folder / "portals", fs::perms::all);
        if (!gnome_->startPipeWire()) {
            why_ = "PipeWire did not come up";
        } else if (!(standIn_ = session_->launch({SCREENCAST_STAND_IN},
                                                 {"STAND_IN_RULE=" + (folder / "rule").string(),
                                                  "STAND_IN_LOG=" + (folder / "stand-in.log").string()},
                                                 (folder / "stand-in.out").string())) ||
                   !gnome_->waitForBusName(kBackendName)) {
            why_ = "the stand-in did not take the portal backend's name";
        } else if (!gnome_->startPortalFrontend({"XDG_DESKTOP_PORTAL_DIR=" + (folder / "portals").string()})) {
            why_ = "the portal frontend did not start";
        } else if (!(pages_ = PageServer::start(E2E_PAGES_DIR))) {
            why_ = "cannot listen on 127.0.0.1";
        } else {
            return;
        }
        TearDownTestSuite();
    }
    static void TearDownTestSuite() {
        pages_.reset();
        standIn_.reset();
        gnome_.reset();
        session_.reset();
    }

    void SetUp() override {
        if (!pages_) GTEST_SKIP() << why_;
        fs::remove(tokenFile());
        fs::remove(folder() / "stand-in.log");
        pick("Kixie PowerCall");
    }

    static fs::path folder() { return session_->runtimeDirectory(); }
    static fs::path tokenFile() { return folder() / ".local/state/linewarden/screencast-restore-token"; }
    // The rule the stand-in picks by at the next dialog: a title text, or "refuse".
    static void pick(const std::string& rule) {
        std::ofstream(folder() / "rule") << rule << "\n";
        fs::permissions(folder() / "rule", fs::perms::all);
    }
    static std::string standInLog() { return readFile(folder() / "stand-in.log"); }

    // `page` showing `state` in a new native-Wayland browser called `program`, once the monitor's
    // lister sees its window `title` on the accessibility bus and the page shows the state.
    std::unique_ptr<WaylandBrowser> openPage(const std::string& page, const std::string& title,
                                             const nlohmann::json& state, int width, int height,
                                             const std::string& program = "brave") {
        const int version = pages_->setState(state);
        auto browser = WaylandBrowser::start(*session_, program, pages_->url(page), width, height);
        if (!browser) {
            ADD_FAILURE() << "chromium did not start as " << program;
            return nullptr;
        }
        const bool listed = desktop_test::waitUntil(
            [&] { return session_->run({tabRosterBinary()}, {}, 30s).out.find(": " + title + "\n") != std::string::npos; },
            60s);
        if (!listed || !pages_->waitShown(version, 15s)) {
            ADD_FAILURE() << "no window \"" << title << "\" showing its state came up; chromium wrote:\n" << browser->log();
            return nullptr;
        }
        return browser;
    }
    std::unique_ptr<ProgramRun> runLineWarden(const std::string& dialer) {
        return std::make_unique<ProgramRun>(session_->commandInside({lineWardenBinary(), "--dialer=" + dialer}));
    }
    PageServer& pages() { return *pages_; }

    static inline std::unique_ptr<WaylandSession> session_;
    static inline std::unique_ptr<GnomeSession> gnome_;
    static inline std::unique_ptr<desktop_test::ChildProcess> standIn_;
    static inline std::unique_ptr<PageServer> pages_;
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
                  (Lines{"Checking Brave browser...", "Found Kixie window: Kixie PowerCall",
                         "Got window ID: " + kFirstWindow, "Monitoring Kixie status..."}));
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
    // Asked once: the new window was shared from the kept consent (mutter's window is a new one,
    // so the stand-in chose it again by its rule, as GNOME's dialog would offer it).
    const Lines said = linesOf(monitor->errSoFar());
    EXPECT_EQ(std::count(said.begin(), said.end(), kPick), 1) << monitor->errSoFar();
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
