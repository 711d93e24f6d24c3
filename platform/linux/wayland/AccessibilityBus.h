#pragma once

// Applications, windows and titles of a Wayland session from the accessibility bus (AT-SPI2,
// through libatspi). An application is one of the catalogue's rows when its process is (its
// program name in /proc/PID/comm); its windows are its top-level children with a window's role;
// a window's title is its name. Every call on the bus is bounded: an application or registry that
// does not answer gives a failure, never a hang. Only the catalogue's applications are asked
// anything beyond their process id (a desktop shell may answer slowly).

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Applications.h"
#include "platform/Platform.h"
#include "platform/linux/ApplicationTable.h"

typedef struct _AtspiAccessible AtspiAccessible;

namespace platform::wayland {

// A held reference to an object on the bus; dropping it releases the reference.
using AccessibleRef = std::shared_ptr<AtspiAccessible>;

struct BusApplication {
    ProcessId processId = 0;
    const ApplicationDescription* application = nullptr;   // its catalogue row
    AccessibleRef accessible;
};

struct BusWindow {
    AccessibleRef accessible;
    std::string key;   // the object's bus name and path: the same window gives the same key
};

enum class BusPresence { shown, minimised, gone, unknown };

class AccessibilityBus {
public:
    explicit AccessibilityBus(std::vector<ApplicationDescription> applications);
    ~AccessibilityBus();
    AccessibilityBus(const AccessibilityBus&) = delete;
    AccessibilityBus& operator=(const AccessibilityBus&) = delete;

    // Empty when the bus is reachable and accessibility is on (or applications are registered
    // already); otherwise what is wrong and what to do, as one sentence.
    std::string problem();

    // The catalogue's applications registered on the bus, in the registry's order; nothing when
    // the bus cannot be asked.
    std::optional<std::vector<BusApplication>> applications();
    // The application's top-level windows; nothing when the application no longer answers.
    std::optional<std::vector<BusWindow>> windows(const AccessibleRef& application);
    // The element's name; nothing when it no longer answers.
    std::optional<std::string> name(const AccessibleRef& element);
    BusPresence presence(const AccessibleRef& element);
    // The element's size in points as the application reports it, or nothing.
    std::optional<std::pair<int, int>> size(const AccessibleRef& element);

    const std::vector<ApplicationDescription>& catalogue() const { return applications_; }

private:
    // Hands the events that arrived meanwhile to libatspi, so they neither pile up nor go stale.
    void takeEvents();
    bool ready();

    std::vector<ApplicationDescription> applications_;
    bool initialised_ = false;
    AccessibleRef desktop_;
};

// The catalogue row of the process with this id, by its program name, or null.
const ApplicationDescription* applicationOfProcess(x11::ApplicationList applications, ProcessId processId);

}  // namespace platform::wayland
