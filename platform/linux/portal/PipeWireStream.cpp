#include "platform/linux/portal/PipeWireStream.h"

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <unistd.h>

#include "platform/linux/portal/FramePixels.h"

namespace platform::portal {

namespace {

constexpr int kDamageRegions = 16;

struct ThreadLoopDestroy {
    void operator()(pw_thread_loop* loop) const { pw_thread_loop_destroy(loop); }
};
struct ContextDestroy {
    void operator()(pw_context* context) const { pw_context_destroy(context); }
};
struct CoreDisconnect {
    void operator()(pw_core* core) const { pw_core_disconnect(core); }
};
struct ProxyDestroy {
    void operator()(pw_registry* registry) const { pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry)); }
};
struct StreamDestroy {
    void operator()(pw_stream* stream) const { pw_stream_destroy(stream); }
};

// Holds the thread loop's lock: the loop's thread runs the callbacks, the scan reads their results.
class LoopLock {
public:
    explicit LoopLock(pw_thread_loop* loop) : loop_(loop) { pw_thread_loop_lock(loop_); }
    ~LoopLock() { pw_thread_loop_unlock(loop_); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

private:
    pw_thread_loop* loop_;
};

std::optional<PixelOrder> pixelOrder(spa_video_format format) {
    switch (format) {
        case SPA_VIDEO_FORMAT_BGRx: return PixelOrder::BGRx;
        case SPA_VIDEO_FORMAT_BGRA: return PixelOrder::BGRA;
        case SPA_VIDEO_FORMAT_RGBx: return PixelOrder::RGBx;
        case SPA_VIDEO_FORMAT_RGBA: return PixelOrder::RGBA;
        default: return std::nullopt;
    }
}

// Whether a buffer's damage says it changed something; a buffer without damage metadata may
// have changed anything.
bool damaged(spa_buffer* buffer) {
    auto* meta = static_cast<spa_meta*>(spa_buffer_find_meta(buffer, SPA_META_VideoDamage));
    if (meta == nullptr) return true;
    spa_meta_region* region = nullptr;
    spa_meta_for_each(region, meta) {
        if (spa_meta_region_is_valid(region)) return true;
    }
    return false;
}

bool corrupted(spa_buffer* buffer) {
    auto* header = static_cast<spa_meta_header*>(spa_buffer_find_meta_data(buffer, SPA_META_Header, sizeof(spa_meta_header)));
    return header != nullptr && (header->flags & SPA_META_HEADER_FLAG_CORRUPTED) != 0;
}

}  // namespace

struct PipeWireStream::Pw {
    std::unique_ptr<pw_thread_loop, ThreadLoopDestroy> loop;
    std::unique_ptr<pw_context, ContextDestroy> context;
    std::unique_ptr<pw_core, CoreDisconnect> core;
    std::unique_ptr<pw_registry, ProxyDestroy> registry;
    std::unique_ptr<pw_stream, StreamDestroy> stream;
    std::uint32_t node = 0;
    spa_hook coreListener{};
    spa_hook registryListener{};
    spa_hook streamListener{};

    // Written on the loop's thread, read under its lock.
    bool ended = false;
    std::optional<PixelOrder> order;
    int width = 0;
    int height = 0;
    pw_buffer* held = nullptr;    // the newest frame, kept from PipeWire until a newer one comes
    bool changed = false;

    std::optional<FrameView> view() const {
        if (held == nullptr || !order) return std::nullopt;
        spa_data& data = held->buffer->datas[0];
        if (data.data == nullptr || data.chunk == nullptr) return std::nullopt;
        const std::uint32_t offset = data.chunk->offset % std::max<std::uint32_t>(data.maxsize, 1);
        const std::uint32_t size = std::min(data.chunk->size, data.maxsize - offset);
        FrameView frame;
        frame.bytes = {static_cast<const std::uint8_t*>(data.data) + offset, size};
        frame.width = width;
        frame.height = height;
        frame.stride = data.chunk->stride;
        frame.order = *order;
        auto* crop = static_cast<spa_meta_region*>(
            spa_buffer_find_meta_data(held->buffer, SPA_META_VideoCrop, sizeof(spa_meta_region)));
        if (crop != nullptr && spa_meta_region_is_valid(crop)) {
            frame.crop = PixelRect{crop->region.position.x, crop->region.position.y,
                                   static_cast<int>(crop->region.size.width), static_cast<int>(crop->region.size.height)};
        }
        return frame;
    }

