// Compiled with the include paths of the core only, this must fail: the X11 backend's headers are
// out of the core's reach (see the core_cannot_reach_backend_headers test).
#include "platform/linux/x11/XConnection.h"
