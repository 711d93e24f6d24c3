#pragma once

// A headless GNOME session for tests, as a person's GNOME session looks to its clients:
// gnome-shell 43 (mutter) as the Wayland compositor with a 1280x800 virtual monitor, its rootless
// Xwayland as DISPLAY with the session's Xauthority, and on request PipeWire with wireplumber and
// the real xdg-desktop-portal frontend. It runs in a private Wayland test session (WaylandSession:
// namespaces, the ordinary user, runtime folder and session bus), to which it adds what GNOME
// needs of the system here: gnome-shell dies on logind and UPower when it finds the machine's own
// system bus, so the session gets a private system bus on a private /run/dbus, with /run/systemd
// hidden.

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/WaylandSession.h"

namespace desktop_test {

class GnomeSession {
public:
    // Starts gnome-shell in `session` and waits until its Xwayland answers and the shell is up
    // with its overview closed (a fresh session opens it); then sets DISPLAY, XAUTHORITY,
    // WAYLAND_DISPLAY, XDG_SESSION_TYPE and XDG_CURRENT_DESKTOP for every program started in the
    // session from then on, as a GNOME session does for its clients, and XAUTHORITY in this
    // process, so that the test can look at the display from outside. Nothing, with the reason
    // in `why`, when the session cannot be had here. Must not outlive `session`.
    static std::unique_ptr<GnomeSession> start(WaylandSession& session, std::string& why);
    ~GnomeSession();
    GnomeSession(const GnomeSession&) = delete;
    GnomeSession& operator=(const GnomeSession&) = delete;

    // Xwayland's display (":N", the first number free on the machine).
    const std::string& display() const { return display_; }
    // How long gnome-shell took until its Xwayland answered and its overview was closed.
    std::chrono::milliseconds startTime() const { return startTime_; }

    // PipeWire and wireplumber, the latter told not to use logind (with /run/systemd hidden it
    // would otherwise link nothing). False when the PipeWire socket does not come up.
    bool startPipeWire();
    // The real portal frontend (/usr/libexec/xdg-desktop-portal). A test program that is to play
    // the GNOME portal backend (for the choice a person makes in its dialog) owns
    // org.freedesktop.impl.portal.desktop.gnome before this is called. The D-Bus service files of
    // the frontend and of the real backend are hidden in the session, so neither is started by
    // D-Bus activation (a browser asks the portal for settings as it starts). `extra` goes into
    // its environment ("NAME=value" each; XDG_DESKTOP_PORTAL_DIR names another folder of .portal
    // files, for a backend that is not installed). False when the frontend does not take its bus
    // name in time.
    bool startPortalFrontend(const std::vector<std::string>& extra = {});
    // Whether `name` has an owner on the session bus, polled until `timeout`.
    bool waitForBusName(const std::string& name, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // What gnome-shell wrote, for failure messages.
    std::string log() const;

private:
    explicit GnomeSession(WaylandSession& session) : session_(session) {}
    // gdbus on the session bus, inside the session; its output, or nothing when the call failed.
    std::optional<std::string> busCall(std::vector<std::string> arguments) const;

    WaylandSession& session_;
    pid_t shellProcess_ = 0;     // gnome-shell's process id as the session sees it
    std::vector<int> displays_;  // the X displays its Xwayland locked
    std::string display_;
    std::chrono::milliseconds startTime_{0};
    std::unique_ptr<ChildProcess> shell_;
    std::unique_ptr<ChildProcess> pipeWire_;
    std::unique_ptr<ChildProcess> wirePlumber_;
    std::unique_ptr<ChildProcess> portal_;
};

}  // namespace desktop_test
