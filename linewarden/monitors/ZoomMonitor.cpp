#include "linewarden/monitors/ZoomMonitor.h"

namespace linewarden {

// Placeholder until the Zoom monitor lands.
ZoomMonitor::ZoomMonitor(platform::Platform& platform) : platform_(platform) {}

bool ZoomMonitor::scanElements(bool) { return false; }

}  // namespace linewarden
