#pragma once

// The pixels of one window, whatever covers it.

#include <xcb/xcb.h>

#include <optional>
#include <unordered_set>

#include "platform/Image.h"
#include "platform/linux/XConnection.h"

namespace platform::x11 {

class WindowCapture {
public:
    explicit WindowCapture(const XConnection& connection) : x_(connection) {}

    // The window's contents scaled to the requested size; nothing when the window is gone, not
    // shown, or changed while it was read, or when the size is not positive.
    std::optional<Image> capture(xcb_window_t window, int widthPixels, int heightPixels);

private:
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
};

}  // namespace platform::x11
