#include "platform/linux/wayland/SwayCapture.h"

#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <list>
#include <utility>
#include <vector>

#include "platform/linux/PixelConversion.h"
#include "platform/linux/wayland/SwayTree.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"

namespace platform::wayland {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kAnswerTime = 2s;                        // for sway's IPC and for one frame
constexpr std::uint32_t kLargestReply = 64u << 20;     // a tree of thousands of windows is a few MB

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&&) = delete;
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

int millisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

// One whole transfer on a non-blocking socket before the deadline.
bool transfer(int fd, std::uint8_t* data, std::size_t size, bool sending, Clock::time_point deadline) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = sending ? ::send(fd, data + done, size - done, MSG_NOSIGNAL) : ::recv(fd, data + done, size - done, 0);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) return false;
        pollfd ready{fd, static_cast<short>(sending ? POLLOUT : POLLIN), 0};
        if (::poll(&ready, 1, millisecondsLeft(deadline)) <= 0) return false;
    }
    return true;
}

// One request of sway's IPC ("i3-ipc", payload length, message type, payload) and its reply.
std::optional<std::string> swayRequest(const std::string& socketPath, std::uint32_t type) {
    const auto deadline = Clock::now() + kAnswerTime;
    Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (fd.get() < 0 || socketPath.size() >= sizeof address.sun_path) return std::nullopt;
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 && errno != EINPROGRESS) {
        return std::nullopt;
    }
    std::uint8_t header[14] = {'i', '3', '-', 'i', 'p', 'c'};
    const std::uint32_t length = 0;
    std::memcpy(header + 6, &length, 4);
    std::memcpy(header + 10, &type, 4);
    if (!transfer(fd.get(), header, sizeof header, true, deadline)) return std::nullopt;
    if (!transfer(fd.get(), header, sizeof header, false, deadline)) return std::nullopt;
    std::uint32_t size = 0;
    std::uint32_t replyType = 0;
    std::memcpy(&size, header + 6, 4);
    std::memcpy(&replyType, header + 10, 4);
    if (std::memcmp(header, "i3-ipc", 6) != 0 || replyType != type || size > kLargestReply) return std::nullopt;
    std::string reply(size, '\0');
    if (!transfer(fd.get(), reinterpret_cast<std::uint8_t*>(reply.data()), size, false, deadline)) return std::nullopt;
    return reply;
}

constexpr std::uint32_t kGetTree = 4;

// The view that shows the window: the application's process with the window's title, else its only
// view.
const SwayView* viewOf(const SwayTree& tree, const NativeWindow& window) {
    const SwayView* only = nullptr;
    int count = 0;
    for (const SwayView& view : tree.views) {
        if (view.processId != window.processId) continue;
        if (view.title == window.title) return &view;
        only = &view;
        ++count;
    }
    return count == 1 ? only : nullptr;
}

// ---------------------------------------------------------------------------------------------
// The compositor connection for screencopy: the globals it needs, bound once; a connection that
// failed is made again at the next capture.

template <typename T, void (*Destroy)(T*)>
struct ProxyDeleter {
    void operator()(T* proxy) const {
        if (proxy) Destroy(proxy);
    }
};
using ShmPtr = std::unique_ptr<wl_shm, ProxyDeleter<wl_shm, wl_shm_destroy>>;
using ManagerPtr =
    std::unique_ptr<zwlr_screencopy_manager_v1, ProxyDeleter<zwlr_screencopy_manager_v1, zwlr_screencopy_manager_v1_destroy>>;
using FramePtr =
    std::unique_ptr<zwlr_screencopy_frame_v1, ProxyDeleter<zwlr_screencopy_frame_v1, zwlr_screencopy_frame_v1_destroy>>;
using RegistryPtr = std::unique_ptr<wl_registry, ProxyDeleter<wl_registry, wl_registry_destroy>>;
using PoolPtr = std::unique_ptr<wl_shm_pool, ProxyDeleter<wl_shm_pool, wl_shm_pool_destroy>>;
using BufferPtr = std::unique_ptr<wl_buffer, ProxyDeleter<wl_buffer, wl_buffer_destroy>>;

