// screencast-stand-in: replaces the person at GNOME's screen-sharing dialog, for the tests.
//
// On GNOME the portal frontend (xdg-desktop-portal) asks the backend that owns
// org.freedesktop.impl.portal.desktop.gnome to let the person pick what to share, and that
// backend serves the pick with mutter's own screen cast. This program owns that name before the
// frontend starts and takes the backend's ScreenCast role; everything around it (the frontend,
// its restore tokens and permission store, mutter, PipeWire) is the real thing. Only the dialog
// is replaced: instead of a person it picks by a rule, the visible window whose title contains a
// given text (by default "Kixie PowerCall"), found through org.gnome.Shell.Introspect, and
// shares it with org.gnome.Mutter.ScreenCast RecordWindow. Like the real backend it hands the
// frontend restore data (here mutter's id of the window), and a session restored from it shares
// that window again without asking while it exists, or asks (picks by the rule) when it is gone.
//
// Test controls: the file named by STAND_IN_RULE, read at each pick, holds the title text to pick
// by, or "refuse" to answer the dialog with "cancel". It appends one line per answer to the file
// named by STAND_IN_LOG ("picked TITLE", "restored TITLE", "refused"), so that tests can tell a
// restore from a pick.

#include <gio/gio.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace {

constexpr const char* kBackendName = "org.freedesktop.impl.portal.desktop.gnome";
constexpr const char* kObjectPath = "/org/freedesktop/portal/desktop";
constexpr const char* kRestoreVendor = "linewarden-test-stand-in";
constexpr guint32 kSourceWindow = 2;

constexpr const char* kIntrospection = R"(
<node>
  <interface name="org.freedesktop.impl.portal.ScreenCast">
    <method name="CreateSession">
      <arg type="o" name="handle" direction="in"/>
      <arg type="o" name="session_handle" direction="in"/>
      <arg type="s" name="app_id" direction="in"/>
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="u" name="response" direction="out"/>
      <arg type="a{sv}" name="results" direction="out"/>
    </method>
    <method name="SelectSources">
      <arg type="o" name="handle" direction="in"/>
      <arg type="o" name="session_handle" direction="in"/>
      <arg type="s" name="app_id" direction="in"/>
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="u" name="response" direction="out"/>
      <arg type="a{sv}" name="results" direction="out"/>
    </method>
    <method name="Start">
      <arg type="o" name="handle" direction="in"/>
      <arg type="o" name="session_handle" direction="in"/>
      <arg type="s" name="app_id" direction="in"/>
      <arg type="s" name="parent_window" direction="in"/>
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="u" name="response" direction="out"/>
      <arg type="a{sv}" name="results" direction="out"/>
    </method>
    <property name="AvailableSourceTypes" type="u" access="read"/>
    <property name="AvailableCursorModes" type="u" access="read"/>
    <property name="version" type="u" access="read"/>
  </interface>
  <interface name="org.freedesktop.impl.portal.Session">
    <method name="Close"/>
    <signal name="Closed"/>
    <property name="version" type="u" access="read"/>
  </interface>
</node>)";

struct Unref {
    void operator()(gpointer p) const { g_object_unref(p); }
};
struct VariantUnref {
    void operator()(GVariant* v) const { g_variant_unref(v); }
};
using Variant = std::unique_ptr<GVariant, VariantUnref>;

struct Session {
    std::string path;
    guint registration = 0;
    std::optional<guint64> restoreWindow;      // from the restore data of SelectSources
    std::string mutterSession;                 // object path of mutter's session, once started
    guint closedSubscription = 0;
};

struct StandIn {
    GDBusConnection* bus = nullptr;
    GDBusNodeInfo* node = nullptr;
    std::map<std::string, Session> sessions;
    std::string rule;
    std::string log;

    std::string pickRule() const {
        std::string text;
        if (std::ifstream file(rule); file) std::getline(file, text);
        return text.empty() ? "Kixie PowerCall" : text;
    }

    void note(const std::string& line) const {
        if (log.empty()) return;
        if (FILE* file = std::fopen(log.c_str(), "a")) {
            std::fprintf(file, "%s\n", line.c_str());
            std::fclose(file);
        }
    }
};

