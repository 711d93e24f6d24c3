#include "platform/linux/wayland/SwayTree.h"

#include <json-glib/json-glib.h>

#include <limits>
#include <memory>

namespace platform::wayland {

namespace {

constexpr int kDeepestTree = 64;          // nodes within nodes: a real tree has about ten
constexpr int kDeepestJson = 4 * kDeepestTree;

struct ParserDeleter {
    void operator()(JsonParser* parser) const { g_object_unref(parser); }
};

// The parser descends recursively: text nested deeper than any reply of sway is refused before it
// is parsed, so no input can exhaust the stack.
bool shallowEnough(std::string_view json) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (char c : json) {
        if (inString) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kDeepestJson) return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

JsonObject* objectMember(JsonObject* object, const char* name) {
    JsonNode* node = json_object_get_member(object, name);
    return node && JSON_NODE_HOLDS_OBJECT(node) ? json_node_get_object(node) : nullptr;
}

std::optional<std::string> stringMember(JsonObject* object, const char* name) {
    JsonNode* node = json_object_get_member(object, name);
    if (!node || json_node_get_value_type(node) != G_TYPE_STRING) return std::nullopt;
    const char* text = json_node_get_string(node);
    return text ? std::optional<std::string>(text) : std::nullopt;
}

// A whole number that fits an int; doubles are refused, as sway writes integers.
std::optional<std::int64_t> integerMember(JsonObject* object, const char* name) {
    JsonNode* node = json_object_get_member(object, name);
    if (!node || json_node_get_value_type(node) != G_TYPE_INT64) return std::nullopt;
    return json_node_get_int(node);
}

std::optional<int> intMember(JsonObject* object, const char* name) {
    const auto value = integerMember(object, name);
    if (!value || *value < std::numeric_limits<int>::min() / 2 || *value > std::numeric_limits<int>::max() / 2) {
        return std::nullopt;   // halved bounds: sums of two coordinates stay in range
    }
    return static_cast<int>(*value);
}

std::optional<bool> boolMember(JsonObject* object, const char* name) {
    JsonNode* node = json_object_get_member(object, name);
    if (!node || json_node_get_value_type(node) != G_TYPE_BOOLEAN) return std::nullopt;
    return json_node_get_boolean(node) != FALSE;
}

std::optional<SwayRect> rectMember(JsonObject* object, const char* name) {
    JsonObject* rect = objectMember(object, name);
    if (!rect) return std::nullopt;
    const auto x = intMember(rect, "x");
    const auto y = intMember(rect, "y");
    const auto width = intMember(rect, "width");
    const auto height = intMember(rect, "height");
    if (!x || !y || !width || !height || *width < 0 || *height < 0) return std::nullopt;
    return SwayRect{*x, *y, *width, *height};
}

class TreeWalk {
public:
    explicit TreeWalk(SwayTree& tree) : tree_(tree) {}

    void node(JsonObject* object, const std::string& output, int depth) {
        if (depth > kDeepestTree) return;
        const auto type = stringMember(object, "type").value_or("");
        std::string within = output;
        if (type == "output") {
            const auto name = stringMember(object, "name");
            const auto rect = rectMember(object, "rect");
            // sway's scratchpad sits on a pseudo output of its own, "__i3", which shows nothing
            if (name && rect && !name->starts_with("__")) tree_.outputs.push_back({*name, *rect});
            within = name.value_or("");
        } else if ((type == "con" || type == "floating_con") && json_object_has_member(object, "pid")) {
            view(object, output);
        }
        for (const char* children : {"nodes", "floating_nodes"}) {
            JsonNode* list = json_object_get_member(object, children);
            if (!list || !JSON_NODE_HOLDS_ARRAY(list)) continue;
            JsonArray* array = json_node_get_array(list);
            for (guint i = 0; i < json_array_get_length(array); ++i) {
                JsonNode* child = json_array_get_element(array, i);
                if (child && JSON_NODE_HOLDS_OBJECT(child)) node(json_node_get_object(child), within, depth + 1);
            }
        }
    }

private:
    // A view: `rect` is its place in the layout, `window_rect` the client's surface within it.
    void view(JsonObject* object, const std::string& output) {
        const auto rect = rectMember(object, "rect");
        if (!rect) return;
        SwayView found;
        found.id = integerMember(object, "id").value_or(0);
        const auto pid = integerMember(object, "pid");
        if (pid && *pid > 0 && *pid <= std::numeric_limits<std::int32_t>::max()) {
            found.processId = static_cast<std::int32_t>(*pid);
        }
        found.appId = stringMember(object, "app_id").value_or("");
        found.title = stringMember(object, "name").value_or("");
        found.output = output;
        found.content = *rect;
        if (const auto inner = rectMember(object, "window_rect"); inner && inner->width > 0 && inner->height > 0) {
            found.content = {rect->x + inner->x, rect->y + inner->y, inner->width, inner->height};
        }
        found.visible = boolMember(object, "visible").value_or(false);
        tree_.views.push_back(std::move(found));
    }

    SwayTree& tree_;
};

}  // namespace

std::optional<SwayTree> parseSwayTree(std::string_view json) {
    if (!shallowEnough(json) || json.size() > static_cast<std::size_t>(std::numeric_limits<gssize>::max())) {
        return std::nullopt;
    }
    const std::unique_ptr<JsonParser, ParserDeleter> parser(json_parser_new_immutable());
    if (!json_parser_load_from_data(parser.get(), json.data(), static_cast<gssize>(json.size()), nullptr)) {
        return std::nullopt;
    }
    JsonNode* root = json_parser_get_root(parser.get());
    if (!root || !JSON_NODE_HOLDS_OBJECT(root)) return std::nullopt;
    SwayTree tree;
    TreeWalk(tree).node(json_node_get_object(root), {}, 0);
    return tree;
}

}  // namespace platform::wayland
