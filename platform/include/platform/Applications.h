#pragma once

// The applications a program watches, as the program names them and as a desktop recognises them.
// The program hands its list to the desktop backend when it opens it; the backend knows no
// application of its own.

#include <string_view>
#include <vector>

namespace platform {

struct ApplicationDescription {
    std::string_view bundleId;      // the identifier the program asks for it by
    std::string_view displayName;   // the name people and the window list know it by
    std::vector<std::string_view> windowClasses;   // X11: the class part of WM_CLASS
    std::vector<std::string_view> executables;     // X11: the program's file name, for windows of another class
};

}  // namespace platform
