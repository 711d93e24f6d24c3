#pragma once

namespace linewarden {

// A monitor of one dialer. One scan observes the dialer once and prints any change of its call
// state; it never fails (whatever goes wrong is reported by the monitor and the scan returns).
class LineWarden {
public:
    virtual ~LineWarden() = default;
    virtual bool scanElements(bool initialScan = true) = 0;
};

}  // namespace linewarden
