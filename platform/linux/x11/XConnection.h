#pragma once

// One connection to an X display through XCB. Every request answers for itself: a vanished
// window or a lost display comes back as an empty reply, never as a message on standard error
// or the end of the process.

#include <xcb/xcb.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::x11 {

struct FreeDeleter {
    void operator()(void* memory) const { std::free(memory); }
};
// XCB replies are malloc'ed by the library and released with free().
template <class T>
using Reply = std::unique_ptr<T, FreeDeleter>;

// How long the server may take to answer one request, or to accept a connection.
inline constexpr std::chrono::milliseconds kReplyTimeout{3000};

// Waits for the answer to request `sequence`, for kReplyTimeout at most: the reply (malloc'ed)
// or null, with `error` set when the server answered with one. A server that does not answer in
// time (frozen, or its machine away) counts as lost: the connection is shut down, so every later
// request fails at once and the display is reported as lost.
void* awaitReply(xcb_connection_t* connection, unsigned int sequence, xcb_generic_error_t** error);

// Waits for the reply of `cookie`; an error reply, a lost display or a server that does not
// answer in time gives an empty Reply.
template <auto ReplyFunction, class Cookie>
auto fetch(xcb_connection_t* connection, Cookie cookie) {
    using ReplyType = std::remove_pointer_t<decltype(ReplyFunction(connection, cookie, nullptr))>;
    xcb_generic_error_t* error = nullptr;
    auto* reply = static_cast<ReplyType*>(awaitReply(connection, cookie.sequence, &error));
    std::free(error);
    return Reply<ReplyType>(reply);
}

// Whether a checked request without a reply succeeded (bounded like fetch).
bool succeeded(xcb_connection_t* connection, xcb_void_cookie_t cookie);

// Writing to a display that has gone away raises SIGPIPE, whose default action ends the process.
// libxcb writes with writev(), so the backend keeps the signal blocked on the calling thread while
// it talks to the server and discards one that was raised meanwhile. The process's own handling
// of SIGPIPE (for standard output, say) stays as it was.
class SigpipeShield {
public:
    SigpipeShield();
    ~SigpipeShield();
    SigpipeShield(const SigpipeShield&) = delete;
    SigpipeShield& operator=(const SigpipeShield&) = delete;

private:
    sigset_t previousMask_{};
    bool wasPending_ = false;
};

// The atoms the backend reads, interned once per connection.
struct Atoms {
    xcb_atom_t utf8String = XCB_ATOM_NONE;
    xcb_atom_t compoundText = XCB_ATOM_NONE;
    xcb_atom_t netWmName = XCB_ATOM_NONE;
    xcb_atom_t netWmPid = XCB_ATOM_NONE;
    xcb_atom_t netWmWindowType = XCB_ATOM_NONE;
    xcb_atom_t netWmWindowTypeDesktop = XCB_ATOM_NONE;
    xcb_atom_t netSupportingWmCheck = XCB_ATOM_NONE;
    xcb_atom_t netClientList = XCB_ATOM_NONE;
    xcb_atom_t netClientListStacking = XCB_ATOM_NONE;
    xcb_atom_t wmState = XCB_ATOM_NONE;
};

// The raw value of a window property.
struct PropertyValue {
    xcb_atom_t type = XCB_ATOM_NONE;
    std::uint8_t format = 0;       // 8, 16 or 32 bits per item
    std::string bytes;             // the items as the server sent them (host byte order)

    // The items of a format-32 property.
    std::vector<std::uint32_t> cardinals() const;
};

class XConnection {
public:
    // Connects to `displayName`, or to the default display when it is empty. Never fails: a
    // display that cannot be opened, or does not answer within kReplyTimeout, gives a connection
    // that is not usable().
    static std::unique_ptr<XConnection> open(const std::string& displayName);
    ~XConnection();
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;

    // True while the display can be talked to.
    bool usable() const;
    // Why the display cannot be used, for people; empty while it can.
    std::string problem() const;
    // The display's name as messages quote it; empty when no display is set.
    const std::string& label() const { return displayLabel_; }

    xcb_connection_t* raw() const { return connection_; }
    const xcb_screen_t* screen() const { return screen_; }
    xcb_window_t root() const { return screen_ ? screen_->root : xcb_window_t{XCB_WINDOW_NONE}; }
    const Atoms& atoms() const { return atoms_; }
    bool hasComposite() const { return hasComposite_; }
    // Whether the DAMAGE extension is there, and the code of its first event.
    bool hasDamage() const { return hasDamage_; }
    std::uint8_t damageFirstEvent() const { return damageFirstEvent_; }

    // Sends a property request for the whole value of `property` on `window`.
    xcb_get_property_cookie_t requestProperty(xcb_window_t window, xcb_atom_t property) const;
    // The answer to requestProperty; nothing when the window is gone or has no such property.
    std::optional<PropertyValue> property(xcb_get_property_cookie_t cookie) const;

    // Whether the server has answered a simple round trip.
    bool roundTrip() const;

private:
    XConnection() = default;
    // Connects and asks the first questions; may block as long as the server does not answer.
    static std::unique_ptr<XConnection> connectNow(const std::string& displayName);

    xcb_connection_t* connection_ = nullptr;
    const xcb_screen_t* screen_ = nullptr;
    Atoms atoms_;
    bool hasComposite_ = false;
    bool hasDamage_ = false;
    std::uint8_t damageFirstEvent_ = 0;
    std::string displayLabel_;      // how the display is named in messages
    std::string refusal_;           // what the server said when it refused the connection
    int connectError_ = 0;          // libxcb's reason when connecting failed (XCB_CONN_...)
    bool everConnected_ = false;
    bool unanswered_ = false;       // the server did not answer the connection in time
};

}  // namespace platform::x11
