// The X11 backend on a private Xvfb, with windows the test creates itself; every test runs once
// on a bare server and once under openbox (a reparenting EWMH window manager).

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "linewarden/app/Applications.h"
#include "platform/LinuxDesktop.h"
#include "support/DesktopSession.h"

namespace {

using namespace desktop_test;
using namespace platform;

constexpr std::uint32_t kQuadrants[4] = {0xC81E1E, 0x1EC81E, 0x1E1EC8, 0xF0DC14};

std::string programName() { return program_invocation_short_name; }

class X11Desktop : public testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        std::signal(SIGPIPE, SIG_DFL);   // a write to a lost display must not end the process
        server_ = XvfbServer::start();
        if (!server_) GTEST_SKIP() << "Xvfb cannot be started here";
        if (underWindowManager()) {
            windowManager_ = startOpenbox(server_->display());
            if (!windowManager_) GTEST_SKIP() << "openbox cannot be started here";
        }
        client_ = std::make_unique<TestClient>(server_->display());
        ASSERT_TRUE(client_->ok());
        desktop_ = LinuxDesktop::open(console_, linewarden::knownApplications(), server_->display());
    }

    bool underWindowManager() const { return GetParam(); }
    Platform& platform() { return desktop_->platform(); }
    TestClient& client() { return *client_; }

    // A window on screen (and managed, under the window manager).
    xcb_window_t show(const WindowShape& shape) {
        const xcb_window_t window = client_->createWindow(shape);
        EXPECT_TRUE(client_->waitShown(window, underWindowManager() && !shape.overrideRedirect));
        return window;
    }

    std::vector<std::optional<std::string>> titlesOf(ProcessId pid) {
        std::vector<std::optional<std::string>> titles;
        const AXAnswer windows = platform().accessibility.copyAttribute(
            platform().accessibility.createApplication(pid), kAXWindowsAttribute);
        if (!windows.ok()) return titles;
        for (const AXElementRef& window : *windows.elements()) {
            const AXAnswer title = platform().accessibility.copyAttribute(window, kAXTitleAttribute);
            titles.push_back(title.string() ? std::optional(*title.string()) : std::nullopt);
        }
        return titles;
    }

    std::optional<ShareableWindow> shareable(xcb_window_t window, bool onScreenOnly = true) {
        for (const ShareableWindow& candidate :
             platform().screenCapture.shareableWindows(false, onScreenOnly).value_or(std::vector<ShareableWindow>{})) {
            if (candidate.windowID == window) return candidate;
        }
        return std::nullopt;
    }

    std::optional<Image> capture(xcb_window_t window, int width, int height) {
        return platform().screenCapture.captureWindow(ShareableWindow{window, {}, {}}, width, height);
    }

    RecordingConsole console_;
    std::unique_ptr<XvfbServer> server_;
    std::unique_ptr<ChildProcess> windowManager_;
    std::unique_ptr<TestClient> client_;
    std::unique_ptr<LinuxDesktop> desktop_;
};

INSTANTIATE_TEST_SUITE_P(Desktops, X11Desktop, testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Openbox" : "Bare"; });

std::array<std::uint8_t, 4> pixel(const Image& image, int x, int y) {
    const auto* p = &image.rgba()[(static_cast<std::size_t>(y) * image.width() + x) * 4];
    return {p[0], p[1], p[2], p[3]};
}

std::array<std::uint8_t, 4> rgba(std::uint32_t rgb) {
    return {static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8), static_cast<std::uint8_t>(rgb),
            255};
}

bool allPixels(const Image& image, std::uint32_t rgb) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (pixel(image, x, y) != rgba(rgb)) return false;
        }
    }
    return true;
}

