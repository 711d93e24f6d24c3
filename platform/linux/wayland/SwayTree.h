#pragma once

// What sway's IPC says about the windows it shows: the JSON of a get_tree reply, reduced to the
// views (windows of clients) with their process, title and rectangle, and the outputs. The reply
// comes from another program: any part may be missing or of another type, and such a view or
// output is left out rather than guessed at.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::wayland {

struct SwayRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const SwayRect&) const = default;
};

struct SwayOutput {
    std::string name;   // "HEADLESS-1", "eDP-1"
    SwayRect rect;      // in the layout's coordinates (logical pixels)
    bool operator==(const SwayOutput&) const = default;
};

struct SwayView {
    std::int64_t id = 0;          // sway's node id
    std::int32_t processId = 0;   // 0 when sway does not know it
    std::string appId;            // empty for X11 views and clients that set none
    std::string title;            // empty when the client set none
    std::string output;           // the output whose workspace holds the view
    SwayRect content;             // the client's surface in layout coordinates, borders and title bar left out
    bool visible = false;         // on a shown workspace and not hidden behind a tab or stack
    bool operator==(const SwayView&) const = default;
};

struct SwayTree {
    std::vector<SwayOutput> outputs;
    std::vector<SwayView> views;
};

// The tree of a get_tree reply; nothing when the text is not a JSON object. Nesting deeper than
// a real tree ever is (64 levels) is not followed.
std::optional<SwayTree> parseSwayTree(std::string_view json);

}  // namespace platform::wayland
