#include "platform/linux/x11/XConnection.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>
#include <xcb/composite.h>
#include <xcb/damage.h>
#include <xcb/xcbext.h>

#include <array>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>

namespace platform::x11 {

namespace {

// libxcb writes the server's reason for refusing a connection straight to file descriptor 2.
// While connecting, that descriptor points into a pipe, so the reason becomes part of the
// backend's own message and a program that never writes to standard error stays silent.
class StderrCatcher {
public:
    StderrCatcher() {
        if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
        saved_ = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
        if (saved_ < 0 || dup2(pipe_[1], STDERR_FILENO) < 0) restore();
    }
    ~StderrCatcher() { restore(); }
    StderrCatcher(const StderrCatcher&) = delete;
    StderrCatcher& operator=(const StderrCatcher&) = delete;

    // Puts standard error back and returns what was written meanwhile.
    std::string finish() {
        restore();
        std::string caught;
        if (pipe_[0] >= 0) {
            std::array<char, 1024> buffer{};
            ssize_t count = 0;
            while ((count = read(pipe_[0], buffer.data(), buffer.size())) > 0) caught.append(buffer.data(), count);
            close(pipe_[0]);
            pipe_[0] = -1;
        }
        return caught;
    }

private:
    void restore() {
        if (saved_ >= 0) {
            dup2(saved_, STDERR_FILENO);
            close(saved_);
            saved_ = -1;
        }
        if (pipe_[1] >= 0) {
            close(pipe_[1]);
            pipe_[1] = -1;
        }
    }

    int pipe_[2] = {-1, -1};
    int saved_ = -1;
};

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

// "host:display.screen" as the default display names itself; empty when no display is set. A
// name that is set but cannot be read as a display is quoted as it stands, so that the message
// names the real problem.
std::string defaultDisplayLabel() {
    char* host = nullptr;
    int display = 0;
    int screen = 0;
    if (xcb_parse_display(nullptr, &host, &display, &screen) == 0) {
        // The same variable libxcb has just read: the only way to quote what it could not parse.
        const char* raw = std::getenv("DISPLAY");
        return raw ? std::string(raw) : std::string();
    }
    std::string label = std::string(host ? host : "") + ":" + std::to_string(display);
    if (screen != 0) label.append(".").append(std::to_string(screen));
    std::free(host);
    return label;
}

}  // namespace

void* awaitReply(xcb_connection_t* connection, unsigned int sequence, xcb_generic_error_t** error) {
    using Clock = std::chrono::steady_clock;
    *error = nullptr;
    if (xcb_connection_has_error(connection) != 0) return nullptr;
    xcb_flush(connection);
    const auto deadline = Clock::now() + kReplyTimeout;
    for (;;) {
        void* reply = nullptr;
        // Reads what has arrived without blocking; answers 1 once the request is done or the
        // connection has failed.
        if (xcb_poll_for_reply(connection, sequence, &reply, error) != 0) return reply;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            shutdown(xcb_get_file_descriptor(connection), SHUT_RDWR);
            xcb_poll_for_reply(connection, sequence, &reply, error);   // notices the end, marks the error
            std::free(reply);
            std::free(*error);
            *error = nullptr;
            return nullptr;
        }
        pollfd readable{xcb_get_file_descriptor(connection), POLLIN, 0};
        poll(&readable, 1, static_cast<int>(left));
    }
}

bool succeeded(xcb_connection_t* connection, xcb_void_cookie_t cookie) {
    // A request without a reply is known to be done once a later one has been answered.
    if (!fetch<xcb_get_input_focus_reply>(connection, xcb_get_input_focus(connection))) return false;
    void* reply = nullptr;
    xcb_generic_error_t* error = nullptr;
    xcb_poll_for_reply(connection, cookie.sequence, &reply, &error);
    const bool ok = error == nullptr && xcb_connection_has_error(connection) == 0;
    std::free(reply);
    std::free(error);
    return ok;
}

SigpipeShield::SigpipeShield() {
    sigset_t pipeOnly;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeOnly, &previousMask_);
    sigset_t pending;
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
}