void releaseOutput(wl_output* output) {
    if (wl_output_get_version(output) >= WL_OUTPUT_RELEASE_SINCE_VERSION) wl_output_release(output);
    else wl_output_destroy(output);
}
using OutputPtr = std::unique_ptr<wl_output, ProxyDeleter<wl_output, releaseOutput>>;

struct DisplayDeleter {
    void operator()(wl_display* display) const { wl_display_disconnect(display); }
};

struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;
};

struct Output {
    std::uint32_t name = 0;    // the registry's
    OutputPtr proxy;
    std::string connector;     // "HEADLESS-1", from wl_output 4
};

class Screencopy {
public:
    // Nothing when the compositor cannot be reached or offers no screencopy.
    static std::unique_ptr<Screencopy> connect() {
        std::unique_ptr<Screencopy> copy(new Screencopy);
        copy->display_.reset(wl_display_connect(nullptr));
        if (!copy->display_) return nullptr;
        copy->registry_.reset(wl_display_get_registry(copy->display_.get()));
        wl_registry_add_listener(copy->registry_.get(), &kRegistryListener, copy.get());
        // the globals, then the outputs' names
        if (!copy->roundTrip() || !copy->roundTrip() || !copy->manager_ || !copy->shm_ || copy->outputs_.empty()) {
            return nullptr;
        }
        return copy;
    }

    ~Screencopy() {
        // proxies before the display they live on
        outputs_.clear();
        manager_.reset();
        shm_.reset();
        registry_.reset();
    }

    bool broken() const { return wl_display_get_error(display_.get()) != 0; }

    // The region of the named output (or the only one) as opaque RGBA rows at the output's pixel
    // density; nothing on failure.
    std::optional<Pixels> copyRegion(const std::string& connector, const SwayRect& region) {
        wl_output* output = nullptr;
        for (const Output& candidate : outputs_) {
            if (candidate.connector == connector || outputs_.size() == 1) output = candidate.proxy.get();
        }
        if (!output || region.width <= 0 || region.height <= 0) return std::nullopt;
        FrameState state;
        FramePtr frame(zwlr_screencopy_manager_v1_capture_output_region(manager_.get(), 0, output, region.x, region.y,
                                                                         region.width, region.height));
        zwlr_screencopy_frame_v1_add_listener(frame.get(), &kFrameListener, &state);
        if (!dispatchUntil([&] { return state.offered || state.failed; }) || state.failed) return std::nullopt;
        if (state.width == 0 || state.height == 0 || state.stride < state.width * 4 ||
            state.stride > (1u << 20) || state.height > (1u << 15)) {
            return std::nullopt;
        }
        const std::size_t size = std::size_t{state.stride} * state.height;
        Fd memory(::memfd_create("linewarden-screencopy", MFD_CLOEXEC));
        if (memory.get() < 0 || ::ftruncate(memory.get(), static_cast<off_t>(size)) != 0) return std::nullopt;
        void* mapped = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, memory.get(), 0);
        if (mapped == MAP_FAILED) return std::nullopt;
        const std::unique_ptr<void, std::function<void(void*)>> mapping(mapped, [size](void* p) { ::munmap(p, size); });
        PoolPtr pool(wl_shm_create_pool(shm_.get(), memory.get(), static_cast<std::int32_t>(size)));
        BufferPtr buffer(wl_shm_pool_create_buffer(pool.get(), 0, static_cast<std::int32_t>(state.width),
                                                   static_cast<std::int32_t>(state.height),
                                                   static_cast<std::int32_t>(state.stride), state.format));
        zwlr_screencopy_frame_v1_copy(frame.get(), buffer.get());
        if (!dispatchUntil([&] { return state.ready || state.failed; }) || state.failed) return std::nullopt;
        return toImage(static_cast<const std::uint8_t*>(mapped), state);
    }