// Checks every pixel of a capture of a quadrant window, leaving out a band of `blur` pixels on
// each side of the lines where the colours meet.
void expectQuadrants(const Image& image, int blur) {
    const int midX = image.width() / 2;
    const int midY = image.height() / 2;
    int wrong = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (std::abs(x - midX) < blur || std::abs(y - midY) < blur) continue;
            const int quadrant = (y >= midY ? 2 : 0) + (x >= midX ? 1 : 0);
            if (pixel(image, x, y) != rgba(kQuadrants[quadrant]) && ++wrong <= 3) {
                ADD_FAILURE() << "pixel " << x << "," << y << " is not quadrant " << quadrant << "'s colour";
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

// ---------------------------------------------------------------------------------------------

TEST_P(X11Desktop, PermissionsHoldOnAWorkingDisplay) {
    EXPECT_TRUE(platform().accessibility.isProcessTrusted());
    EXPECT_TRUE(platform().screenCapture.preflightAccess());
    EXPECT_EQ(platform().accessProblem, "");
}

TEST_P(X11Desktop, WindowListShowsViewableClientWindowsFrontFirst) {
    const xcb_window_t chrome = show({.className = "Google-chrome", .netWmName = "Inbox", .pid = 5000001});
    const xcb_window_t brave = show({.instanceName = "brave-browser", .className = "Brave-browser",
                                     .netWmName = "Kixie PowerCall – Agent ✅", .pid = 5000002});
    const xcb_window_t xterm = show({.instanceName = "xterm", .className = "XTerm", .netWmName = "shell"});
    const xcb_window_t bare = show({});
    client().createWindow({.className = "Google-chrome", .netWmName = "hidden", .map = false});
    show({.className = "Google-chrome", .netWmName = "menu", .overrideRedirect = true});
    show({.className = "Xfdesktop", .netWmName = "Desktop", .desktopType = true});

    // A desktop window sits at the bottom where a manager keeps it; it is left out either way.
    using Entry = std::tuple<std::optional<WindowNumber>, std::optional<std::string>, std::optional<std::string>>;
    const auto entries = platform().windowList.onScreenWindows();
    ASSERT_TRUE(entries);
    std::vector<Entry> listed;
    for (const WindowListEntry& e : *entries) {
        listed.emplace_back(e.windowNumber, e.ownerName, e.windowName);
    }
    EXPECT_EQ(listed, (std::vector<Entry>{{bare, std::nullopt, std::nullopt},
                                          {xterm, "XTerm", "shell"},
                                          {brave, "Brave Browser", "Kixie PowerCall – Agent ✅"},
                                          {chrome, "Google Chrome", "Inbox"}}));

    // Raising a window brings it to the front of the list.
    client().raise(chrome);
    ASSERT_TRUE(waitUntil([&] {
        const auto entries = platform().windowList.onScreenWindows();
        return entries && !entries->empty() && entries->front().windowNumber == chrome;
    }));
}

// A manager that dies leaves its announcements on the root window; the windows are listed from
// the window tree again.
TEST_P(X11Desktop, WindowsOutliveTheirWindowManager) {
    if (!underWindowManager()) GTEST_SKIP() << "needs a window manager to lose";
    const xcb_window_t first = show({.className = "Google-chrome", .netWmName = "one", .pid = 5000090});
    const xcb_window_t second = show({.className = "Google-chrome", .netWmName = "two", .pid = 5000090});
    windowManager_->kill();
    // The server hands the windows back to the root once it has noticed the manager's end.
    ASSERT_TRUE(waitUntil([&] {
        auto* tree = xcb_query_tree_reply(client().raw(), xcb_query_tree(client().raw(), first), nullptr);
        const bool atRoot = tree && tree->parent == client().root();
        std::free(tree);
        return atRoot;
    }));
    const xcb_window_t third = client().createWindow({.className = "Google-chrome", .netWmName = "three", .pid = 5000090});
    ASSERT_TRUE(client().waitShown(third, false));
    const auto entries = platform().windowList.onScreenWindows();
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 3u);
    EXPECT_EQ((*entries)[0].windowNumber, third);
    EXPECT_EQ((*entries)[1].windowNumber, second);
    EXPECT_EQ((*entries)[2].windowNumber, first);
    EXPECT_EQ(titlesOf(5000090), (std::vector<std::optional<std::string>>{"three", "two", "one"}));
}

TEST_P(X11Desktop, TitlesComeAsUtf8WhateverTheWindowStored) {
    const std::uint32_t pid = 5000100;
    std::string longTitle;
    while (longTitle.size() < 20000) longTitle += "Kixie PowerCall ";
    longTitle += "– end";
    show({.className = "Google-chrome", .netWmName = "RingCentral for Google – 00:12 ✅ 📸", .pid = pid});
    show({.className = "Google-chrome", .wmName = "Caf\xE9 \xAB Trellus \xBB", .pid = pid});
    show({.className = "Google-chrome", .netWmName = "new ✅", .wmName = "old", .pid = pid});
    show({.className = "Google-chrome", .netWmName = longTitle, .pid = pid});
    const xcb_window_t untitled = show({.className = "Google-chrome", .pid = pid});

    EXPECT_EQ(titlesOf(pid), (std::vector<std::optional<std::string>>{
                                 std::nullopt, longTitle, "new ✅", "Café « Trellus »",
                                 "RingCentral for Google – 00:12 ✅ 📸"}));
    const auto entries = platform().windowList.onScreenWindows();
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 5u);
    EXPECT_EQ((*entries)[0].windowName, std::nullopt);
    EXPECT_EQ((*entries)[1].windowName, longTitle);

    // A title that changes is read afresh.
    client().setNetWmName(untitled, "Trellus – Active");
    client().sync();
    EXPECT_EQ(titlesOf(pid).front(), "Trellus – Active");
}

