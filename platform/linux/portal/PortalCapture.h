#pragma once

// Pixels of native windows on desktops whose only sanctioned route is the ScreenCast portal
// (GNOME, KDE Plasma). The person shares the dialer's window once in the system's dialog; the
// portal's restore token, kept in ConsentToken's file, lets every later run (and every later
// window of the dialer) share it again without asking. One window is shared at a time: the one
// the monitor captures.
//
// How the consent behaves, as the platform's screen-capture permission:
// - accessAllowed answers whether a kept consent restores (no dialog is left open by it);
//   requestAccess asks the person and waits a bounded time for the answer.
// - A capture with no consent held starts the request and returns at once, writing on standard
//   error which window to pick; captures fail until the person has picked, as they would without
//   the permission. A refusal, a window picked that is not the one asked for (its size differs
//   from what the accessibility bus says) and a failing portal each get one line on standard error;
//   after a refusal nothing is asked again in this run, after a failure not for the same window.
// - When the stream ends (the window closed, the browser restarted, the session closed) captures
//   of that window fail, so the monitor counts it as gone; the next window asked for is shared
//   again from the kept consent, and the person is asked again only when that no longer fits.

#include <memory>

#include "platform/Console.h"
#include "platform/linux/wayland/NativeCapture.h"

namespace platform::portal {

std::unique_ptr<wayland::NativeCapture> openPortalCapture(Console& console);

}  // namespace platform::portal
