#pragma once

// One ScreenCast session through the desktop portal (org.freedesktop.portal.ScreenCast, by
// libportal), offering the person one window to share and asking the portal to keep the choice
// (persist mode 2). The portal answers asynchronously, and it may wait on the person for as long
// as they take, or never answer at all; so each session runs on its own GLib main context that
// the owner iterates with bounded waits, and nothing here ever blocks for longer than asked.
// A session that is dropped is closed; its context is never iterated again, so a late answer of
// the portal reaches nobody.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform::portal {

class PortalSession {
public:
    enum class Phase {
        Waiting,    // the portal has not answered yet (it may be showing its dialog)
        Started,    // a window is shared: stream() and restoreToken() hold the answer
        Refused,    // the person cancelled the dialog
        Failed,     // the portal or the bus failed; failure() says how
        Closed,     // a started session ended (the window closed, the session was revoked)
    };

    // The shared window's PipeWire node and size in pixels, as the portal reports them.
    struct Stream {
        std::uint32_t node = 0;
        int width = 0;
        int height = 0;
    };

    // Asks the portal for a session; with a restore token, for the one kept under it. Never
    // blocks: the answer comes through poll().
    static std::unique_ptr<PortalSession> begin(const std::optional<std::string>& restoreToken);
    ~PortalSession();
    PortalSession(const PortalSession&) = delete;
    PortalSession& operator=(const PortalSession&) = delete;

    // Handles what the portal sent; while the phase is Waiting, waits up to `wait` for more.
    Phase poll(std::chrono::milliseconds wait);
    Phase phase() const { return phase_; }
    const std::string& failure() const { return failure_; }
    const std::optional<Stream>& stream() const { return stream_; }
    // The token under which the portal keeps this choice; each start hands out a new one.
    const std::optional<std::string>& restoreToken() const { return restoreToken_; }

    // A connection to the PipeWire remote that carries only this session's stream (a file
    // descriptor the caller owns), or -1.
    int openPipeWireRemote();

private:
    struct Glib;
    PortalSession();
    void created(void* result);
    void started(void* result);
    void closed();

    std::unique_ptr<Glib> glib_;
    Phase phase_ = Phase::Waiting;
    std::string failure_;
    std::optional<Stream> stream_;
    std::optional<std::string> restoreToken_;
};

}  // namespace platform::portal