TEST_P(X11Desktop, ApplicationsAreKnownProcessesThatShowWindows) {
    show({.className = "Google-chrome", .netWmName = "first instance", .pid = 5000010});
    show({.className = "Brave-browser", .netWmName = "brave", .pid = 5000020});
    const xcb_window_t second = show({.className = "Google-chrome", .netWmName = "second instance", .pid = 5000005});
    show({.className = "Google-chrome", .netWmName = "first instance again", .pid = 5000010});
    show({.className = "Microsoft-edge", .netWmName = "edge", .pid = 5000030});
    show({.instanceName = "zoom ", .className = "zoom ", .netWmName = "Zoom Meeting", .pid = 5000040});
    show({.className = "XTerm", .netWmName = "shell", .pid = 5000050});
    show({.className = "Google-chrome", .netWmName = "no process"});
    client().createWindow({.className = "Microsoft-edge", .netWmName = "never shown", .pid = 5000060, .map = false});

    const auto all = platform().workspace.runningApplications();
    std::vector<std::tuple<std::string, ProcessId, std::optional<std::string>>> seen;
    for (const auto& a : all) seen.emplace_back(a.bundleId, a.processId, a.localizedName);
    EXPECT_EQ(seen, (decltype(seen){{"com.google.Chrome", 5000005, "Google Chrome"},
                                    {"com.google.Chrome", 5000010, "Google Chrome"},
                                    {"com.brave.Browser", 5000020, "Brave Browser"},
                                    {"com.microsoft.edgemac", 5000030, "Microsoft Edge"},
                                    {"us.zoom.xos", 5000040, "Zoom"}}));

    const auto chromes = platform().workspace.runningApplications("com.google.Chrome");
    ASSERT_EQ(chromes.size(), 2u);
    EXPECT_EQ(chromes[0].processId, 5000005);
    EXPECT_EQ(platform().workspace.runningApplications("com.example.none").size(), 0u);

    EXPECT_EQ(titlesOf(5000010), (std::vector<std::optional<std::string>>{"first instance again", "first instance"}));
    EXPECT_EQ(titlesOf(5000050), (std::vector<std::optional<std::string>>{"shell"}));

    // The second instance quits: its application element and its window element now fail.
    auto& ax = platform().accessibility;
    const AXElementRef application = ax.createApplication(5000005);
    const AXAnswer windows = ax.copyAttribute(application, kAXWindowsAttribute);
    ASSERT_TRUE(windows.ok());
    const AXElementRef window = windows.elements()->front();
    EXPECT_EQ(ax.setAttribute(window, kAXMainAttribute, true), kAXErrorSuccess);
    client().destroy(second);
    client().sync();
    EXPECT_NE(ax.copyAttribute(application, kAXWindowsAttribute).code, kAXErrorSuccess);
    EXPECT_NE(ax.copyAttribute(window, kAXTitleAttribute).code, kAXErrorSuccess);
    EXPECT_NE(ax.setAttribute(window, kAXMainAttribute, true), kAXErrorSuccess);
    EXPECT_EQ(platform().workspace.runningApplications("com.google.Chrome").size(), 1u);

    // Nothing at all behind a process id, and questions an element cannot answer.
    EXPECT_NE(ax.copyAttribute(ax.createApplication(5009999), kAXWindowsAttribute).code, kAXErrorSuccess);
    EXPECT_EQ(ax.copyAttribute(application, kAXTitleAttribute).code, kAXErrorAttributeUnsupported);
    EXPECT_EQ(ax.copyAttribute(nullptr, kAXWindowsAttribute).code, kAXErrorFailure);
}

