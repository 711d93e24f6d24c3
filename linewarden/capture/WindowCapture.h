#pragma once

#include <optional>
#include <utility>

#include "linewarden/capture/ReadingMemory.h"
#include "platform/Platform.h"

namespace linewarden {

// The pixel size a window is captured at: twice its frame in points, truncated toward zero.
// With `atLeastOnePixel` (Zoom) each side is raised to at least 1 first. Values beyond what an
// int holds are clamped rather than overflowing.
std::pair<int, int> doubledPixelSize(const platform::FrameInPoints& frame, bool atLeastOnePixel);

// Captures the on-screen window with this number at twice its size; nothing when it is not on
// screen or the capture fails. The window list is queried anew on every call; the memory may
// stand in for a capture of an unchanged window. With `owner`, the process that owns the listed
// window is stored there (0 when not listed or not known). With `regionOf`, only that region of
// the capture is taken (see ReadingMemory::capture).
std::optional<Reading> captureWindowByNumber(platform::Platform& platform, platform::WindowNumber windowID,
                                             ReadingMemory& memory, platform::ProcessId* owner = nullptr,
                                             const platform::RegionOfCapture* regionOf = nullptr);

// Captures a window the caller already has (Zoom), at twice its size and at least 1 x 1 pixel.
std::optional<Reading> captureListedWindow(platform::Platform& platform, const platform::ShareableWindow& window,
                                           ReadingMemory& memory);

// "(800.0, 600.0)": an image size as the platform writes a size structure.
std::string describeSize(int width, int height);
inline std::string describeSize(const platform::Image& image) { return describeSize(image.width(), image.height()); }

}  // namespace linewarden