GVariant* call(GDBusConnection* bus, const char* name, const char* path, const char* interface, const char* method,
               GVariant* parameters, const char* replyType) {
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(bus, name, path, interface, method, parameters,
                                                  replyType ? G_VARIANT_TYPE(replyType) : nullptr,
                                                  G_DBUS_CALL_FLAGS_NONE, 10'000, nullptr, &error);
    if (reply == nullptr) {
        std::fprintf(stderr, "screencast-stand-in: %s.%s: %s\n", interface, method, error->message);
        g_error_free(error);
    }
    return reply;
}

struct Window {
    guint64 id = 0;
    std::string title;
    int width = 0;
    int height = 0;
};

// The visible window with id `exact`, or else the first whose title contains `part`, as
// gnome-shell lists them.
std::optional<Window> findWindow(StandIn& self, const std::optional<guint64>& exact, const std::string& part) {
    Variant reply(call(self.bus, "org.gnome.Shell", "/org/gnome/Shell/Introspect", "org.gnome.Shell.Introspect",
                       "GetWindows", nullptr, "(a{ta{sv}})"));
    if (!reply) return std::nullopt;
    Variant windows(g_variant_get_child_value(reply.get(), 0));
    GVariantIter iter;
    g_variant_iter_init(&iter, windows.get());
    guint64 id = 0;
    GVariant* properties = nullptr;
    std::optional<Window> found;
    while (g_variant_iter_next(&iter, "{t@a{sv}}", &id, &properties)) {
        Variant owned(properties);
        const char* title = nullptr;
        gboolean hidden = FALSE;
        Window window;
        window.id = id;
        g_variant_lookup(properties, "is-hidden", "b", &hidden);
        g_variant_lookup(properties, "width", "u", &window.width);
        g_variant_lookup(properties, "height", "u", &window.height);
        if (hidden || !g_variant_lookup(properties, "title", "&s", &title)) continue;
        window.title = title;
        const bool match = exact ? window.id == *exact : window.title.find(part) != std::string::npos;
        if (match && !found) found = window;
    }
    return found;
}

// Shares `window` through mutter: a screen-cast session with one window stream; its PipeWire node.
std::optional<guint32> recordWindow(StandIn& self, Session& session, const Window& window) {
    Variant created(call(self.bus, "org.gnome.Mutter.ScreenCast", "/org/gnome/Mutter/ScreenCast",
                         "org.gnome.Mutter.ScreenCast", "CreateSession", g_variant_new_parsed("(@a{sv} {},)"), "(o)"));
    if (!created) return std::nullopt;
    const char* mutterSession = nullptr;
    g_variant_get(created.get(), "(&o)", &mutterSession);
    session.mutterSession = mutterSession;

    GVariantBuilder properties;
    g_variant_builder_init(&properties, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&properties, "{sv}", "window-id", g_variant_new_uint64(window.id));
    g_variant_builder_add(&properties, "{sv}", "cursor-mode", g_variant_new_uint32(0));
    Variant recorded(call(self.bus, "org.gnome.Mutter.ScreenCast", mutterSession,
                          "org.gnome.Mutter.ScreenCast.Session", "RecordWindow",
                          g_variant_new("(a{sv})", &properties), "(o)"));
    if (!recorded) return std::nullopt;
    const char* stream = nullptr;
    g_variant_get(recorded.get(), "(&o)", &stream);

    // The node is announced by a signal once the session starts.
    struct Wait {
        std::optional<guint32> node;
    } wait;
    const guint added = g_dbus_connection_signal_subscribe(
        self.bus, "org.gnome.Mutter.ScreenCast", "org.gnome.Mutter.ScreenCast.Stream", "PipeWireStreamAdded", stream,
        nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const char*, const char*, const char*, const char*, GVariant* parameters, gpointer data) {
            guint32 node = 0;
            g_variant_get(parameters, "(u)", &node);
            static_cast<Wait*>(data)->node = node;
        },
        &wait, nullptr);
    Variant started(call(self.bus, "org.gnome.Mutter.ScreenCast", mutterSession,
                         "org.gnome.Mutter.ScreenCast.Session", "Start", nullptr, nullptr));
    const gint64 deadline = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
    while (started && !wait.node && g_get_monotonic_time() < deadline) g_main_context_iteration(nullptr, TRUE);
    g_dbus_connection_signal_unsubscribe(self.bus, added);
    return wait.node;
}