TEST_P(X11Desktop, MinimisedWindowsStayWithTheirApplicationButLeaveTheScreen) {
    if (!underWindowManager()) GTEST_SKIP() << "only a window manager minimises";
    const xcb_window_t window = show({.className = "Brave-browser", .netWmName = "Kixie PowerCall", .pid = 5000200});
    // ICCCM: ask the manager to iconify the window.
    const char* changeState = "WM_CHANGE_STATE";
    auto* atom = xcb_intern_atom_reply(client().raw(), xcb_intern_atom(client().raw(), 0, 15, changeState), nullptr);
    ASSERT_NE(atom, nullptr);
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = atom->atom;
    message.data.data32[0] = 3;   // IconicState
    std::free(atom);
    xcb_send_event(client().raw(), 0, client().root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    client().sync();
    ASSERT_TRUE(waitUntil([&] { return platform().windowList.onScreenWindows()->empty(); }));

    EXPECT_EQ(titlesOf(5000200), (std::vector<std::optional<std::string>>{"Kixie PowerCall"}));
    EXPECT_EQ(platform().workspace.runningApplications("com.brave.Browser").size(), 1u);
    EXPECT_FALSE(shareable(window));
    EXPECT_TRUE(shareable(window, false));
    EXPECT_FALSE(capture(window, 100, 100));
}

TEST_P(X11Desktop, ShareableWindowsCarryFramesAndOwners) {
    const xcb_window_t edge = show({.x = 100, .y = 50, .width = 400, .height = 300, .className = "Microsoft-edge",
                                    .netWmName = "Trellus", .pid = 5000300});
    const xcb_window_t other = show({.x = 600, .y = 80, .className = "ZoomIt-helper"});
    const xcb_window_t anonymous = show({.x = 20, .y = 500});
    const xcb_window_t desktop = show({.width = 1280, .height = 800, .className = "Xfdesktop", .desktopType = true});
    const xcb_window_t hidden = client().createWindow({.className = "Google-chrome", .map = false});
    client().sync();

    const auto found = shareable(edge);
    ASSERT_TRUE(found);
    const auto position = client().rootPosition(edge);
    ASSERT_TRUE(position);
    EXPECT_EQ(found->frame.x, position->first);
    EXPECT_EQ(found->frame.y, position->second);
    EXPECT_EQ(found->frame.width, 400);
    EXPECT_EQ(found->frame.height, 300);
    if (!underWindowManager()) {
        EXPECT_EQ(position, (std::pair{100, 50}));
    }
    ASSERT_TRUE(found->owningApplication);
    EXPECT_EQ(found->owningApplication->bundleId, "com.microsoft.edgemac");
    EXPECT_EQ(found->owningApplication->applicationName, "Microsoft Edge");

    // Unknown applications are named by their window class and have no bundle identifier.
    ASSERT_TRUE(shareable(other) && shareable(other)->owningApplication);
    EXPECT_EQ(shareable(other)->owningApplication->bundleId, "");
    EXPECT_EQ(shareable(other)->owningApplication->applicationName, "ZoomIt-helper");
    ASSERT_TRUE(shareable(anonymous));
    EXPECT_FALSE(shareable(anonymous)->owningApplication);

    EXPECT_FALSE(shareable(hidden));
    EXPECT_TRUE(shareable(desktop));
    const auto withoutDesktop = platform().screenCapture.shareableWindows(true, true);
    ASSERT_TRUE(withoutDesktop);
    EXPECT_TRUE(std::none_of(withoutDesktop->begin(), withoutDesktop->end(),
                             [&](const ShareableWindow& w) { return w.windowID == desktop; }));
}

TEST_P(X11Desktop, CaptureReadsTheWindowsOwnPixelsAtTheRequestedSize) {
    const xcb_window_t plain = show({.x = 10, .y = 10, .width = 200, .height = 100, .rgb = 0x123456});
    const auto doubled = capture(plain, 400, 200);
    ASSERT_TRUE(doubled);
    EXPECT_EQ(doubled->width(), 400);
    EXPECT_EQ(doubled->height(), 200);
    EXPECT_TRUE(allPixels(*doubled, 0x123456));

    const xcb_window_t pattern = show({.x = 300, .y = 10, .width = 160, .height = 120});
    client().setQuadrants(pattern, 160, 120, kQuadrants);
    const auto same = capture(pattern, 160, 120);
    ASSERT_TRUE(same);
    expectQuadrants(*same, 0);
    const auto twice = capture(pattern, 320, 240);
    ASSERT_TRUE(twice);
    ASSERT_EQ(twice->rgba().size(), 320u * 240 * 4);
    expectQuadrants(*twice, 2);
}

// A region of a capture, taken alone, is the one cut from the whole capture: at twice the window's
// size (where only the pixels around it are read) and at other sizes; at odd places and sizes,
// across the quadrants' edges, and at the window's edges.
TEST_P(X11Desktop, ARegionTakenAloneIsTheOneCutFromTheWholeCapture) {
    const xcb_window_t window = show({.x = 20, .y = 20, .width = 301, .height = 203});
    client().setQuadrants(window, 301, 203, kQuadrants);
    for (const auto& [width, height] : {std::pair{602, 406}, std::pair{301, 203}, std::pair{451, 305}}) {
        const auto whole = capture(window, width, height);
        ASSERT_TRUE(whole);
        for (const PixelRect& rect : {PixelRect{0, 0, 300, 200}, PixelRect{1, 1, width - 1, height - 1},
                                      PixelRect{width / 2 - 3, height / 2 - 3, 7, 5}, PixelRect{width - 7, height - 7, 7, 7},
                                      PixelRect{7, 0, 1, height}, PixelRect{0, 0, width, height},
                                      PixelRect{width - 400, -10, 400, 211}}) {
            SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + " at " + std::to_string(rect.x) + "," +
                         std::to_string(rect.y) + " " + std::to_string(rect.width) + "x" + std::to_string(rect.height));
            const auto region = platform().screenCapture.captureWindowRegion(
                ShareableWindow{window, {}, {}}, width, height, [&](int, int) { return rect; });
            ASSERT_TRUE(region && region->pixels);
            EXPECT_EQ(std::pair(region->width, region->height), std::pair(width, height));
            EXPECT_EQ(region->region, clippedRect(rect, width, height));
            EXPECT_TRUE(region->pixels->rgba() == whole->cropped(rect)->rgba());
        }
    }
}

