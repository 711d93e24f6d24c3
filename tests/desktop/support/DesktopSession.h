#pragma once

// Real X desktops for tests and benchmarks: a private Xvfb, optionally openbox and chromium on
// it, and a client that creates windows to look at. Nothing here reads the environment's
// DISPLAY; every program is started on the test's own display.

#include <sys/types.h>
#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace desktop_test {

// Polls `condition` until it holds or `timeout` has passed; the condition's last answer.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(10'000));

// Whether a program can be found on PATH.
bool programAvailable(const std::string& name);

// A program started in a process group of its own, with DISPLAY set to the given display;
// ended (the whole group) when the object goes.
class ChildProcess {
public:
    static std::unique_ptr<ChildProcess> start(const std::vector<std::string>& argv, const std::string& display,
                                               const std::string& logFile = "/dev/null");
    // Takes charge of a child that was started by other means (it must lead its own group).
    static std::unique_ptr<ChildProcess> adopt(pid_t pid) { return std::unique_ptr<ChildProcess>(new ChildProcess(pid)); }
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool running();
    // Ends the group: SIGTERM, then SIGKILL after `grace`.
    void stop(std::chrono::milliseconds grace = std::chrono::milliseconds(2000));
    // Ends the group at once, without letting it clean up.
    void kill();

private:
    explicit ChildProcess(pid_t pid) : pid_(pid) {}
    void reap(std::chrono::milliseconds timeout);
    pid_t pid_ = -1;
    bool reaped_ = false;
};

// Xvfb on a display number the server picks itself (-displayfd), so that tests can run side by side.
class XvfbServer {
public:
    // Nothing when Xvfb is missing or does not come up; `screen` is WIDTHxHEIGHTxDEPTH, and
    // `options` go on Xvfb's command line.
    static std::unique_ptr<XvfbServer> start(const std::string& screen = "1280x800x24",
                                             const std::vector<std::string>& options = {});
    const std::string& display() const { return display_; }   // ":N"
    // Ends the server at once, as a crash or a logout would.
    void kill() { process_->kill(); }
    // Stops the server's process (SIGSTOP), so that it accepts connections and answers nothing,
    // and lets it go on again (SIGCONT).
    void freeze();
    void thaw();

private:
    XvfbServer(std::unique_ptr<ChildProcess> process, std::string display)
        : process_(std::move(process)), display_(std::move(display)) {}
    std::unique_ptr<ChildProcess> process_;
    std::string display_;
};

// openbox, an EWMH window manager that reparents; nothing when it does not come up.
std::unique_ptr<ChildProcess> startOpenbox(const std::string& display);

// The options of every test browser after its program and window class: a fresh profile in
// `profile`, off the network, painting when covered, `url` in an app window of `width` x `height`
// (0 x 0: the size chromium picks).
std::vector<std::string> chromiumOptions(const std::string& profile, const std::string& url, int width, int height);

// Kills every process whose command line names the profile (chromium's helpers that leave the
// browser's process group).
void endStragglers(const std::string& profile);

// Debian's chromium showing `url` in an app window of `width` x `height` at the top left (0 x 0:
// the size chromium picks), disguised by its window class (--class) as another browser unless
// `windowClass` is empty. It stays off the network, keeps painting when covered, and has a fresh
// profile that is removed afterwards with every process it started. The one way the tests and
// benchmarks start a browser.
class Chromium {
public:
    static std::unique_ptr<Chromium> start(const std::string& display, const std::string& windowClass,
                                           const std::string& url, int width = 1000, int height = 700);
    ~Chromium();
    Chromium(const Chromium&) = delete;
    Chromium& operator=(const Chromium&) = delete;

    pid_t pid() const { return process_->pid(); }
    void stop() { process_->stop(); }
    // Ends the browser and all its processes at once, as a crash would.
    void kill() { process_->kill(); }
    // Opens one more window in the running browser: a second launch with the same profile hands
    // its address over and exits. The new window takes the place and size of the last one.
    bool openWindow(const std::string& url);
    // What the browser wrote on its standard streams, for failure messages.
    std::string log() const;

private:
    Chromium(std::string display, std::string windowClass, std::string profile, std::unique_ptr<ChildProcess> process)
        : display_(std::move(display)),
          windowClass_(std::move(windowClass)),
          profile_(std::move(profile)),
          process_(std::move(process)) {}
    static std::vector<std::string> commandLine(const std::string& windowClass, const std::string& profile,
                                                const std::string& url, int width, int height);

