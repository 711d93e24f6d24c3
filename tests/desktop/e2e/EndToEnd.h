#pragma once

// End-to-end runs of the production programs on a private X display: a loopback web server
// that shows a dialer page in whatever state the test chooses, Debian's chromium disguised as one
// of the monitored browsers, and the monitor run scan by scan while its output is read.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/ChildProcess.h"
#include "support/DesktopSession.h"

namespace e2e {

using namespace std::chrono_literals;

// Serves the page directory and the test's current state on 127.0.0.1, on a port of its own.
// The pages fetch `/state.json?shown=N` every 300 ms, where N is the version of the state they
// show, so the server also learns how far the page has caught up.
class PageServer {
public:
    static std::unique_ptr<PageServer> start(std::string pageDirectory);
    ~PageServer();
    PageServer(const PageServer&) = delete;
    PageServer& operator=(const PageServer&) = delete;

    // http://127.0.0.1:PORT/<page>
    std::string url(const std::string& page) const;
    // Replaces the state the pages show; the result is its version.
    int setState(nlohmann::json state);
    // Waits until a page reports showing this version or a later one.
    bool waitShown(int version, std::chrono::milliseconds timeout = 5s);

private:
    PageServer(test_support::UniqueFd listener, int port, std::string pageDirectory);
    void serve();
    std::string respond(const std::string& request);

    test_support::UniqueFd listener_;
    int port_;
    std::string pageDirectory_;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::string state_ = "{}";
    int version_ = 0;
    int shown_ = -1;
    std::thread thread_;
};

// The browsers of the end-to-end runs, with the class of a monitored browser ("Brave-browser",
// "Google-chrome", "Microsoft-edge") or of Zoom ("zoom"): the tests' one chromium launcher.
using Browser = desktop_test::Chromium;

// A window as the test sees it on the display.
struct ShownWindow {
    std::uint32_t number = 0;
    std::string owner;
};

// A private X server (optionally with openbox) and the page server; what every test starts with.
class Desktop {
public:
    // Nothing (and a message in `why`) when Xvfb, openbox or chromium cannot be had here.
    static std::unique_ptr<Desktop> start(bool withWindowManager, std::string& why);
    // The same on a display that runs already (a desktop session's), which the test does not own.
    static std::unique_ptr<Desktop> attach(const std::string& display, std::string& why);
    ~Desktop();

    const std::string& display() const { return display_; }
    PageServer& pages() { return *pages_; }
    std::unique_ptr<Browser> openBrowser(const std::string& windowClass, const std::string& page, int width,
                                         int height);

    desktop_test::XvfbServer& server() { return *server_; }
    // Kills the X server and starts a new one on the same display, as after a crash and a new
    // login; false when it does not come up.
    bool restartServer();

    // The on-screen window with exactly this title, once it is there.
    std::optional<ShownWindow> waitForWindow(const std::string& title, std::chrono::milliseconds timeout = 20s);
    // Waits until no on-screen window has this title.
    bool waitWindowGone(const std::string& title, std::chrono::milliseconds timeout = 10s);

private:
    Desktop() = default;
    std::string display_;
    std::unique_ptr<desktop_test::XvfbServer> server_;
    std::unique_ptr<desktop_test::ChildProcess> windowManager_;
    std::unique_ptr<PageServer> pages_;
};

// One of the production programs running on the test's display, its streams read as they come.
class ProgramRun {
public:
    ProgramRun(const std::string& binary, const std::vector<std::string>& args, const std::string& display);
    // A program started by this exact command line (a Wayland session's commandInside).
    explicit ProgramRun(const std::vector<std::string>& commandLine)
        : process_(commandLine.front(), {commandLine.begin() + 1, commandLine.end()}) {}

    // Standard-error lines up to and including the first one equal to `line`; nothing when the
    // time runs out or the program ends first.
    std::optional<std::vector<std::string>> errLinesThrough(const std::string& line,
                                                            std::chrono::milliseconds timeout = 15s);
    // The standard-output lines of the next scan, taken when the driver writes the scan's timing
    // line; nothing when no scan ends in time.
    std::optional<std::vector<std::string>> nextScan(std::chrono::milliseconds timeout = 15s);
    // The standard-error lines of the scan that `nextScan` returned last.
    std::vector<std::string> lastScanErr() const;
    // The next standard-error line; nothing when none comes in time.
    std::optional<std::string> nextErrLine(std::chrono::milliseconds timeout = 15s) {
        return nextErrLine(std::chrono::steady_clock::now() + timeout);
    }
    bool running() { return process_.running(); }
    pid_t pid() const { return process_.pid(); }
    // Waits for the program to end by itself.
    test_support::ProcessResult wait(std::chrono::milliseconds timeout) { return process_.wait(timeout); }
    // Ends the program; the result holds what it wrote and was not read yet.
    test_support::ProcessResult stop() { return process_.kill(); }

    // Everything read from standard error so far, for failure messages.
    std::string errSoFar() const;

private:
    std::optional<std::string> nextErrLine(std::chrono::steady_clock::time_point deadline);
    test_support::ChildProcess process_;
    std::vector<std::string> errLines_;
    std::size_t lastScanStart_ = 0;
    std::size_t lastScanEnd_ = 0;
};

// One scan of a scan-by-scan script: what to change before it, and the status lines it prints.
struct Scan {
    std::function<void()> before;
    std::vector<std::string> out;
};

// Runs the script: performs each step's change after the previous scan has ended and checks the
// standard output of the scan that follows. Adds a test failure for every difference.
void expectScans(ProgramRun& monitor, const std::vector<Scan>& script);

// The standard-output lines of the scans that follow, read scan by scan until `lines` of them
// have come (or the time runs out), for changes that take several scans to show.
std::vector<std::string> awaitOutput(ProgramRun& monitor, std::size_t lines, std::chrono::milliseconds timeout = 60s);

// A change that sets the page state and waits until the page shows it.
std::function<void()> show(PageServer& pages, nlohmann::json state);

// What linewarden writes to standard error from its start through "Monitoring ... status...", the
// same on every desktop: Kixie found in Brave; RingCentral found in Chrome, Brave not running;
// Kixie found in Edge after Brave (not running) and Chrome (no such tab).
std::vector<std::string> kixieFoundInBrave(const std::string& windowId);
std::vector<std::string> ringCentralFoundInChrome(const std::string& windowId);
std::vector<std::string> kixieFoundInEdgeAfterBraveAndChrome(const std::string& windowId);

// The base of the end-to-end tests: a fresh desktop per test, skipped where one cannot be had.
class DesktopTest : public testing::Test {
protected:
    void SetUp() override;
    virtual bool withWindowManager() const { return false; }
    // The desktop of each test: by default a fresh Xvfb (with openbox when asked for).
    virtual std::unique_ptr<Desktop> makeDesktop(std::string& why);
    Desktop& desktop() { return *desktop_; }
    PageServer& pages() { return desktop_->pages(); }

    // Opens `page` showing `state` in a new browser with this window class, and waits until its
    // window, titled `title`, is on screen and shows the state. Nothing, with a failure added,
    // when it does not come up.
    std::unique_ptr<Browser> openPage(const std::string& windowClass, const std::string& page, const std::string& title,
                                      const nlohmann::json& state, int width, int height, ShownWindow* shown = nullptr);
    std::unique_ptr<ProgramRun> runLineWarden(const std::string& dialer);

private:
    std::unique_ptr<Desktop> desktop_;
};

std::string lineWardenBinary();
std::string tabRosterBinary();

}  // namespace e2e