private:
    struct FrameState {
        std::uint32_t format = 0;
        std::uint32_t width = 0;
        std::uint32_t height = 0;
        std::uint32_t stride = 0;
        bool offered = false;
        bool yInverted = false;
        bool ready = false;
        bool failed = false;
    };

    Screencopy() = default;

    bool roundTrip() {
        bool done = false;
        wl_callback* callback = wl_display_sync(display_.get());
        static constexpr wl_callback_listener kDone{[](void* data, wl_callback*, std::uint32_t) {
            *static_cast<bool*>(data) = true;
        }};
        wl_callback_add_listener(callback, &kDone, &done);
        const bool answered = dispatchUntil([&] { return done; });
        wl_callback_destroy(callback);
        return answered;
    }

    // Reads and handles the compositor's events until `condition` holds; false when the time runs
    // out or the connection fails first.
    bool dispatchUntil(const std::function<bool()>& condition) {
        wl_display* display = display_.get();
        const auto deadline = Clock::now() + kAnswerTime;
        while (!condition()) {
            if (wl_display_dispatch_pending(display) < 0) return false;
            if (condition()) return true;
            while (wl_display_prepare_read(display) != 0) {
                if (wl_display_dispatch_pending(display) < 0) return false;
            }
            if (wl_display_flush(display) < 0 && errno != EAGAIN) {
                wl_display_cancel_read(display);
                return false;
            }
            pollfd readable{wl_display_get_fd(display), POLLIN, 0};
            const int polled = ::poll(&readable, 1, millisecondsLeft(deadline));
            if (polled <= 0) {
                wl_display_cancel_read(display);
                if (polled < 0 && errno == EINTR) continue;
                return false;
            }
            if (wl_display_read_events(display) < 0) return false;
        }
        return true;
    }

    static std::optional<Pixels> toImage(const std::uint8_t* pixels, const FrameState& state) {
        // wl_shm formats name the channels of a little-endian 32-bit word
        int red = 0;
        int blue = 0;
        switch (state.format) {
            case WL_SHM_FORMAT_ARGB8888:
            case WL_SHM_FORMAT_XRGB8888: red = 2, blue = 0; break;
            case WL_SHM_FORMAT_ABGR8888:
            case WL_SHM_FORMAT_XBGR8888: red = 0, blue = 2; break;
            default: return std::nullopt;
        }
        Pixels image;
        image.width = static_cast<int>(state.width);
        image.height = static_cast<int>(state.height);
        image.rgba.resize(std::size_t{state.width} * state.height * 4);
        for (std::uint32_t y = 0; y < state.height; ++y) {
            const std::uint8_t* row = pixels + std::size_t{state.yInverted ? state.height - 1 - y : y} * state.stride;
            std::uint8_t* out = image.rgba.data() + std::size_t{y} * state.width * 4;
            for (std::uint32_t x = 0; x < state.width; ++x, row += 4, out += 4) {
                out[0] = row[red];
                out[1] = row[1];
                out[2] = row[blue];
                out[3] = 0xFF;
            }
        }
        return image;
    }

    static void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                       std::uint32_t version) {
        auto* self = static_cast<Screencopy*>(data);
        const std::string_view kind(interface);
        if (kind == zwlr_screencopy_manager_v1_interface.name) {
            self->manager_.reset(static_cast<zwlr_screencopy_manager_v1*>(
                wl_registry_bind(registry, name, &zwlr_screencopy_manager_v1_interface, 1)));
        } else if (kind == wl_shm_interface.name) {
            self->shm_.reset(static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1)));
        } else if (kind == wl_output_interface.name) {
            auto* output = static_cast<wl_output*>(
                wl_registry_bind(registry, name, &wl_output_interface, std::min<std::uint32_t>(version, 4)));
            self->outputs_.push_back({name, OutputPtr(output), {}});
            wl_output_add_listener(output, &kOutputListener, &self->outputs_.back().connector);
        }
    }
    static void globalRemove(void* data, wl_registry*, std::uint32_t name) {
        std::erase_if(static_cast<Screencopy*>(data)->outputs_, [&](const Output& o) { return o.name == name; });
    }
    static constexpr wl_registry_listener kRegistryListener{global, globalRemove};

    // Only the name matters (wl_output 4); the listener's other events are required all the same.
    static constexpr wl_output_listener kOutputListener{
        [](void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t, const char*,
           const char*, std::int32_t) {},
        [](void*, wl_output*, std::uint32_t, std::int32_t, std::int32_t, std::int32_t) {},
        [](void*, wl_output*) {},
        [](void*, wl_output*, std::int32_t) {},
        [](void* data, wl_output*, const char* name) { *static_cast<std::string*>(data) = name ? name : ""; },
        [](void*, wl_output*, const char*) {},
    };

    static constexpr zwlr_screencopy_frame_v1_listener kFrameListener{
        [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t format, std::uint32_t width, std::uint32_t height,
           std::uint32_t stride) {
            auto* state = static_cast<FrameState*>(data);
            state->format = format;
            state->width = width;
            state->height = height;
            state->stride = stride;
            state->offered = true;
        },
        [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t flags) {
            static_cast<FrameState*>(data)->yInverted = (flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0;
        },
        [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {
            static_cast<FrameState*>(data)->ready = true;
        },
        [](void* data, zwlr_screencopy_frame_v1*) { static_cast<FrameState*>(data)->failed = true; },
    };

    std::unique_ptr<wl_display, DisplayDeleter> display_;
    RegistryPtr registry_;
    ShmPtr shm_;
    ManagerPtr manager_;
    std::list<Output> outputs_;   // stable addresses: their listeners point into them
};

// ---------------------------------------------------------------------------------------------

class SwayCapture final : public NativeCapture {
public:
    explicit SwayCapture(std::string socket) : socket_(std::move(socket)) {}

    bool accessAllowed() override { return tree() && screencopy(); }
    void requestAccess() override {}

    std::optional<FrameInPoints> frame(const NativeWindow& window) override {
        const auto current = tree();
        const SwayView* view = current ? viewOf(*current, window) : nullptr;
        if (!view) return std::nullopt;
        return FrameInPoints{double(view->content.x), double(view->content.y), double(view->content.width),
                             double(view->content.height)};
    }

    std::optional<Image> capture(const NativeWindow& window, int widthPixels, int heightPixels) override {
        if (widthPixels <= 0 || heightPixels <= 0) return std::nullopt;
        const auto current = tree();
        const SwayView* view = current ? viewOf(*current, window) : nullptr;
        if (!view || !view->visible) return std::nullopt;
        const auto output = std::find_if(current->outputs.begin(), current->outputs.end(),
                                         [&](const SwayOutput& o) { return o.name == view->output; });
        if (output == current->outputs.end()) return std::nullopt;
        // the part of the window on its output, in the output's own coordinates
        const int left = std::max(view->content.x, output->rect.x);
        const int top = std::max(view->content.y, output->rect.y);
        const int right = std::min(view->content.x + view->content.width, output->rect.x + output->rect.width);
        const int bottom = std::min(view->content.y + view->content.height, output->rect.y + output->rect.height);
        if (right - left != view->content.width || bottom - top != view->content.height) return std::nullopt;
        Screencopy* copy = screencopy();
        if (!copy) return std::nullopt;
        auto image = copy->copyRegion(output->name, {left - output->rect.x, top - output->rect.y, right - left,
                                                     bottom - top});
        if (!image) {
            if (copy->broken()) screencopy_.reset();
            return std::nullopt;
        }
        if (image->width != widthPixels || image->height != heightPixels) {
            image->rgba = x11::resizeRgba(image->rgba, image->width, image->height, widthPixels, heightPixels);
        }
        return Image(widthPixels, heightPixels, std::move(image->rgba));
    }

private:
    std::optional<SwayTree> tree() {
        const auto reply = swayRequest(socket_, kGetTree);
        return reply ? parseSwayTree(*reply) : std::nullopt;
    }

    Screencopy* screencopy() {
        if (screencopy_ && screencopy_->broken()) screencopy_.reset();
        if (!screencopy_) screencopy_ = Screencopy::connect();
        return screencopy_.get();
    }

    std::string socket_;
    std::unique_ptr<Screencopy> screencopy_;
};

}  // namespace

std::unique_ptr<NativeCapture> openSwayCapture() {
    const char* socket = std::getenv("SWAYSOCK");
    const char* display = std::getenv("WAYLAND_DISPLAY");
    if (!socket || !*socket || !display || !*display) return nullptr;
    return std::make_unique<SwayCapture>(socket);
}

}  // namespace platform::wayland
