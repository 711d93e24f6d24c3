#pragma once

// Which of the applications the program watches (handed over when the desktop is opened) a window
// on a Linux desktop belongs to.

#include <span>
#include <string_view>

#include "platform/Applications.h"

namespace platform::x11 {

using KnownApplication = ApplicationDescription;
using ApplicationList = std::span<const KnownApplication>;

// The application whose windows carry this WM_CLASS class (compared without regard to ASCII case
// or surrounding blanks), or null.
const KnownApplication* applicationForWindowClass(ApplicationList applications, std::string_view windowClass);

// The application whose program has this name as the kernel reports it (/proc/PID/comm, which
// keeps 15 bytes: the names in the table are shorter), or null.
const KnownApplication* applicationForExecutable(ApplicationList applications, std::string_view processName);

}  // namespace platform::x11
