#include "platform/LinuxDesktop.h"

#include <malloc.h>

#include <cstdlib>

#include "platform/linux/PixelConversion.h"
#include "platform/linux/wayland/WaylandDesktop.h"
#include "platform/linux/x11/X11Desktop.h"

namespace platform {

namespace {
constexpr int kKeptFreeHeapBytes = 32 * 1024 * 1024;
}  // namespace

std::unique_ptr<LinuxDesktop> LinuxDesktop::open(Console& console, std::vector<ApplicationDescription> applications,
                                                 std::string displayName) {
    // A large window's scan works through buffers of several megabytes each (its pixels at
    // twice its size, the recogniser's maps of them) that live for that scan alone. By default
    // the C library raises its threshold for mapping such blocks apart to the largest one freed,
    // and then keeps them in its heap: a monitor watching a Zoom meeting all day would hold its
    // busiest scan's memory for good. Above a fixed threshold they are mapped apart and go back
    // when freed (the doubled pixels ask for huge pages, which keeps their faults few); below it
    // (a browser window's pixels, the recogniser's maps, Tesseract's own blocks) memory is
    // reused, and up to 32 MB of it is kept free rather than handed back and faulted in again
    // at the next scan: on a virtual machine each page fault costs microseconds.
    mallopt(M_MMAP_THRESHOLD, static_cast<int>(x11::kMappedApartBytes));
    mallopt(M_TRIM_THRESHOLD, kKeptFreeHeapBytes);
    // A Wayland session is one that names its compositor; its X11 clients (Xwayland) are served
    // within the Wayland desktop.
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland && *wayland) return openWaylandDesktop(console, std::move(applications), std::move(displayName));
    return openX11Desktop(console, std::move(applications), std::move(displayName));
}

}  // namespace platform