void emitClosed(StandIn& self, Session& session) {
    g_dbus_connection_emit_signal(self.bus, nullptr, session.path.c_str(), "org.freedesktop.impl.portal.Session",
                                  "Closed", nullptr, nullptr);
}

void closeSession(StandIn& self, const std::string& path) {
    const auto found = self.sessions.find(path);
    if (found == self.sessions.end()) return;
    Session& session = found->second;
    if (session.closedSubscription != 0) g_dbus_connection_signal_unsubscribe(self.bus, session.closedSubscription);
    if (!session.mutterSession.empty()) {
        Variant stopped(call(self.bus, "org.gnome.Mutter.ScreenCast", session.mutterSession.c_str(),
                             "org.gnome.Mutter.ScreenCast.Session", "Stop", nullptr, nullptr));
    }
    g_dbus_connection_unregister_object(self.bus, session.registration);
    self.sessions.erase(found);
}

GVariant* start(StandIn& self, Session& session) {
    std::optional<Window> window;
    if (session.restoreWindow) window = findWindow(self, session.restoreWindow, {});
    const bool restored = window.has_value();
    if (!window) {
        const std::string rule = self.pickRule();
        if (rule == "refuse") {
            self.note("refused");
            return g_variant_new_parsed("(@u 1, @a{sv} {})");
        }
        // A person looks at the dialog's list for a while: a window that is still opening comes.
        const gint64 deadline = g_get_monotonic_time() + 30 * G_USEC_PER_SEC;
        while (!(window = findWindow(self, std::nullopt, rule)) && g_get_monotonic_time() < deadline) {
            g_usleep(250'000);
        }
    }
    if (!window) {
        std::fprintf(stderr, "screencast-stand-in: no window to pick\n");
        return g_variant_new_parsed("(@u 2, @a{sv} {})");
    }
    const auto node = recordWindow(self, session, *window);
    if (!node) return g_variant_new_parsed("(@u 2, @a{sv} {})");
    self.note((restored ? "restored " : "picked ") + window->title);

    // mutter closes its session when the window goes; the frontend learns it from this backend.
    session.closedSubscription = g_dbus_connection_signal_subscribe(
        self.bus, "org.gnome.Mutter.ScreenCast", "org.gnome.Mutter.ScreenCast.Session", "Closed",
        session.mutterSession.c_str(), nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const char*, const char* path, const char*, const char*, GVariant*, gpointer data) {
            auto& self = *static_cast<StandIn*>(data);
            for (auto& [sessionPath, session] : self.sessions) {
                if (session.mutterSession == path) {
                    session.mutterSession.clear();
                    emitClosed(self, session);
                    closeSession(self, sessionPath);
                    return;
                }
            }
        },
        &self, nullptr);

    GVariantBuilder stream;
    g_variant_builder_init(&stream, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&stream, "{sv}", "size", g_variant_new("(ii)", window->width, window->height));
    g_variant_builder_add(&stream, "{sv}", "source_type", g_variant_new_uint32(kSourceWindow));
    GVariantBuilder streams;
    g_variant_builder_init(&streams, G_VARIANT_TYPE("a(ua{sv})"));
    g_variant_builder_add(&streams, "(ua{sv})", *node, &stream);
    GVariantBuilder results;
    g_variant_builder_init(&results, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&results, "{sv}", "streams", g_variant_builder_end(&streams));
    g_variant_builder_add(&results, "{sv}", "persist_mode", g_variant_new_uint32(2));
    g_variant_builder_add(&results, "{sv}", "restore_data",
                          g_variant_new("(suv)", kRestoreVendor, 1u, g_variant_new_uint64(window->id)));
    return g_variant_new("(ua{sv})", 0u, &results);
}