// Drawing where a region is read makes it changed, even with the same pixels; drawing elsewhere
// in the window does not. A whole window is unchanged only when a capture took all of it.
TEST_P(X11Desktop, ARegionIsChangedOnlyByDrawingWhereItIsRead) {
    const xcb_window_t window = show({.x = 20, .y = 20, .width = 301, .height = 203});
    client().setQuadrants(window, 301, 203, kQuadrants);
    auto& screen = platform().screenCapture;
    const ShareableWindow shareable{window, {}, {}};
    const PixelRect corner{0, 0, 300, 200};   // the window's 150 x 100 at the top left
    ASSERT_TRUE(screen.captureWindowRegion(shareable, 602, 406, [&](int, int) { return corner; }));
    EXPECT_TRUE(screen.regionUnchangedSinceLastCapture(shareable, 602, 406, corner));
    EXPECT_FALSE(screen.regionUnchangedSinceLastCapture(shareable, 602, 406, {0, 0, 302, 200}));
    EXPECT_FALSE(screen.unchangedSinceLastCapture(shareable, 602, 406));
    EXPECT_FALSE(screen.regionUnchangedSinceLastCapture(shareable, 301, 203, {0, 0, 150, 100}));

    client().redraw(window, 200, 120, 101, 83);
    EXPECT_TRUE(screen.regionUnchangedSinceLastCapture(shareable, 602, 406, corner));
    client().redraw(window, 149, 99, 1, 1);   // the last window pixel under the corner
    EXPECT_FALSE(screen.regionUnchangedSinceLastCapture(shareable, 602, 406, corner));
    EXPECT_FALSE(screen.regionUnchangedSinceLastCapture(shareable, 602, 406, corner)) << "forgot the drawing";
    ASSERT_TRUE(screen.captureWindowRegion(shareable, 602, 406, [&](int, int) { return corner; }));
    EXPECT_TRUE(screen.regionUnchangedSinceLastCapture(shareable, 602, 406, corner));

    ASSERT_TRUE(capture(window, 602, 406));
    client().redraw(window, 200, 120, 101, 83);
    EXPECT_TRUE(screen.regionUnchangedSinceLastCapture(shareable, 602, 406, corner));
    EXPECT_FALSE(screen.unchangedSinceLastCapture(shareable, 602, 406));
}

