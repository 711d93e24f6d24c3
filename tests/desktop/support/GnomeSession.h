#pragma once

// A headless GNOME session for tests, as a person's GNOME session looks to its clients:
// gnome-shell 43 (mutter) as the Wayland compositor with a 1280x800 virtual monitor, its rootless
// Xwayland as DISPLAY with the session's Xauthority, a session bus, and on request PipeWire with
// wireplumber and the real xdg-desktop-portal frontend.
//
// gnome-shell refuses to run as root and dies on logind and UPower when it finds the machine's
// own system bus, and its Xwayland wants display :0. So the whole test program runs in private
// mount, network and pid namespaces: a private /tmp (X sockets, lock files, the session's HOME
// and XDG_RUNTIME_DIR), a private system bus on a private /run/dbus, /run/systemd hidden, only a
// loopback network, and everything it starts ends with it. Set-up happens as root in the new
// namespaces; the tests themselves, and every program they start, run as the ordinary user
// nobody (uid 65534) inside dbus-run-session.
//
// Use: call runInGnomeSandbox(argc, argv) first thing in main(), then GnomeSession::start() from
// a test (one session per test program, shared by its tests).

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/DesktopSession.h"

namespace desktop_test {

// What the sandbox prepares before the private /tmp hides the machine's own: hard-linked copies
// of Debian's chromium folder whose program carries another browser's name (a hard link, unlike
// a symbolic one, makes the browser's processes call themselves by that name, as the real
// browsers' do). Hard links cannot cross into the private /tmp, so they are made beforehand.
struct SandboxOptions {
    std::vector<std::string> browserCopies{};   // program names, e.g. "brave"
};

// Moves the test program into the sandbox: returns in the sandbox, as nobody, with HOME and
// XDG_RUNTIME_DIR private and a session bus, or where the sandbox cannot be had (not root, no
// namespaces, a program missing; GnomeSession::start then says why) or is not wanted (listing
// the tests). Must be called before any thread starts. Exits with the tests' own status.
void runInGnomeSandbox(int argc, char** argv, const SandboxOptions& options = {});

// The program file of a browser copy made by the sandbox, e.g. /tmp/browsers/brave/brave.
std::string browserCopy(const std::string& name);

class GnomeSession {
public:
    // Starts gnome-shell and waits until its Xwayland answers and the shell is up, with its
    // overview closed; then exports DISPLAY, XAUTHORITY, WAYLAND_DISPLAY, XDG_SESSION_TYPE and
    // XDG_CURRENT_DESKTOP to this process, as a GNOME session does to its clients, so programs
    // started from here on are the session's. Nothing, with the reason in `why`, when the
    // session cannot be had here.
    static std::unique_ptr<GnomeSession> start(std::string& why);
    ~GnomeSession();
    GnomeSession(const GnomeSession&) = delete;
    GnomeSession& operator=(const GnomeSession&) = delete;

    const std::string& display() const { return display_; }                // ":0"
    const std::string& waylandDisplay() const { return waylandDisplay_; }
    // How long gnome-shell took until its Xwayland answered and its overview was closed.
    std::chrono::milliseconds startTime() const { return startTime_; }

    // PipeWire and wireplumber, the latter told not to use logind (with /run/systemd hidden it
    // would otherwise link nothing). False when the PipeWire socket does not come up.
    bool startPipeWire();
    // The real portal frontend (/usr/libexec/xdg-desktop-portal). A test program that is to play
    // the GNOME portal backend (for the choice a person makes in its dialog) owns
    // org.freedesktop.impl.portal.desktop.gnome before this is called. The D-Bus service files of
    // the frontend and of the real backend are hidden in the sandbox, so neither is started by
    // D-Bus activation (a browser asks the portal for settings as it starts). False when the
    // frontend does not take its bus name in time.
    bool startPortalFrontend();
    // Whether `name` has an owner on the session bus, polled until `timeout`.
    bool waitForBusName(const std::string& name, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // What gnome-shell wrote, for failure messages.
    std::string log() const;

private:
    GnomeSession() = default;
    std::string logFile_;
    std::string display_;
    std::string waylandDisplay_;
    std::chrono::milliseconds startTime_{0};
    std::unique_ptr<ChildProcess> shell_;
    std::unique_ptr<ChildProcess> pipeWire_;
    std::unique_ptr<ChildProcess> wirePlumber_;
    std::unique_ptr<ChildProcess> portal_;
};

}  // namespace desktop_test
