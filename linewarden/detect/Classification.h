#pragma once

#include <string>

namespace linewarden {

// The verdict on one capture's recognised text, and which rule reached it: the rule's name and
// the recognised line it matched, e.g. `'On Call' in "Status: On Call 00:12"`. Empty when no
// rule matched and the verdict is the dialer's default.
struct Classification {
    bool callActive = false;
    std::string rule;
};

}  // namespace linewarden