    std::string display_;
    std::string windowClass_;
    std::string profile_;
    std::unique_ptr<ChildProcess> process_;
};

// What a test window looks like to the backend.
struct WindowShape {
    int x = 0;
    int y = 0;
    int width = 200;
    int height = 100;
    std::uint32_t rgb = 0xFFFFFF;                  // background colour, 0xRRGGBB
    std::optional<std::string> instanceName{};       // WM_CLASS, first string
    std::optional<std::string> className{};          // WM_CLASS, second string
    std::optional<std::string> netWmName{};          // _NET_WM_NAME (UTF-8)
    std::optional<std::string> wmName{};             // WM_NAME as Latin-1 bytes (STRING)
    std::optional<std::uint32_t> pid{};              // _NET_WM_PID
    bool desktopType = false;                      // _NET_WM_WINDOW_TYPE_DESKTOP
    bool overrideRedirect = false;
    bool paintedByClient = false;                  // no background: only the client draws it
    bool map = true;
};

// A test's own connection to the display, creating and changing windows. Errors are checked
// after each change, so that a test fails where its set-up went wrong.
class TestClient {
public:
    explicit TestClient(const std::string& display);
    ~TestClient();
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    bool ok() const;
    xcb_connection_t* raw() const { return connection_; }
    xcb_window_t root() const { return root_; }

    xcb_window_t createWindow(const WindowShape& shape);
    // Fills the window's background with four quadrants (top-left, top-right, bottom-left,
    // bottom-right colours), repainted by the server whenever the window is exposed.
    void setQuadrants(xcb_window_t window, int width, int height, const std::uint32_t (&rgb)[4]);
    void map(xcb_window_t window);
    void unmap(xcb_window_t window);
    void destroy(xcb_window_t window);
    void raise(xcb_window_t window);
    void setNetWmName(xcb_window_t window, const std::string& title);
    // Asks the window manager to minimise the window (WM_CHANGE_STATE), or to show and activate
    // it again (_NET_ACTIVE_WINDOW), as a taskbar does.
    void iconify(xcb_window_t window);
    void activate(xcb_window_t window);
    // Waits until the server has handled everything sent so far.
    void sync();

    // The window's top-left corner relative to the root, as the server reports it.
    std::optional<std::pair<int, int>> rootPosition(xcb_window_t window);
    // Whether a window manager (if one runs) has taken the window on: WM_STATE set.
    bool managed(xcb_window_t window);
    // Waits until the window is viewable (and, under a window manager, managed).
    bool waitShown(xcb_window_t window, bool underWindowManager);

private:
    xcb_atom_t atom(const std::string& name);
    void setProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type, int format, std::uint32_t count,
                     const void* data);
    void check(xcb_void_cookie_t cookie, const char* what);

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = XCB_WINDOW_NONE;
    xcb_visualid_t visual_ = 0;
};

// A window whose application paints it itself, as real applications do: it has no background,
// and its four quadrants are drawn `delay` after the server reports any part of it exposed.
class PaintedWindow {
public:
    PaintedWindow(const std::string& display, WindowShape shape, const std::uint32_t (&rgb)[4],
                  std::chrono::milliseconds delay);
    ~PaintedWindow();
    PaintedWindow(const PaintedWindow&) = delete;
    PaintedWindow& operator=(const PaintedWindow&) = delete;

    xcb_window_t id() const { return window_; }
    int paints() const { return paints_; }

private:
    void paint();
    void run();

    TestClient client_;
    WindowShape shape_;
    std::uint32_t rgb_[4];
    std::chrono::milliseconds delay_;
    xcb_window_t window_ = XCB_WINDOW_NONE;
    std::atomic<int> paints_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace desktop_test
