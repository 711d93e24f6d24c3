#pragma once

// Pixels of native Wayland windows. A Wayland session lets no ordinary client read another's
// window the X11 way; each kind of compositor offers its own route: wlroots compositors (sway) a
// screencopy protocol for a rectangle of an output, GNOME and KDE Plasma the ScreenCast portal,
// with the person's consent. The Wayland desktop picks one route for the session and reads every
// native window through it; windows of X11 clients under Xwayland go through the X11 code instead.

#include <optional>
#include <string>

#include "platform/Image.h"
#include "platform/Platform.h"

namespace platform::wayland {

// A top-level window of a native Wayland client, as the accessibility bus describes it.
struct NativeWindow {
    WindowNumber number = 0;        // the desktop's own number for it, stable while the window lives
    ProcessId processId = 0;        // the application's process, as the bus reports it
    std::string applicationName;    // the catalogue's display name ("Brave Browser", "zoom.us")
    std::string title;              // the window's title (for a browser, its active tab's)
    int width = 0;                  // size in points as the bus reports it; 0 when unknown
    int height = 0;
};

class NativeCapture {
public:
    virtual ~NativeCapture() = default;
    // Whether this route may read windows now (the protocol is there, consent is held); never
    // asks the person.
    virtual bool accessAllowed() = 0;
    // Asks for what accessAllowed lacks, where someone can be asked (the portal's dialog).
    virtual void requestAccess() = 0;
    // The window's frame in points as this route knows it (a compositor's own layout), or nothing
    // when the route knows no better than the accessibility bus.
    virtual std::optional<FrameInPoints> frame(const NativeWindow&) { return std::nullopt; }
    // One picture of the window alone, scaled to the requested pixel size; nothing on failure.
    virtual std::optional<Image> capture(const NativeWindow& window, int widthPixels, int heightPixels) = 0;
    // True only when the route vouches that the window's pixels did not change since its last
    // capture at this size (a stream's damage); false whenever it cannot tell.
    virtual bool unchangedSinceLastCapture(const NativeWindow&, int /*widthPixels*/, int /*heightPixels*/) {
        return false;
    }
};

}  // namespace platform::wayland
