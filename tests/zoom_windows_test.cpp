#include <gtest/gtest.h>

#include "linewarden/monitors/ZoomWindows.h"

using platform::ShareableWindow;

namespace {
ShareableWindow window(platform::WindowNumber id, double width, double height,
                       std::optional<platform::OwningApplication> owner = platform::OwningApplication{"us.zoom.xos",
                                                                                                      "zoom.us"}) {
    return {id, {0, 0, width, height}, std::move(owner)};
}

std::vector<platform::WindowNumber> ids(const std::vector<ShareableWindow>& windows) {
    std::vector<platform::WindowNumber> out;
    for (const auto& w : windows) out.push_back(w.windowID);
    return out;
}
}  // namespace

TEST(SelectZoomWindows, SmallestFirstAndStableForEqualAreas) {
    const std::vector<ShareableWindow> listed{window(1, 800, 600), window(2, 300, 100), window(3, 900, 700),
                                              window(4, 100, 300)};
    EXPECT_EQ(ids(linewarden::selectZoomWindows(listed, "us.zoom.xos")), (std::vector<platform::WindowNumber>{2, 4, 1, 3}));
}

TEST(SelectZoomWindows, OwnerByBundleOrByNameContainingZoom) {
    const std::vector<ShareableWindow> listed{
        window(1, 10, 10, std::nullopt),
        window(2, 10, 10, platform::OwningApplication{"com.example.other", "Other"}),
        window(3, 10, 10, platform::OwningApplication{"com.example.zr", "My ZoOm Recorder"}),
        window(4, 10, 10, platform::OwningApplication{"us.zoom.xos", ""}),
    };
    EXPECT_EQ(ids(linewarden::selectZoomWindows(listed, "us.zoom.xos")), (std::vector<platform::WindowNumber>{3, 4}));
}

TEST(SelectZoomWindows, BothSidesMustExceedOnePoint) {
    const std::vector<ShareableWindow> listed{window(1, 1, 500), window(2, 500, 1), window(3, 2, 2),
                                              window(4, 1.0001, 1.0001)};
    EXPECT_EQ(ids(linewarden::selectZoomWindows(listed, "us.zoom.xos")), (std::vector<platform::WindowNumber>{4, 3}));
}