void handleSessionCall(GDBusConnection*, const char*, const char* path, const char*, const char* method, GVariant*,
                       GDBusMethodInvocation* invocation, gpointer data) {
    auto& self = *static_cast<StandIn*>(data);
    if (g_strcmp0(method, "Close") == 0) closeSession(self, path);
    g_dbus_method_invocation_return_value(invocation, nullptr);
}

GVariant* sessionProperty(GDBusConnection*, const char*, const char*, const char*, const char*, GError**, gpointer) {
    return g_variant_new_uint32(1);
}

void handleScreenCastCall(GDBusConnection*, const char*, const char*, const char*, const char* method,
                          GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data) {
    auto& self = *static_cast<StandIn*>(data);
    const char* sessionPath = nullptr;
    g_variant_get_child(parameters, 1, "&o", &sessionPath);
    if (g_strcmp0(method, "CreateSession") == 0) {
        static const GDBusInterfaceVTable vtable{handleSessionCall, sessionProperty, nullptr, {}};
        Session session;
        session.path = sessionPath;
        session.registration = g_dbus_connection_register_object(self.bus, sessionPath, self.node->interfaces[1],
                                                                 &vtable, &self, nullptr, nullptr);
        self.sessions[sessionPath] = session;
        g_dbus_method_invocation_return_value(invocation, g_variant_new_parsed("(@u 0, @a{sv} {})"));
        return;
    }
    const auto found = self.sessions.find(sessionPath);
    if (found == self.sessions.end()) {
        g_dbus_method_invocation_return_value(invocation, g_variant_new_parsed("(@u 2, @a{sv} {})"));
        return;
    }
    if (g_strcmp0(method, "SelectSources") == 0) {
        Variant options(g_variant_get_child_value(parameters, 3));
        const char* vendor = nullptr;
        guint32 version = 0;
        GVariant* restoreData = nullptr;
        if (g_variant_lookup(options.get(), "restore_data", "(&suv)", &vendor, &version, &restoreData)) {
            Variant owned(restoreData);
            if (g_strcmp0(vendor, kRestoreVendor) == 0 && g_variant_is_of_type(restoreData, G_VARIANT_TYPE_UINT64)) {
                found->second.restoreWindow = g_variant_get_uint64(restoreData);
            }
        }
        g_dbus_method_invocation_return_value(invocation, g_variant_new_parsed("(@u 0, @a{sv} {})"));
        return;
    }
    g_dbus_method_invocation_return_value(invocation, start(self, found->second));
}

GVariant* screenCastProperty(GDBusConnection*, const char*, const char*, const char*, const char* property, GError**,
                             gpointer) {
    if (g_strcmp0(property, "AvailableSourceTypes") == 0) return g_variant_new_uint32(3);   // monitor, window
    if (g_strcmp0(property, "AvailableCursorModes") == 0) return g_variant_new_uint32(7);
    return g_variant_new_uint32(4);
}

}  // namespace

int main() {
    StandIn self;
    if (const char* rule = std::getenv("STAND_IN_RULE")) self.rule = rule;
    if (const char* log = std::getenv("STAND_IN_LOG")) self.log = log;

    GError* error = nullptr;
    self.bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (self.bus == nullptr) {
        std::fprintf(stderr, "screencast-stand-in: no session bus: %s\n", error->message);
        return 1;
    }
    self.node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
    static const GDBusInterfaceVTable vtable{handleScreenCastCall, screenCastProperty, nullptr, {}};
    g_dbus_connection_register_object(self.bus, kObjectPath, self.node->interfaces[0], &vtable, &self, nullptr, nullptr);

    // The name is taken only once the object is there, so the frontend never finds it empty.
    Variant owned(call(self.bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                       "RequestName", g_variant_new("(su)", kBackendName, 4u /* do not queue */), "(u)"));
    guint32 answer = 0;
    if (owned) g_variant_get(owned.get(), "(u)", &answer);
    if (answer != 1) {
        std::fprintf(stderr, "screencast-stand-in: cannot own %s\n", kBackendName);
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    g_main_loop_run(loop);
    return 0;
}