TEST_P(X11Desktop, CaptureIgnoresWhatCoversTheWindowOrLiesOffScreen) {
    const xcb_window_t covered = show({.x = 50, .y = 50, .width = 200, .height = 150});
    client().setQuadrants(covered, 200, 150, kQuadrants);
    show({.x = 0, .y = 0, .width = 600, .height = 500, .rgb = 0xFFFFFF});
    const auto image = capture(covered, 400, 300);
    ASSERT_TRUE(image);
    expectQuadrants(*image, 2);

    const xcb_window_t overEdge = show({.x = 1180, .y = 700, .width = 200, .height = 150});
    client().setQuadrants(overEdge, 200, 150, kQuadrants);
    const auto cut = capture(overEdge, 200, 150);
    ASSERT_TRUE(cut);
    expectQuadrants(*cut, 0);
}

// Real applications draw their windows themselves, a moment after the server asks them to. A
// window covered before its first capture holds the cover's pixels until it has been redrawn.
TEST_P(X11Desktop, CaptureWaitsForACoveredWindowToBeRedrawn) {
    PaintedWindow painted(server_->display(), {.x = 50, .y = 50, .width = 200, .height = 150}, kQuadrants,
                          std::chrono::milliseconds(40));
    ASSERT_TRUE(client().waitShown(painted.id(), underWindowManager()));
    ASSERT_TRUE(waitUntil([&] { return painted.paints() > 0; }));
    show({.x = 0, .y = 0, .width = 600, .height = 500, .rgb = 0xFFFFFF});
    const auto image = capture(painted.id(), 400, 300);
    ASSERT_TRUE(image);
    expectQuadrants(*image, 2);
}

TEST_P(X11Desktop, CaptureFailsForWindowsThatAreNotThere) {
    const xcb_window_t window = show({.width = 100, .height = 80, .rgb = 0x00FF00});
    EXPECT_FALSE(capture(window, 0, 160));
    EXPECT_FALSE(capture(window, 200, -1));
    EXPECT_FALSE(capture(0x7FFFFFF, 200, 160));
    client().unmap(window);
    client().sync();
    EXPECT_FALSE(capture(window, 200, 160));
    client().map(window);
    ASSERT_TRUE(client().waitShown(window, underWindowManager()));
    EXPECT_TRUE(capture(window, 200, 160));
    client().destroy(window);
    client().sync();
    EXPECT_FALSE(capture(window, 200, 160));
}

