#pragma once

// What the applications the monitor knows by bundle identifier are on a Linux desktop.

#include <span>
#include <string_view>
#include <vector>

namespace platform::x11 {

struct KnownApplication {
    std::string_view bundleId;      // the catalogue's identifier
    std::string_view displayName;   // the name people and the window list know it by
    std::vector<std::string_view> windowClasses;   // the class part of WM_CLASS
    std::vector<std::string_view> executables;     // the program's file name (the browsers' launchers exec these)
};

std::span<const KnownApplication> knownApplications();

// The application whose windows carry this WM_CLASS class (compared without regard to ASCII case
// or surrounding blanks), or null.
const KnownApplication* applicationForWindowClass(std::string_view windowClass);

// The application whose program has this name as the kernel reports it (/proc/PID/comm, which
// keeps 15 bytes: the names in the table are shorter), or null.
const KnownApplication* applicationForExecutable(std::string_view processName);

const KnownApplication* applicationForBundle(std::string_view bundleId);

}  // namespace platform::x11
