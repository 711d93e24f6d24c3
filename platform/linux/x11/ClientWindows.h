#pragma once

// The top-level client windows of an X display: the windows that applications create and a
// window manager (if any) manages, with what the backend needs to know of each.

#include <xcb/xcb.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/linux/ApplicationTable.h"
#include "platform/linux/x11/XConnection.h"

namespace platform::x11 {

struct ClientWindow {
    xcb_window_t id = XCB_WINDOW_NONE;
    std::optional<std::string> title;          // _NET_WM_NAME, else WM_NAME, as UTF-8
    std::optional<std::string> instanceName;   // the first string of WM_CLASS
    std::optional<std::string> className;      // the second string of WM_CLASS
    std::optional<ProcessId> processId;        // _NET_WM_PID
    bool viewable = false;                     // mapped, and so are all its ancestors
    bool managed = false;                      // a window manager has it in hand (WM_STATE normal or
                                               // iconic), shown or not (minimised, another desktop)
    bool desktop = false;                      // the desktop background (_NET_WM_WINDOW_TYPE_DESKTOP)
    FrameInPoints frame;                       // relative to the root window, inside any frame
    const KnownApplication* application = nullptr;   // what the window belongs to, when known

    // What people call the window's owner: the application's name, else the window class.
    std::optional<std::string> ownerName() const;
    // Shown, or kept by a window manager while not shown: a window its application has open.
    bool open() const { return viewable || managed; }
};

// The name of a running process, or nothing; by default read from /proc.
using ProcessNameLookup = std::function<std::optional<std::string>(ProcessId)>;
std::optional<std::string> processNameFromProc(ProcessId processId);

// Which of `applications` a window belongs to: by its window class first, else by the name of the
// process that owns it.
const KnownApplication* identifyApplication(ApplicationList applications, const std::optional<std::string>& className,
                                            std::optional<ProcessId> processId,
                                            const ProcessNameLookup& processName);

// The client windows, front first; nothing when the display cannot be read. With an EWMH window
// manager they come from its stacking list; otherwise from the window tree, where a client is a
// window that carries WM_STATE or, without a window manager, a child of the root.
// Each window's application is one of `applications`, which must outlive the windows.
std::optional<std::vector<ClientWindow>> listClientWindows(const XConnection& connection, ApplicationList applications,
                                                           const ProcessNameLookup& processName = processNameFromProc);

// The title of one window; `exists` is false when the window is gone.
struct TitleAnswer {
    bool exists = false;
    std::optional<std::string> title;
};
TitleAnswer readWindowTitle(const XConnection& connection, xcb_window_t window);

// What became of one window: whether it still exists, is shown, and which process owns it.
struct WindowStatus {
    bool exists = false;
    bool viewable = false;
    std::optional<ProcessId> processId;
};
WindowStatus readWindowStatus(const XConnection& connection, xcb_window_t window);

// The title from the two name properties: _NET_WM_NAME when it is UTF-8, else WM_NAME in its
// own encoding.
std::optional<std::string> decodeTitle(const std::optional<PropertyValue>& netWmName,
                                       const std::optional<PropertyValue>& wmName, const Atoms& atoms);

}  // namespace platform::x11