SigpipeShield::~SigpipeShield() {
    sigset_t pending;
    sigpending(&pending);
    if (!wasPending_ && sigismember(&pending, SIGPIPE) == 1) {
        sigset_t pipeOnly;
        sigemptyset(&pipeOnly);
        sigaddset(&pipeOnly, SIGPIPE);
        const timespec noWait{};
        sigtimedwait(&pipeOnly, nullptr, &noWait);
    }
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

std::vector<std::uint32_t> PropertyValue::cardinals() const {
    std::vector<std::uint32_t> items;
    if (format != 32) return items;
    items.resize(bytes.size() / 4);
    if (!items.empty()) std::memcpy(items.data(), bytes.data(), items.size() * 4);
    return items;
}

namespace {

// One connection attempt on a thread of its own, shared with the thread that waits for it.
struct ConnectAttempt {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::unique_ptr<XConnection> connection;
};

// The attempt that was given up while its server did not answer. No other attempt starts
// until it has ended, so a frozen server holds one waiting thread at most.
std::mutex abandonedMutex;
std::shared_ptr<ConnectAttempt> abandoned;

bool stillRunning(const std::shared_ptr<ConnectAttempt>& attempt) {
    if (!attempt) return false;
    const std::lock_guard lock(attempt->mutex);
    return !attempt->done;
}

}  // namespace

std::unique_ptr<XConnection> XConnection::open(const std::string& displayName) {
    // A server that accepts the connection but never answers (a stopped process) would hold
    // xcb_connect and the first round trips forever, so they run on a helper thread that is
    // waited for kReplyTimeout at most. A given-up thread ends by itself once the server
    // answers or goes, and closes what it opened.
    std::unique_ptr<XConnection> unanswered(new XConnection());
    unanswered->displayLabel_ = displayName.empty() ? defaultDisplayLabel() : displayName;
    unanswered->unanswered_ = true;
    {
        const std::lock_guard lock(abandonedMutex);
        if (stillRunning(abandoned)) return unanswered;
        abandoned.reset();
    }
    auto attempt = std::make_shared<ConnectAttempt>();
    StderrCatcher catcher;
    std::thread([attempt, displayName] {
        auto connection = connectNow(displayName);
        const std::lock_guard lock(attempt->mutex);
        attempt->connection = std::move(connection);
        attempt->done = true;
        attempt->finished.notify_all();
    }).detach();
    std::unique_lock lock(attempt->mutex);
    const bool answered = attempt->finished.wait_for(lock, kReplyTimeout, [&] { return attempt->done; });
    const std::string refusal = trimmed(catcher.finish());
    if (!answered) {
        lock.unlock();
        const std::lock_guard guard(abandonedMutex);
        abandoned = attempt;
        return unanswered;
    }
    auto self = std::move(attempt->connection);
    self->refusal_ = refusal;
    return self;
}

std::unique_ptr<XConnection> XConnection::connectNow(const std::string& displayName) {
    const SigpipeShield shield;
    std::unique_ptr<XConnection> self(new XConnection());
    self->displayLabel_ = displayName.empty() ? defaultDisplayLabel() : displayName;

    int screenNumber = 0;
    self->connection_ = xcb_connect(displayName.empty() ? nullptr : displayName.c_str(), &screenNumber);
    self->connectError_ = xcb_connection_has_error(self->connection_);
    if (self->connectError_ != 0) return self;
    self->everConnected_ = true;

    xcb_connection_t* c = self->connection_;
    auto roots = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; roots.rem > 0; ++i, xcb_screen_next(&roots)) {
        if (i == screenNumber) self->screen_ = roots.data;
    }

    struct Name {
        xcb_atom_t Atoms::*field;
        std::string_view text;
    };
    static constexpr std::array kNames{
        Name{&Atoms::utf8String, "UTF8_STRING"},
        Name{&Atoms::compoundText, "COMPOUND_TEXT"},
        Name{&Atoms::netWmName, "_NET_WM_NAME"},
        Name{&Atoms::netWmPid, "_NET_WM_PID"},
        Name{&Atoms::netWmWindowType, "_NET_WM_WINDOW_TYPE"},
        Name{&Atoms::netWmWindowTypeDesktop, "_NET_WM_WINDOW_TYPE_DESKTOP"},
        Name{&Atoms::netSupportingWmCheck, "_NET_SUPPORTING_WM_CHECK"},
        Name{&Atoms::netClientList, "_NET_CLIENT_LIST"},
        Name{&Atoms::netClientListStacking, "_NET_CLIENT_LIST_STACKING"},
        Name{&Atoms::wmState, "WM_STATE"},
    };
    std::array<xcb_intern_atom_cookie_t, kNames.size()> cookies{};
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        // Interned even when no client uses them yet: a window manager may start later.
        cookies[i] = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(kNames[i].text.size()), kNames[i].text.data());
    }
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (auto reply = fetch<xcb_intern_atom_reply>(c, cookies[i])) self->atoms_.*kNames[i].field = reply->atom;
    }

    if (const auto* extension = xcb_get_extension_data(c, &xcb_composite_id); extension && extension->present) {
        // Naming a window's pixmap needs version 0.2.
        if (auto version = fetch<xcb_composite_query_version_reply>(c, xcb_composite_query_version(c, 0, 4))) {
            self->hasComposite_ = version->major_version > 0 || version->minor_version >= 2;
        }
    }
    if (const auto* extension = xcb_get_extension_data(c, &xcb_damage_id); extension && extension->present) {
        // The version must be agreed on before any other request of the extension.
        if (fetch<xcb_damage_query_version_reply>(c, xcb_damage_query_version(c, 1, 1))) {
            self->hasDamage_ = true;
            self->damageFirstEvent_ = extension->first_event;
        }
    }
    return self;
}

