#include "platform/linux/wayland/AccessibilityBus.h"

#include <atspi/atspi.h>
#include <gio/gio.h>

#include <fstream>

namespace platform::wayland {

namespace {

// An application that does not answer within this time is taken for gone.
constexpr int kCallTimeoutMs = 1500;

// Collects a GError of one call; true when there was one.
class CallError {
public:
    GError** out() { return &raw_; }
    ~CallError() {
        if (raw_) g_error_free(raw_);
    }
    explicit operator bool() const { return raw_ != nullptr; }
    std::string message() const { return raw_ && raw_->message ? raw_->message : "no answer"; }

private:
    GError* raw_ = nullptr;
};

AccessibleRef adopt(AtspiAccessible* accessible) {
    if (!accessible) return nullptr;
    return AccessibleRef(accessible, [](AtspiAccessible* a) { g_object_unref(a); });
}

struct ObjectDeleter {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct VariantDeleter {
    void operator()(GVariant* value) const { g_variant_unref(value); }
};
using VariantPtr = std::unique_ptr<GVariant, VariantDeleter>;

bool windowRole(AtspiRole role) {
    // Qt's plain widget windows are fillers
    return role == ATSPI_ROLE_FRAME || role == ATSPI_ROLE_WINDOW || role == ATSPI_ROLE_DIALOG ||
           role == ATSPI_ROLE_FILLER;
}

}  // namespace

const ApplicationDescription* applicationOfProcess(x11::ApplicationList applications, ProcessId processId) {
    if (processId <= 0) return nullptr;
    std::ifstream file("/proc/" + std::to_string(processId) + "/comm");
    std::string name;
    if (!std::getline(file, name)) return nullptr;
    return x11::applicationForExecutable(applications, name);
}

AccessibilityBus::AccessibilityBus(std::vector<ApplicationDescription> applications)
    : applications_(std::move(applications)) {}

AccessibilityBus::~AccessibilityBus() {
    desktop_.reset();
    // atspi_exit would also drop the objects other holders may keep; the process ends soon after.
}

std::string AccessibilityBus::problem() {
    CallError error;
    const std::unique_ptr<GDBusConnection, ObjectDeleter> session(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, error.out()));
    if (!session) return "cannot reach the session bus, which leads to the accessibility bus: " + error.message();
    const VariantPtr address(g_dbus_connection_call_sync(session.get(), "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus",
                                                         "GetAddress", nullptr, G_VARIANT_TYPE("(s)"),
                                                         G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, error.out()));
    if (!address) return "the accessibility bus does not answer (is at-spi2-core installed?): " + error.message();
    const VariantPtr enabled(g_dbus_connection_call_sync(
        session.get(), "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", "org.a11y.Status", "IsEnabled"), G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE,
        kCallTimeoutMs, nullptr, nullptr));
    bool on = false;
    if (enabled) {
        VariantPtr value(g_variant_get_child_value(enabled.get(), 0));
        VariantPtr inner(g_variant_get_variant(value.get()));
        on = g_variant_is_of_type(inner.get(), G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(inner.get());
    }
    if (on) return {};
    // Browsers started with accessibility asked for (ACCESSIBILITY_ENABLED=1) register all the same.
    if (ready()) {
        CallError childError;
        if (atspi_accessible_get_child_count(desktop_.get(), childError.out()) > 0 && !childError) return {};
    }
    return "accessibility is off on this desktop: turn it on (GNOME: gsettings set org.gnome.desktop.interface "
           "toolkit-accessibility true; elsewhere set org.a11y.Status IsEnabled on the session bus), then restart "
           "the browser";
}

bool AccessibilityBus::ready() {
    if (initialised_) return desktop_ != nullptr;
    // libatspi asks the session bus for the accessibility bus without a bound of its own: only
    // once the bus has answered in time is it started.
    {
        CallError error;
        const std::unique_ptr<GDBusConnection, ObjectDeleter> session(
            g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, error.out()));
        if (!session) return false;
        const VariantPtr address(g_dbus_connection_call_sync(session.get(), "org.a11y.Bus", "/org/a11y/bus",
                                                             "org.a11y.Bus", "GetAddress", nullptr,
                                                             G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE,
                                                             kCallTimeoutMs, nullptr, error.out()));
        if (!address) return false;
    }
    initialised_ = true;
    if (atspi_init() > 1) return false;
    // -1: no grace for applications that are starting up
    atspi_set_timeout(kCallTimeoutMs, -1);
    desktop_ = adopt(atspi_get_desktop(0));
    return desktop_ != nullptr;
}