// Windows come and go while they are being captured: every answer is either nothing or the
// window's true pixels, and nothing reaches standard error.
TEST_P(X11Desktop, WindowsThatVanishMidCaptureGiveNothingElse) {
    std::atomic<xcb_window_t> current{XCB_WINDOW_NONE};
    std::atomic<bool> done{false};
    std::thread churn([&] {
        TestClient other(server_->display());
        for (int i = 0; i < 150; ++i) {
            const xcb_window_t window = other.createWindow({.x = 40, .y = 40, .width = 300, .height = 200,
                                                            .rgb = 0x3366CC, .className = "Google-chrome"});
            other.sync();
            current = window;
            std::this_thread::sleep_for(std::chrono::microseconds(300 * (i % 7)));
            if (i % 2) other.unmap(window);
            std::this_thread::sleep_for(std::chrono::microseconds(200 * (i % 5)));
            other.destroy(window);
            other.sync();
        }
        done = true;
    });

    testing::internal::CaptureStderr();
    int images = 0;
    int failures = 0;
    while (!done) {
        if (const auto image = capture(current, 600, 400)) {
            ++images;
            EXPECT_TRUE(allPixels(*image, 0x3366CC));
        } else {
            ++failures;
        }
        platform().windowList.onScreenWindows();
    }
    churn.join();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_GT(failures, 0);
    RecordProperty("images", images);
    RecordProperty("failures", failures);
}

TEST_P(X11Desktop, ALostDisplayGivesFailuresNotACrash) {
    const xcb_window_t window =
        show({.className = "Google-chrome", .netWmName = "Kixie PowerCall", .pid = 5000400});
    auto& ax = platform().accessibility;
    const AXElementRef application = ax.createApplication(5000400);
    const AXAnswer windows = ax.copyAttribute(application, kAXWindowsAttribute);
    ASSERT_TRUE(windows.ok());
    ASSERT_TRUE(capture(window, 200, 200));

    testing::internal::CaptureStderr();
    windowManager_.reset();
    server_->kill();
    EXPECT_FALSE(capture(window, 200, 200));
    EXPECT_FALSE(platform().windowList.onScreenWindows());
    EXPECT_FALSE(platform().screenCapture.shareableWindows(false, true));
    EXPECT_TRUE(platform().workspace.runningApplications().empty());
    EXPECT_NE(ax.copyAttribute(application, kAXWindowsAttribute).code, kAXErrorSuccess);
    EXPECT_NE(ax.copyAttribute(windows.elements()->front(), kAXTitleAttribute).code, kAXErrorSuccess);
    EXPECT_NE(ax.setAttribute(windows.elements()->front(), kAXMainAttribute, true), kAXErrorSuccess);
    EXPECT_FALSE(ax.isProcessTrusted());
    EXPECT_EQ(platform().accessProblem,
              programName() + ": lost the connection to the X display \"" + server_->display() + "\"\n");
    platform().screenCapture.requestAccess();   // tries the display again, which is still gone
    EXPECT_FALSE(platform().screenCapture.preflightAccess());
    EXPECT_FALSE(ax.isProcessTrusted());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(console_.standardError(),
              programName() + ": lost the connection to the X display \"" + server_->display() + "\"\n");
}

// ---------------------------------------------------------------------------------------------