    void process() {
        pw_buffer* newest = nullptr;
        while (pw_buffer* buffer = pw_stream_dequeue_buffer(stream.get())) {
            const spa_data& data = buffer->buffer->datas[0];
            const bool usable = buffer->buffer->n_datas > 0 && data.data != nullptr && data.chunk != nullptr &&
                                data.chunk->size > 0 && !corrupted(buffer->buffer);
            if (!usable) {
                pw_stream_queue_buffer(stream.get(), buffer);
                continue;
            }
            changed = changed || damaged(buffer->buffer);
            if (newest != nullptr) pw_stream_queue_buffer(stream.get(), newest);
            newest = buffer;
        }
        if (newest == nullptr) return;
        if (held != nullptr) pw_stream_queue_buffer(stream.get(), held);
        held = newest;
        pw_thread_loop_signal(loop.get(), false);
    }

    void formatChanged(const spa_pod* param) {
        spa_video_info_raw info{};
        if (param == nullptr || spa_format_video_raw_parse(param, &info) < 0) return;
        order = pixelOrder(info.format);
        width = static_cast<int>(info.size.width);
        height = static_cast<int>(info.size.height);
        changed = true;

        std::uint8_t buffer[1024];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
        const spa_pod* params[4];
        // Frames in memory this process can map; never GPU buffers.
        params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
            SPA_POD_CHOICE_RANGE_Int(8, 2, 16), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1), SPA_PARAM_BUFFERS_dataType,
            SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
        params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header),
            SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_header))));
        params[2] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_VideoCrop),
            SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_region))));
        params[3] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_VideoDamage),
            SPA_PARAM_META_size,
            SPA_POD_CHOICE_RANGE_Int(sizeof(spa_meta_region) * kDamageRegions, sizeof(spa_meta_region),
                                     sizeof(spa_meta_region) * kDamageRegions)));
        pw_stream_update_params(stream.get(), params, 4);
    }
};

PipeWireStream::PipeWireStream() : pw_(std::make_unique<Pw>()) {}