void AccessibilityBus::takeEvents() {
    for (int i = 0; i < 10'000 && g_main_context_iteration(nullptr, FALSE); ++i) {
    }
}

std::optional<std::vector<BusApplication>> AccessibilityBus::applications() {
    if (!ready()) return std::nullopt;
    takeEvents();
    CallError countError;
    const gint count = atspi_accessible_get_child_count(desktop_.get(), countError.out());
    if (countError || count < 0) return std::nullopt;
    std::vector<BusApplication> found;
    for (gint i = 0; i < count; ++i) {
        CallError error;
        AccessibleRef application = adopt(atspi_accessible_get_child_at_index(desktop_.get(), i, error.out()));
        if (!application || error) continue;   // gone meanwhile
        CallError pidError;
        const guint processId = atspi_accessible_get_process_id(application.get(), pidError.out());
        if (pidError || processId == 0 || processId > 0x7FFFFFFF) continue;
        const auto* row = applicationOfProcess(applications_, static_cast<ProcessId>(processId));
        if (!row) continue;
        found.push_back({static_cast<ProcessId>(processId), row, std::move(application)});
    }
    return found;
}

std::optional<std::vector<BusWindow>> AccessibilityBus::windows(const AccessibleRef& application) {
    if (!ready() || !application) return std::nullopt;
    takeEvents();
    CallError countError;
    // What libatspi keeps of an application follows its events only while a main loop runs, and
    // none runs here: what was kept is dropped, and the questions go to the application. (Turning
    // the keeping off altogether makes libatspi's own event handlers call out while they are
    // being dispatched, which deadlocks.)
    atspi_accessible_clear_cache(application.get());
    const gint count = atspi_accessible_get_child_count(application.get(), countError.out());
    if (countError || count < 0) return std::nullopt;
    std::vector<BusWindow> found;
    for (gint i = 0; i < count; ++i) {
        CallError error;
        AccessibleRef child = adopt(atspi_accessible_get_child_at_index(application.get(), i, error.out()));
        if (!child || error) continue;   // closed meanwhile, or the application went
        CallError roleError;
        const AtspiRole role = atspi_accessible_get_role(child.get(), roleError.out());
        if (roleError || !windowRole(role)) continue;
        const AtspiObject& object = child->parent;
        std::string key = object.app && object.app->bus_name ? object.app->bus_name : "";
        key += object.path ? object.path : "";
        found.push_back({std::move(child), std::move(key)});
    }
    return found;
}

std::optional<std::string> AccessibilityBus::name(const AccessibleRef& element) {
    if (!ready() || !element) return std::nullopt;
    atspi_accessible_clear_cache(element.get());
    CallError error;
    gchar* name = atspi_accessible_get_name(element.get(), error.out());
    const std::unique_ptr<gchar, decltype(&g_free)> held(name, g_free);
    if (error || !name) return std::nullopt;
    return std::string(name);
}

BusPresence AccessibilityBus::presence(const AccessibleRef& element) {
    if (!ready() || !element) return BusPresence::unknown;
    takeEvents();
    atspi_accessible_clear_cache(element.get());
    // A closed window's object is gone from its application: asking it anything fails.
    CallError roleError;
    atspi_accessible_get_role(element.get(), roleError.out());
    if (roleError) return BusPresence::gone;
    const std::unique_ptr<AtspiStateSet, ObjectDeleter> states(atspi_accessible_get_state_set(element.get()));
    if (!states) return BusPresence::unknown;
    if (atspi_state_set_contains(states.get(), ATSPI_STATE_DEFUNCT)) return BusPresence::gone;
    if (atspi_state_set_contains(states.get(), ATSPI_STATE_ICONIFIED)) return BusPresence::minimised;
    return BusPresence::shown;
}

std::optional<std::pair<int, int>> AccessibilityBus::size(const AccessibleRef& element) {
    if (!ready() || !element) return std::nullopt;
    AtspiComponent* component = atspi_accessible_get_component_iface(element.get());
    if (!component) return std::nullopt;
    const std::unique_ptr<AtspiComponent, ObjectDeleter> held(component);
    CallError error;
    AtspiPoint* extent = atspi_component_get_size(component, error.out());
    const std::unique_ptr<AtspiPoint, decltype(&g_free)> heldExtent(extent, g_free);
    if (error || !extent || extent->x <= 0 || extent->y <= 0) return std::nullopt;
    return std::pair{extent->x, extent->y};
}

}  // namespace platform::wayland
