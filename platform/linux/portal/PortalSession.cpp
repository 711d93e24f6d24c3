#include "platform/linux/portal/PortalSession.h"

#include <libportal/portal.h>

namespace platform::portal {

namespace {

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct ContextUnref {
    void operator()(GMainContext* context) const { g_main_context_unref(context); }
};
struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using Error = std::unique_ptr<GError, ErrorFree>;

// Makes the session's context the thread's default while libportal is called or answers are
// handled: libportal subscribes to the portal's signals on the default context of the moment.
class ContextScope {
public:
    explicit ContextScope(GMainContext* context) : context_(context) { g_main_context_push_thread_default(context_); }
    ~ContextScope() { g_main_context_pop_thread_default(context_); }
    ContextScope(const ContextScope&) = delete;
    ContextScope& operator=(const ContextScope&) = delete;

private:
    GMainContext* context_;
};

gboolean wakeUp(gpointer) { return G_SOURCE_REMOVE; }

}  // namespace

struct PortalSession::Glib {
    std::unique_ptr<GMainContext, ContextUnref> context{g_main_context_new()};
    std::unique_ptr<XdpPortal, ObjectUnref> portal;
    std::unique_ptr<GCancellable, ObjectUnref> cancellable{g_cancellable_new()};
    std::unique_ptr<XdpSession, ObjectUnref> session;
    gulong closedHandler = 0;
};

PortalSession::PortalSession() : glib_(std::make_unique<Glib>()) {}

std::unique_ptr<PortalSession> PortalSession::begin(const std::optional<std::string>& restoreToken) {
    std::unique_ptr<PortalSession> session(new PortalSession());
    const ContextScope scope(session->glib_->context.get());
    // libportal takes the session bus for granted; without one there is nobody to ask.
    GError* raw = nullptr;
    std::unique_ptr<GDBusConnection, ObjectUnref> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &raw));
    const Error error(raw);
    if (!bus) {
        session->phase_ = Phase::Failed;
        session->failure_ = std::string("no session bus: ") + (error ? error->message : "unknown");
        return session;
    }
    session->glib_->portal.reset(xdp_portal_new());
    // Nothing is captured but the window's own pixels: the pointer stays out of the picture.
    xdp_portal_create_screencast_session(
        session->glib_->portal.get(), XDP_OUTPUT_WINDOW, XDP_SCREENCAST_FLAG_NONE, XDP_CURSOR_MODE_HIDDEN,
        XDP_PERSIST_MODE_PERSISTENT, restoreToken ? restoreToken->c_str() : nullptr, session->glib_->cancellable.get(),
        [](GObject*, GAsyncResult* result, gpointer self) { static_cast<PortalSession*>(self)->created(result); },
        session.get());
    return session;
}

PortalSession::~PortalSession() {
    const ContextScope scope(glib_->context.get());
    // A request still open is withdrawn, which closes the portal's dialog. Only then: libportal
    // mishandles a cancellation that comes after its answer. Closing sends its messages at once;
    // the context is not iterated again, so no late answer reaches this object.
    if (phase_ == Phase::Waiting) g_cancellable_cancel(glib_->cancellable.get());
    if (glib_->session) {
        if (glib_->closedHandler != 0) g_signal_handler_disconnect(glib_->session.get(), glib_->closedHandler);
        if (xdp_session_get_session_state(glib_->session.get()) != XDP_SESSION_CLOSED) {
            xdp_session_close(glib_->session.get());
        }
    }
}

void PortalSession::created(void* result) {
    GError* raw = nullptr;
    glib_->session.reset(xdp_portal_create_screencast_session_finish(glib_->portal.get(),
                                                                     static_cast<GAsyncResult*>(result), &raw));
    const Error error(raw);
    if (!glib_->session) {
        const bool cancelled = error && g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_CANCELLED);
        phase_ = cancelled ? Phase::Refused : Phase::Failed;
        failure_ = error ? error->message : "no session";
        return;
    }
    glib_->closedHandler = g_signal_connect(glib_->session.get(), "closed",
                                            G_CALLBACK(+[](XdpSession*, gpointer self) {
                                                static_cast<PortalSession*>(self)->closed();
                                            }),
                                            this);
    xdp_session_start(
        glib_->session.get(), nullptr, glib_->cancellable.get(),
        [](GObject*, GAsyncResult* done, gpointer self) { static_cast<PortalSession*>(self)->started(done); }, this);
}

void PortalSession::started(void* result) {
    GError* raw = nullptr;
    const bool ok = xdp_session_start_finish(glib_->session.get(), static_cast<GAsyncResult*>(result), &raw);
    const Error error(raw);
    if (!ok) {
        const bool cancelled = error && g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_CANCELLED);
        phase_ = cancelled ? Phase::Refused : Phase::Failed;
        failure_ = error ? error->message : "the portal did not start the session";
        return;
    }
    if (gchar* token = xdp_session_get_restore_token(glib_->session.get())) {
        restoreToken_ = token;
        g_free(token);
    }
    // One window was asked for: the first stream is it.
    if (GVariant* streams = xdp_session_get_streams(glib_->session.get())) {
        GVariantIter iter;
        g_variant_iter_init(&iter, streams);
        guint32 node = 0;
        GVariant* properties = nullptr;
        if (g_variant_iter_next(&iter, "(u@a{sv})", &node, &properties)) {
            Stream stream;
            stream.node = node;
            g_variant_lookup(properties, "size", "(ii)", &stream.width, &stream.height);
            g_variant_unref(properties);
            stream_ = stream;
        }
    }
    if (!stream_) {
        phase_ = Phase::Failed;
        failure_ = "the portal shared no stream";
        return;
    }
    phase_ = Phase::Started;
}

void PortalSession::closed() {
    if (phase_ == Phase::Started || phase_ == Phase::Waiting) phase_ = Phase::Closed;
}

PortalSession::Phase PortalSession::poll(std::chrono::milliseconds wait) {
    GMainContext* context = glib_->context.get();
    const ContextScope scope(context);
    while (g_main_context_iteration(context, FALSE)) {
    }
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (phase_ == Phase::Waiting) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        // A blocking iteration returns at the first answer, or when this timer fires.
        GSource* timer = g_timeout_source_new(static_cast<guint>(left.count()));
        g_source_set_callback(timer, wakeUp, nullptr, nullptr);
        g_source_attach(timer, context);
        g_main_context_iteration(context, TRUE);
        g_source_destroy(timer);
        g_source_unref(timer);
        while (g_main_context_iteration(context, FALSE)) {
        }
    }
    return phase_;
}

int PortalSession::openPipeWireRemote() {
    if (phase_ != Phase::Started) return -1;
    const ContextScope scope(glib_->context.get());
    return xdp_session_open_pipewire_remote(glib_->session.get());
}

}  // namespace platform::portal