TEST(X11DesktopWithoutDisplay, NamesTheDisplayThatCannotBeOpened) {
    std::signal(SIGPIPE, SIG_DFL);
    testing::internal::CaptureStderr();
    RecordingConsole console;
    const std::string malformed = ": not a valid display name (expected [host]:display[.screen])";
    for (const auto& [name, reason] : std::vector<std::pair<std::string, std::string>>{
             {":64999", ""}, {"no-such-display", malformed}, {"garbage::::", malformed}}) {
        const auto desktop = LinuxDesktop::open(console, linewarden::knownApplications(), name);
        Platform& platform = desktop->platform();
        const std::string line = programName() + ": cannot open the X display \"" + name + "\"" + reason + "\n";
        EXPECT_EQ(platform.accessProblem, line);
        EXPECT_FALSE(platform.accessibility.isProcessTrusted());
        EXPECT_EQ(platform.accessProblem, line);
        EXPECT_FALSE(platform.screenCapture.preflightAccess());
        EXPECT_EQ(platform.accessProblem, line);
        EXPECT_FALSE(platform.windowList.onScreenWindows());
        EXPECT_FALSE(platform.screenCapture.shareableWindows(false, true));
        EXPECT_FALSE(platform.screenCapture.captureWindow({}, 10, 10));
        EXPECT_TRUE(platform.workspace.runningApplications().empty());
        EXPECT_NE(platform.accessibility
                      .copyAttribute(platform.accessibility.createApplication(1), kAXWindowsAttribute)
                      .code,
                  kAXErrorSuccess);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(console.standardError(), "");
}

// The programs use the display every X client uses; a DISPLAY that is set but malformed is named
// as such, and only a missing or empty one is "no display".
TEST(X11DesktopWithoutDisplay, NamesAMalformedOrMissingDefaultDisplay) {
    const char* saved = std::getenv("DISPLAY");
    const std::optional<std::string> previous = saved ? std::optional<std::string>(saved) : std::nullopt;
    const auto problemWith = [](const char* display) {
        if (display) {
            ::setenv("DISPLAY", display, 1);
        } else {
            ::unsetenv("DISPLAY");
        }
        RecordingConsole console;
        return LinuxDesktop::open(console, linewarden::knownApplications())->platform().accessProblem;
    };
    const std::string prefix = programName() + ": cannot open the X display";
    EXPECT_EQ(problemWith("garbage::::"),
              prefix + " \"garbage::::\": not a valid display name (expected [host]:display[.screen])\n");
    EXPECT_EQ(problemWith(""), prefix + ": no display is set\n");
    EXPECT_EQ(problemWith(nullptr), prefix + ": no display is set\n");
    if (previous) {
        ::setenv("DISPLAY", previous->c_str(), 1);
    } else {
        ::unsetenv("DISPLAY");
    }
}

// A server that demands a cookie the test does not have refuses the connection; libxcb writes the
// server's reason to standard error itself, and the backend makes it part of its own line instead.
TEST(X11DesktopWithoutDisplay, TellsWhyTheServerRefusedTheConnection) {
    const std::filesystem::path authority =
        std::filesystem::temp_directory_path() / ("x11-desktop-test-auth-" + std::to_string(getpid()));
    {
        // One Xauthority entry: any address, display 0, an MIT-MAGIC-COOKIE-1 of 16 bytes.
        std::ofstream file(authority, std::ios::binary);
        const auto field = [&](const std::string& bytes) {
            file.put(static_cast<char>(bytes.size() >> 8)).put(static_cast<char>(bytes.size() & 0xFF)) << bytes;
        };
        file.put('\xFF').put('\xFF');
        field("");
        field("0");
        field("MIT-MAGIC-COOKIE-1");
        field("0123456789abcdef");
    }
    struct Remove {
        std::filesystem::path path;
        ~Remove() { std::filesystem::remove(path); }   // the server reads the file after it listens
    } removeAuthority{authority};
    const auto server = XvfbServer::start("640x480x24", {"-auth", authority.string()});
    if (!server) GTEST_SKIP() << "Xvfb cannot be started here";

    testing::internal::CaptureStderr();
    RecordingConsole console;
    const auto desktop = LinuxDesktop::open(console, linewarden::knownApplications(), server->display());
    const std::string stderrText = testing::internal::GetCapturedStderr();
    if (desktop->platform().accessibility.isProcessTrusted()) GTEST_SKIP() << "the server let this process in";
    EXPECT_EQ(stderrText, "");
    const std::string expected = programName() + ": cannot open the X display \"" + server->display() + "\": ";
    EXPECT_EQ(desktop->platform().accessProblem.substr(0, expected.size()), expected);
    EXPECT_NE(desktop->platform().accessProblem.find("uthoriz"), std::string::npos);
    EXPECT_TRUE(desktop->platform().accessProblem.ends_with("\n"));
}

TEST(X11DesktopWithoutDisplay, ClockMeasuresAndSleeps) {
    RecordingConsole console;
    const auto desktop = LinuxDesktop::open(console, linewarden::knownApplications(), ":64999");
    Clock& clock = desktop->platform().clock;
    const double start = clock.now();
    EXPECT_TRUE(clock.sleepFor(std::chrono::milliseconds(30)));
    const double elapsed = clock.now() - start;
    EXPECT_GE(elapsed, 0.03);
    EXPECT_LT(elapsed, 1.0);
    EXPECT_FALSE(clock.windingDown());
}

}  // namespace