XConnection::~XConnection() {
    if (connection_) {
        const SigpipeShield shield;
        xcb_disconnect(connection_);
    }
}

bool XConnection::usable() const {
    return connection_ && xcb_connection_has_error(connection_) == 0 && screen_ != nullptr;
}

std::string XConnection::problem() const {
    if (usable()) return {};
    if (displayLabel_.empty()) return "cannot open the X display: no display is set";
    const std::string quoted = "\"" + displayLabel_ + "\"";
    if (unanswered_) return "the X display " + quoted + " does not answer";
    if (everConnected_) return "lost the connection to the X display " + quoted;
    if (!refusal_.empty()) return "cannot open the X display " + quoted + ": " + refusal_;
    if (connectError_ == XCB_CONN_CLOSED_PARSE_ERR) {
        return "cannot open the X display " + quoted + ": not a valid display name (expected [host]:display[.screen])";
    }
    if (connectError_ == XCB_CONN_CLOSED_INVALID_SCREEN) return "cannot open the X display " + quoted + ": no such screen";
    return "cannot open the X display " + quoted;
}

xcb_get_property_cookie_t XConnection::requestProperty(xcb_window_t window, xcb_atom_t property) const {
    // Up to 4 MiB: titles of any sensible length arrive whole.
    return xcb_get_property(connection_, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1u << 20);
}

std::optional<PropertyValue> XConnection::property(xcb_get_property_cookie_t cookie) const {
    auto reply = fetch<xcb_get_property_reply>(connection_, cookie);
    if (!reply || reply->type == XCB_ATOM_NONE) return std::nullopt;
    PropertyValue value;
    value.type = reply->type;
    value.format = reply->format;
    const auto* data = static_cast<const char*>(xcb_get_property_value(reply.get()));
    const int length = xcb_get_property_value_length(reply.get());
    if (data && length > 0) value.bytes.assign(data, static_cast<std::size_t>(length));
    return value;
}

bool XConnection::roundTrip() const {
    if (!usable()) return false;
    const SigpipeShield shield;
    return fetch<xcb_get_input_focus_reply>(connection_, xcb_get_input_focus(connection_)) != nullptr;
}

}  // namespace platform::x11
