#pragma once

// The pixels of one window, whatever covers it.

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "platform/Image.h"
#include "platform/linux/x11/XConnection.h"

namespace platform::x11 {

class WindowCapture {
public:
    explicit WindowCapture(const XConnection& connection) : x_(connection) {}

    // The window's contents scaled to the requested size; nothing when the window is gone, not
    // shown, or changed while it was read, or when the size is not positive.
    std::optional<Image> capture(xcb_window_t window, int widthPixels, int heightPixels);

    // True when the server vouches (X Damage) that nothing was drawn in the window since its last
    // successful capture at this size and that it is still shown at the same size; false when
    // it cannot tell. Costs one round trip.
    bool unchangedSinceCapture(xcb_window_t window, int widthPixels, int heightPixels);

private:
    // What the server reports about drawing in a captured window: a damage object that sends one
    // report when the window is drawn after it was last re-armed.
    struct Watch {
        xcb_damage_damage_t damage = 0;
        bool drawn = true;          // drawn since re-armed (or not known otherwise)
        bool captured = false;      // the last capture delivered pixels
        int width = 0;              // the window's size at that capture
        int height = 0;
        int requestedWidth = 0;     // and the size it was delivered at
        int requestedHeight = 0;
    };
    // The window's watch, created on first use; nothing without the Damage extension.
    Watch* watch(xcb_window_t window);
    // Reads the events that have arrived: damage reports mark their watch drawn, the rest
    // (errors of requests nobody waits for) are dropped.
    void takeEvents();

    // Asks the server to keep the window's contents off screen (automatic redirection: the
    // server still shows the window as before). Once per window; the server drops it when this
    // connection closes.
    void keepContents(xcb_window_t window, bool again);
    // A freshly redirected window holds a copy of what the screen showed in its place, covering
    // windows included, until its application has repainted it: asks for a full repaint and
    // waits (up to a second) until the window has been drawn and then stayed quiet.
    void awaitRepaint(xcb_window_t window);
    // The contents as a pixmap of the window, or XCB_PIXMAP_NONE.
    xcb_pixmap_t nameContents(xcb_window_t window);

    const XConnection& x_;
    std::unordered_set<xcb_window_t> redirected_;
    std::unordered_map<xcb_window_t, Watch> watches_;
};

}  // namespace platform::x11
