#pragma once

// The frames of one screen-cast stream, read in this process with libpipewire. The stream stays
// open between scans: PipeWire delivers frames on its own thread as the window changes, and the
// newest one is held (not copied) until a scan asks for it or a newer one arrives. A window that
// does not change sends no frames, so a scan of an unchanged window costs a look at a flag.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Image.h"

namespace platform::portal {

class PipeWireStream {
public:
    // Connects to the stream `node` of the PipeWire remote behind `fd` (taken over, closed on
    // failure). Nothing when PipeWire refuses; `problem` then says why.
    static std::unique_ptr<PipeWireStream> open(int fd, std::uint32_t node, std::string& problem);
    ~PipeWireStream();
    PipeWireStream(const PipeWireStream&) = delete;
    PipeWireStream& operator=(const PipeWireStream&) = delete;

    // Whether the producer has gone (the window closed, the session ended) or the stream failed.
    bool ended() const;
    // Waits up to `wait` for a first frame; false when none came or the stream ended.
    bool waitForFirstFrame(std::chrono::milliseconds wait);

    struct Picture {
        std::vector<std::uint8_t> rgba;
        int width = 0;
        int height = 0;
    };
    // Where the window is in the newest frame (its crop), without reading its pixels.
    std::optional<PixelRect> windowRect() const;
    // The newest frame's window pixels; nothing before the first frame or when they cannot be read.
    // From here on unchangedSinceTaken() looks at later frames only.
    std::optional<Picture> take();
    // Whether the frame that the last take() read is still there and no frame that changed
    // anything (by its damage) arrived since.
    bool unchangedSinceTaken() const;

private:
    struct Pw;
    PipeWireStream();
    std::unique_ptr<Pw> pw_;
};

}  // namespace platform::portal
