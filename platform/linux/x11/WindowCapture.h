#pragma once

// The pixels of one window, whatever covers it.

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/Image.h"
#include "platform/linux/x11/XConnection.h"

namespace platform::x11 {

class WindowCapture {
public:
    explicit WindowCapture(const XConnection& connection) : x_(connection) {}

    // The window's contents scaled to the requested size; nothing when the window is gone, not
    // shown, or changed while it was read, or when the size is not positive. With `part` (a
    // non-empty rectangle inside the requested size), only that part of the scaled contents,
    // exactly as cropping the whole would give it: when the size is twice the window's, only the
    // window's pixels under the part and one more around it (what doubling mixes in at its
    // edges) are read from the server.
    std::optional<Image> capture(xcb_window_t window, int widthPixels, int heightPixels,
                                 const std::optional<PixelRect>& part = std::nullopt);

    // True when the server vouches (X Damage) that nothing was drawn in the window since its last
    // successful capture at this size, where `part` of it (the whole by default) is read from,
    // and that it is still shown at the same size; false when it cannot tell. That capture must
    // have taken the part. Costs one round trip.
    bool unchangedSinceCapture(xcb_window_t window, int widthPixels, int heightPixels,
                               const std::optional<PixelRect>& part = std::nullopt);

private:
    // A rectangle the server reported drawn, in the window's pixels, and the sequence number of
    // the report: what this connection's requests the server had handled by then.
    struct DrawnArea {
        PixelRect area;
        std::uint32_t sequence = 0;
    };
    // What the server reports about drawing in a captured window: a damage object that reports
    // every rectangle by which the drawn area grows after it was last emptied (re-armed).
    struct Watch {
        xcb_damage_damage_t damage = 0;
        bool drawn = true;          // drawn since re-armed (or not known otherwise)
        bool captured = false;      // the last capture delivered pixels, and nothing was seen drawn
                                    // where they were taken since
        int width = 0;              // the window's size at that capture
        int height = 0;
        int requestedWidth = 0;     // and the size it was delivered at
        int requestedHeight = 0;
        PixelRect part;             // the part of it taken
        std::uint32_t armedAt = 0;  // the request that last emptied the drawn area
        std::vector<DrawnArea> areas;   // reported drawn, oldest first
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
