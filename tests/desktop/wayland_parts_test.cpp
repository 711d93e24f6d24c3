// What the Wayland desktop reads from another program: sway's get_tree replies, a real one from
// sway 1.7 (trimmed to the members the desktop reads) and odd ones.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/linux/wayland/SwayTree.h"

namespace {

using platform::wayland::parseSwayTree;
using platform::wayland::SwayOutput;
using platform::wayland::SwayView;

std::string seed(const std::string& name) {
    std::ifstream file(std::string(LINEWARDEN_FUZZ_CORPUS_DIR) + "/sway_tree/" + name);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// A view inside one output, written as sway writes it; `view` is spliced in as its members.
std::string treeWith(const std::string& view) {
    return R"({"type":"root","nodes":[{"type":"output","name":"DP-1","rect":{"x":1280,"y":0,"width":1920,"height":1080},
      "nodes":[{"type":"workspace","name":"2","nodes":[{"type":"con",)" +
           view + R"(}]}]}]})";
}

TEST(SwayTree, ReadsTheViewsAndOutputsOfARealReply) {
    const auto tree = parseSwayTree(seed("tree.json"));
    ASSERT_TRUE(tree);
    // The scratchpad's pseudo output shows nothing.
    EXPECT_EQ(tree->outputs, (std::vector<SwayOutput>{{"HEADLESS-1", {0, 0, 1280, 800}}}));
    EXPECT_EQ(tree->views,
              (std::vector<SwayView>{
                  // tiled, with a border: the client's surface lies inside the node
                  {7, 31, "chrome-inbox", "Inbox", "HEADLESS-1", {2, 27, 1276, 771}, false},
                  {5, 15, "chrome-_text_html,_title_Kixie_PowerCall__title__h1_On_Call__h1_-Default", "Kixie PowerCall",
                   "HEADLESS-1", {440, 100, 400, 600}, true},
              }));
}

TEST(SwayTree, TakesMissingOrMistypedMembersAsUnknownAndDropsViewsWithoutAPlace) {
    // No pid, a title that is null, no window_rect: the view stays, its node rectangle is the surface.
    auto tree = parseSwayTree(treeWith(R"("id":9,"pid":null,"name":null,"visible":"yes","rect":{"x":1300,"y":10,"width":640,"height":480})"));
    ASSERT_TRUE(tree);
    EXPECT_EQ(tree->views, (std::vector<SwayView>{{9, 0, "", "", "DP-1", {1300, 10, 640, 480}, false}}));
    // Titles arrive as JSON strings with escapes; they are kept as UTF-8, control characters too.
    tree = parseSwayTree(treeWith(R"("pid":4,"name":"Kixie \"Power\"\nCall \u00e9\ud83d\ude00","rect":{"x":0,"y":0,"width":1,"height":1})"));
    ASSERT_TRUE(tree);
    ASSERT_EQ(tree->views.size(), 1u);
    EXPECT_EQ(tree->views[0].title, "Kixie \"Power\"\nCall \xC3\xA9\xF0\x9F\x98\x80");
    // Without a usable rectangle there is nothing to read: fractions, negative sizes, numbers
    // beyond any screen, a missing member.
    for (const char* rect : {R"({"x":0.5,"y":0,"width":1,"height":1})", R"({"x":0,"y":0,"width":-1,"height":1})",
                             R"({"x":0,"y":0,"width":99999999999,"height":1})", R"({"x":0,"y":0,"width":1})",
                             R"("0,0 1x1")"}) {
        tree = parseSwayTree(treeWith(std::string(R"("pid":4,"name":"T","rect":)") + rect));
        ASSERT_TRUE(tree) << rect;
        EXPECT_TRUE(tree->views.empty()) << rect;
    }
    // A window_rect that makes no surface leaves the node's rectangle.
    tree = parseSwayTree(treeWith(R"("pid":4,"rect":{"x":5,"y":6,"width":7,"height":8},"window_rect":{"x":1,"y":1,"width":0,"height":0})"));
    ASSERT_TRUE(tree);
    EXPECT_EQ(tree->views.at(0).content, (platform::wayland::SwayRect{5, 6, 7, 8}));
}

TEST(SwayTree, RefusesWhatIsNoTreeWithoutCrashing) {
    for (const std::string text : {"", "null", "[]", "\"root\"", "{", "{\"nodes\":[", "{\"name\":\"\xff\"}"}) {
        EXPECT_FALSE(parseSwayTree(text)) << text;
    }
    // Nesting far beyond any real tree is refused before it is parsed; within bounds, deep trees
    // are walked only as deep as a real one goes.
    EXPECT_FALSE(parseSwayTree(std::string(100'000, '[') + std::string(100'000, ']')));
    std::string deep = treeWith(R"("pid":1,"rect":{"x":0,"y":0,"width":1,"height":1})");
    for (int i = 0; i < 70; ++i) deep = R"({"type":"con","nodes":[)" + deep + "]}";
    const auto tree = parseSwayTree(deep);
    ASSERT_TRUE(tree);
    EXPECT_TRUE(tree->views.empty());
    // Members of other types where lists and objects belong are passed over.
    EXPECT_TRUE(parseSwayTree(R"({"type":"root","nodes":{"a":1},"floating_nodes":[1,"x",null]})"));
}

}  // namespace
