#pragma once

// Native windows' pixels on sway (and the wlroots compositors that speak its IPC): the window's
// rectangle from sway's IPC ($SWAYSOCK, get_tree), then a copy of that region of its output through
// zwlr_screencopy_manager_v1. What is read is what the output shows there: a window covered by
// another gives the other's pixels, and a window on a hidden workspace cannot be read.

#include <memory>

#include "platform/linux/wayland/NativeCapture.h"

namespace platform::wayland {

// Nothing when the session is no sway session (no SWAYSOCK or WAYLAND_DISPLAY). Every wait on the
// compositor is bounded: one that does not answer gives a failed capture.
std::unique_ptr<NativeCapture> openSwayCapture();

}  // namespace platform::wayland
