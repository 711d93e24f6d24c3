// A screen-cast frame as PipeWire hands it over from the compositor: its size, stride, pixel
// order and crop metadata come from another process, and the window's rectangle and pixels are
// read only where they lie inside the frame's bytes.

#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzSupport.h"
#include "platform/linux/portal/FramePixels.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    using platform::portal::FrameView;
    FrameView frame;
    frame.width = data.ConsumeIntegralInRange<int>(-2, 64);
    frame.height = data.ConsumeIntegralInRange<int>(-2, 64);
    frame.stride = data.ConsumeIntegralInRange<int>(-4, 300);
    frame.order = data.PickValueInArray({platform::portal::PixelOrder::BGRx, platform::portal::PixelOrder::BGRA,
                                         platform::portal::PixelOrder::RGBx, platform::portal::PixelOrder::RGBA});
    if (data.ConsumeBool()) {
        frame.crop = platform::PixelRect{data.ConsumeIntegral<int>(), data.ConsumeIntegral<int>(),
                                         data.ConsumeIntegral<int>(), data.ConsumeIntegral<int>()};
    }
    const auto pixels = data.ConsumeRemainingBytes<std::uint8_t>();
    frame.bytes = pixels;
    const auto rect = platform::portal::windowRect(frame);
    if (!rect) return 0;
    fuzz_support::require(rect->x >= 0 && rect->y >= 0 && rect->width > 0 && rect->height > 0 &&
                              rect->x + rect->width <= frame.width && rect->y + rect->height <= frame.height,
                          "the window lies inside the frame");
    const auto rgba = platform::portal::windowRgba(frame, *rect);
    fuzz_support::require(rgba && rgba->size() == static_cast<std::size_t>(rect->width) * rect->height * 4,
                          "a window inside a frame that fits its bytes can be read");
    return 0;
}