std::unique_ptr<PipeWireStream> PipeWireStream::open(int fd, std::uint32_t node, std::string& problem) {
    pw_init(nullptr, nullptr);
    std::unique_ptr<PipeWireStream> self(new PipeWireStream());
    Pw& pw = *self->pw_;
    pw.loop.reset(pw_thread_loop_new("linewarden-cast", nullptr));
    if (!pw.loop) {
        close(fd);
        problem = "cannot start a PipeWire loop";
        return nullptr;
    }
    pw.context.reset(pw_context_new(pw_thread_loop_get_loop(pw.loop.get()), nullptr, 0));
    if (!pw.context) {
        close(fd);
        problem = "cannot make a PipeWire context";
        return nullptr;
    }
    // From here the core owns the descriptor.
    pw.core.reset(pw_context_connect_fd(pw.context.get(), fd, nullptr, 0));
    if (!pw.core) {
        problem = "cannot connect to the portal's PipeWire remote";
        return nullptr;
    }
    static const pw_core_events coreEvents = [] {
        pw_core_events events{};
        events.version = PW_VERSION_CORE_EVENTS;
        events.error = [](void* data, std::uint32_t id, int, int, const char*) {
            if (id == PW_ID_CORE) static_cast<Pw*>(data)->ended = true;
        };
        return events;
    }();
    pw_core_add_listener(pw.core.get(), &pw.coreListener, &coreEvents, &pw);

    // When the window goes, its node leaves the remote, and the stream itself only pauses.
    pw.node = node;
    pw.registry.reset(pw_core_get_registry(pw.core.get(), PW_VERSION_REGISTRY, 0));
    if (!pw.registry) {
        problem = "cannot watch the portal's PipeWire remote";
        return nullptr;
    }
    static const pw_registry_events registryEvents = [] {
        pw_registry_events events{};
        events.version = PW_VERSION_REGISTRY_EVENTS;
        events.global_remove = [](void* data, std::uint32_t id) {
            auto& self = *static_cast<Pw*>(data);
            if (id != self.node) return;
            self.ended = true;
            pw_thread_loop_signal(self.loop.get(), false);
        };
        return events;
    }();
    pw_registry_add_listener(pw.registry.get(), &pw.registryListener, &registryEvents, &pw);

    pw.stream.reset(pw_stream_new(pw.core.get(), "linewarden",
                                  pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                                    PW_KEY_MEDIA_ROLE, "Screen", nullptr)));
    if (!pw.stream) {
        problem = "cannot make a PipeWire stream";
        return nullptr;
    }
    static const pw_stream_events streamEvents = [] {
        pw_stream_events events{};
        events.version = PW_VERSION_STREAM_EVENTS;
        events.state_changed = [](void* data, pw_stream_state, pw_stream_state state, const char*) {
            auto& self = *static_cast<Pw*>(data);

            if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED) {
                self.ended = true;
                pw_thread_loop_signal(self.loop.get(), false);
            }
        };
        events.param_changed = [](void* data, std::uint32_t id, const spa_pod* param) {
            if (id == SPA_PARAM_Format) static_cast<Pw*>(data)->formatChanged(param);
        };
        events.remove_buffer = [](void* data, pw_buffer* buffer) {
            auto& self = *static_cast<Pw*>(data);
            if (self.held == buffer) self.held = nullptr;
        };
        events.process = [](void* data) { static_cast<Pw*>(data)->process(); };
        return events;
    }();
    pw_stream_add_listener(pw.stream.get(), &pw.streamListener, &streamEvents, &pw);

    // 32-bit pixels of any size, at up to ten frames a second: a scan looks once a second or so,
    // and fewer frames cost the compositor and this process less.
    std::uint8_t buffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    const spa_rectangle defaultSize = SPA_RECTANGLE(1280, 800);
    const spa_rectangle smallest = SPA_RECTANGLE(1, 1);
    const spa_rectangle largest = SPA_RECTANGLE(16384, 16384);
    const spa_fraction rate = SPA_FRACTION(0, 1);
    const spa_fraction defaultMax = SPA_FRACTION(10, 1);
    const spa_fraction leastMax = SPA_FRACTION(1, 1);
    const spa_fraction mostMax = SPA_FRACTION(10, 1);
    const spa_pod* params[1] = {static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                               SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&defaultSize, &smallest, &largest),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rate), SPA_FORMAT_VIDEO_maxFramerate,
        SPA_POD_CHOICE_RANGE_Fraction(&defaultMax, &leastMax, &mostMax)))};
    if (pw_stream_connect(pw.stream.get(), PW_DIRECTION_INPUT, node,
                          static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), params,
                          1) < 0) {
        problem = "cannot connect to the window's stream";
        return nullptr;
    }
    if (pw_thread_loop_start(pw.loop.get()) < 0) {
        problem = "cannot start the PipeWire thread";
        return nullptr;
    }
    return self;
}

PipeWireStream::~PipeWireStream() {
    if (pw_->loop) pw_thread_loop_stop(pw_->loop.get());
    // The stream goes before its core, the core before its context, the context before its loop.
    pw_->stream.reset();
    pw_->registry.reset();
    pw_->core.reset();
    pw_->context.reset();
    pw_->loop.reset();
}

bool PipeWireStream::ended() const {
    const LoopLock lock(pw_->loop.get());
    return pw_->ended;
}

bool PipeWireStream::waitForFirstFrame(std::chrono::milliseconds wait) {
    const LoopLock lock(pw_->loop.get());
    timespec deadline{};
    pw_thread_loop_get_time(pw_->loop.get(), &deadline,
                            std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count());
    while (pw_->held == nullptr && !pw_->ended) {
        if (pw_thread_loop_timed_wait_full(pw_->loop.get(), &deadline) != 0) break;
    }
    return pw_->held != nullptr && !pw_->ended;
}

std::optional<PixelRect> PipeWireStream::windowRect() const {
    const LoopLock lock(pw_->loop.get());
    const auto frame = pw_->view();
    if (!frame) return std::nullopt;
    return portal::windowRect(*frame);
}

std::optional<PipeWireStream::Picture> PipeWireStream::take() {
    const LoopLock lock(pw_->loop.get());
    const auto frame = pw_->view();
    if (!frame) return std::nullopt;
    pw_->changed = false;
    const auto rect = portal::windowRect(*frame);
    if (!rect) return std::nullopt;
    auto rgba = windowRgba(*frame, *rect);
    if (!rgba) return std::nullopt;
    return Picture{std::move(*rgba), rect->width, rect->height};
}

bool PipeWireStream::unchangedSinceTaken() const {
    const LoopLock lock(pw_->loop.get());
    return pw_->held != nullptr && !pw_->changed && !pw_->ended;
}

}  // namespace platform::portal
