#pragma once

// A private user session for Wayland tests: its own mount and pid namespace (so the process ids the
// buses report are the ones /proc shows inside, and ending the session ends every process in it),
// an ordinary user (compositors refuse root), a private HOME and XDG_RUNTIME_DIR (mode 700) and a
// session bus. Compositors, browsers and the programs under test all run inside it; the test
// itself stays outside, as root, and reaches in through nsenter. The network is shared, so pages
// served by the test on 127.0.0.1 are reachable from inside.

#include <sys/types.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/DesktopSession.h"

namespace desktop_test {

// The whole content of a file; empty when it cannot be read.
std::string readFile(const std::string& path);

class WaylandSession {
public:
    // The user every program of the session runs as (nobody).
    static constexpr int kUser = 65534;

    // Nothing, and the reason in `why`, when unshare, setpriv, nsenter or dbus-daemon are missing or
    // the session does not come up.
    static std::unique_ptr<WaylandSession> start(std::string& why);
    ~WaylandSession();
    WaylandSession(const WaylandSession&) = delete;
    WaylandSession& operator=(const WaylandSession&) = delete;

    // HOME and XDG_RUNTIME_DIR of the session's user (the same folder), as seen from outside too.
    const std::string& runtimeDirectory() const { return runtime_; }

    // The environment of every program started inside from now on: HOME, XDG_RUNTIME_DIR, PATH,
    // DBUS_SESSION_BUS_ADDRESS, and what was set here (WAYLAND_DISPLAY, SWAYSOCK, DISPLAY, ...).
    void setEnvironment(const std::string& name, const std::string& value) { environment_[name] = value; }
    std::string environment(const std::string& name) const;

    // The command line that runs `argv` inside the session with its environment plus `extra`
    // ("NAME=value" each), as the session's user or, for set-up work such as mounts, as root.
    // The program is ended (SIGKILL) when the nsenter that started it goes.
    std::vector<std::string> commandInside(const std::vector<std::string>& argv,
                                           const std::vector<std::string>& extra = {}, bool asRoot = false) const;
    // A long-running program inside (a compositor, a daemon), its output in `logFile`; ended with
    // its whole process group when the handle goes.
    std::unique_ptr<ChildProcess> launch(const std::vector<std::string>& argv, const std::vector<std::string>& extra = {},
                                         const std::string& logFile = "/dev/null") const;
    // Runs a program inside to its end and collects both streams.
    test_support::ProcessResult run(const std::vector<std::string>& argv, const std::vector<std::string>& extra = {},
                                    std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;

    // Turns accessibility on (or off) for the session (org.a11y.Status IsEnabled, starting the
    // accessibility bus): applications started afterwards register on the accessibility bus.
    bool enableAccessibility(bool on = true) const;

    // The program file of a hard-linked copy of Debian's chromium folder whose program is called
    // `name` ("brave", "chrome", "msedge"), so that the browser's process names itself that in
    // /proc, as the real browser's does; empty when the copy cannot be made. Made once per name.
    std::string browserProgram(const std::string& name);

    // Kills every process of the session whose command line contains `text` (helpers that left the
    // process group of the program that started them, such as chromium's crash handler).
    void killProcessesMentioning(const std::string& text) const;

    // Whether a process (its id seen from outside) runs inside this session.
    bool holds(pid_t outer) const;

    // The process id, as the session sees it (and the buses report it), of the program that a
    // launch started, given the launcher's process id from outside; 0 when it is gone.
    static pid_t innerProcessId(pid_t launcher);

private:
    WaylandSession() = default;

    std::string root_;      // the session's folder: runtime directory, browser copies
    std::string runtime_;
    std::string browsers_;
    std::unique_ptr<ChildProcess> namespace_;   // unshare, whose child is the namespace's first process
    pid_t init_ = 0;                            // that first process, as seen from outside
    std::unique_ptr<ChildProcess> bus_;
    std::map<std::string, std::string> environment_;
};

// A headless sway (wlroots, pixman renderer) in the session, one output of `width` x `height`, no
// borders or title bars, every window floating at the size its client asks for; sets
// WAYLAND_DISPLAY and SWAYSOCK in the session, and with `xwayland` starts Xwayland at once and sets
// DISPLAY too. Nothing, and the reason in `why`, when sway does not come up.
std::unique_ptr<ChildProcess> startSway(WaylandSession& session, std::string& why, int width = 1280, int height = 800,
                                        bool xwayland = false);

// Debian's chromium as a native Wayland client in the session, started from a hard-linked copy named
// `programName` ("brave", "chrome", "msedge"; "chromium" for the installed one), with the flags of
// the X11 tests' browser (Chromium) and a fresh profile in the session. `accessibility` puts
// ACCESSIBILITY_ENABLED=1 in its environment. With a `windowClass` it is an X11 client of the
// session's DISPLAY (Xwayland) instead, disguised by that class as the X11 tests' browsers are.
class WaylandBrowser {
public:
    static std::unique_ptr<WaylandBrowser> start(WaylandSession& session, const std::string& programName,
                                                 const std::string& url, int width = 1000, int height = 700,
                                                 bool accessibility = true, const std::string& windowClass = {});
    ~WaylandBrowser();
    WaylandBrowser(const WaylandBrowser&) = delete;
    WaylandBrowser& operator=(const WaylandBrowser&) = delete;

    // Ends the browser and every process it started.
    void stop();
    // Stops every process of the browser (SIGSTOP), so that it answers nothing, or lets them go on.
    void freeze(bool frozen);
    // The browser's main process as the session sees it (what the buses report), or 0.
    pid_t innerProcessId() const;
    // Opens one more window in the running browser (a second launch with the same profile).
    bool openWindow(const std::string& url);
    std::string log() const;

private:
    WaylandBrowser(WaylandSession& session, std::string program, std::string profile, bool accessibility,
                   std::string windowClass)
        : session_(session),
          program_(std::move(program)),
          profile_(std::move(profile)),
          accessibility_(accessibility),
          windowClass_(std::move(windowClass)) {}
    std::vector<std::string> commandLine(const std::string& url, int width, int height) const;
    std::vector<std::string> environment() const;

    WaylandSession& session_;
    std::string program_;
    std::string profile_;
    bool accessibility_;
    std::string windowClass_;
    std::unique_ptr<ChildProcess> process_;
};

}  // namespace desktop_test
