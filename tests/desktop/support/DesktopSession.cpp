#include "support/DesktopSession.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <sstream>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace desktop_test {

namespace {

using namespace std::chrono_literals;

// The environment of the current process with DISPLAY replaced.
std::vector<std::string> environmentWithDisplay(const std::string& display) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        if (std::strncmp(*entry, "DISPLAY=", 8) != 0) environment.emplace_back(*entry);
    }
    environment.push_back("DISPLAY=" + display);
    return environment;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (std::string& s : strings) result.push_back(s.data());
    result.push_back(nullptr);
    return result;
}

}  // namespace

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return condition();
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

bool programAvailable(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string directories = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= directories.size()) {
        const std::size_t end = std::min(directories.find(':', start), directories.size());
        const std::string candidate = directories.substr(start, end - start) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------

std::unique_ptr<ChildProcess> ChildProcess::start(const std::vector<std::string>& argv, const std::string& display,
                                                  const std::string& logFile) {
    std::vector<std::string> arguments = argv;
    std::vector<std::string> environment = environmentWithDisplay(display);
    auto argumentPointers = pointers(arguments);
    auto environmentPointers = pointers(environment);
    const pid_t pid = fork();
    if (pid < 0) return nullptr;
    if (pid == 0) {
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);   // no orphans when a test dies half-way
        signal(SIGPIPE, SIG_DFL);
        const int log = open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        const int nothing = open("/dev/null", O_RDONLY);
        if (nothing >= 0) dup2(nothing, STDIN_FILENO);
        if (log >= 0) {
            dup2(log, STDOUT_FILENO);
            dup2(log, STDERR_FILENO);
        }
        execvpe(argumentPointers[0], argumentPointers.data(), environmentPointers.data());
        _exit(127);
    }
    setpgid(pid, pid);   // also from here, so that the group exists before anyone signals it
    return std::unique_ptr<ChildProcess>(new ChildProcess(pid));
}

ChildProcess::~ChildProcess() { stop(); }

bool ChildProcess::running() {
    if (reaped_) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) reaped_ = true;
    return !reaped_;
}

void ChildProcess::reap(std::chrono::milliseconds timeout) {
    waitUntil([&] { return !running(); }, timeout);
}

void ChildProcess::stop(std::chrono::milliseconds grace) {
    if (pid_ <= 0) return;
    if (running()) {
        ::kill(-pid_, SIGTERM);
        reap(grace);
    }
    ::kill(-pid_, SIGKILL);   // whatever of the group is left, helpers included
    if (!reaped_) reap(5000ms);
}

void ChildProcess::kill() {
    if (pid_ <= 0) return;
    ::kill(-pid_, SIGKILL);
    reap(5000ms);
}

// ---------------------------------------------------------------------------------------------

std::unique_ptr<XvfbServer> XvfbServer::start(const std::string& screen, const std::vector<std::string>& options) {
    if (!programAvailable("Xvfb")) return nullptr;
    std::vector<std::string> arguments{"Xvfb", "-displayfd", "3", "-screen", "0", screen, "-nolisten", "tcp", "-noreset"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    auto argumentPointers = pointers(arguments);
    int channel[2];
    if (pipe(channel) != 0) return nullptr;
    // The write end must survive exec at a known number; 3 is free in the child after the
    // standard streams are set up.
    const pid_t pid = fork();
    if (pid < 0) return nullptr;
    if (pid == 0) {
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int nothing = open("/dev/null", O_RDWR);
        dup2(nothing, STDIN_FILENO);
        dup2(nothing, STDOUT_FILENO);
        dup2(nothing, STDERR_FILENO);
        dup2(channel[1], 3);
        for (int fd = 4; fd < 256; ++fd) close(fd);
        execvp(argumentPointers[0], argumentPointers.data());
        _exit(127);
    }
    setpgid(pid, pid);
    close(channel[1]);
    auto process = ChildProcess::adopt(pid);

    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd readable{channel[0], POLLIN, 0};
        if (poll(&readable, 1, 100) <= 0) continue;
        std::array<char, 32> buffer{};
        const ssize_t count = read(channel[0], buffer.data(), buffer.size());
        if (count <= 0) break;
        number.append(buffer.data(), count);
        if (number.find('\n') != std::string::npos) break;
    }
    close(channel[0]);
    while (!number.empty() && (number.back() == '\n' || number.back() == ' ')) number.pop_back();
    if (number.empty()) return nullptr;
    return std::unique_ptr<XvfbServer>(new XvfbServer(std::move(process), ":" + number));
}

void XvfbServer::freeze() { ::kill(process_->pid(), SIGSTOP); }
void XvfbServer::thaw() { ::kill(process_->pid(), SIGCONT); }

std::unique_ptr<ChildProcess> startOpenbox(const std::string& display) {
    if (!programAvailable("openbox")) return nullptr;
    auto process = ChildProcess::start({"openbox", "--sm-disable"}, display);
    if (!process) return nullptr;
    TestClient client(display);
    const xcb_atom_t check = [&] {
        const char* name = "_NET_SUPPORTING_WM_CHECK";
        auto* reply = xcb_intern_atom_reply(client.raw(), xcb_intern_atom(client.raw(), 0, std::strlen(name), name), nullptr);
        const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(reply);
        return atom;
    }();
    const bool up = waitUntil([&] {
        auto* reply = xcb_get_property_reply(
            client.raw(), xcb_get_property(client.raw(), 0, client.root(), check, XCB_ATOM_WINDOW, 0, 1), nullptr);
        const bool present = reply && xcb_get_property_value_length(reply) == 4;
        std::free(reply);
        return present;
    });
    if (!up) return nullptr;

    // openbox announces itself before its event loop runs and drops map requests it receives
    // meanwhile; it is ready once it has taken on a window.
    const xcb_window_t probe = client.createWindow({.width = 10, .height = 10, .map = false});
    const bool ready = waitUntil([&] {
        client.map(probe);
        const bool managed = waitUntil([&] { return client.managed(probe); }, 200ms);
        if (!managed) client.unmap(probe);
        return managed;
    });
    client.destroy(probe);
    // Window ids come back to the next connection: let openbox forget the probe first, or it may
    // take a new window of the same id for the probe.
    const xcb_atom_t clientList = [&] {
        const char* name = "_NET_CLIENT_LIST";
        auto* reply = xcb_intern_atom_reply(client.raw(), xcb_intern_atom(client.raw(), 0, std::strlen(name), name), nullptr);
        const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(reply);
        return atom;
    }();
    const bool forgotten = waitUntil([&] {
        auto* reply = xcb_get_property_reply(
            client.raw(), xcb_get_property(client.raw(), 0, client.root(), clientList, XCB_ATOM_WINDOW, 0, 1024), nullptr);
        if (!reply) return false;
        const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(reply));
        const bool listed = std::find(ids, ids + xcb_get_property_value_length(reply) / 4, probe) !=
                            ids + xcb_get_property_value_length(reply) / 4;
        std::free(reply);
        return !listed;
    });
    if (!ready || !forgotten) return nullptr;
    return process;
}

// ---------------------------------------------------------------------------------------------

std::vector<std::string> chromiumOptions(const std::string& profile, const std::string& url, int width, int height) {
    std::vector<std::string> line{
        "--user-data-dir=" + profile,
        // Nothing but the test's own pages: no first-run pages, updates, sync or pings.
        "--no-first-run", "--no-default-browser-check", "--disable-background-networking", "--disable-component-update",
        "--disable-sync", "--disable-quic", "--disable-domain-reliability",
        "--disable-features=Translate,MediaRouter,OptimizationHints,AutofillServerCommunication,"
        "CertificateTransparencyComponentUpdater,InterestFeedContentSuggestions",
        "--password-store=basic",
        // No name lookups either (it still asks for accounts.google.com and clients2.google.com).
        "--host-resolver-rules=MAP * ~NOTFOUND , EXCLUDE 127.0.0.1", "--no-sandbox", "--test-type", "--disable-gpu",
        // Covered or unfocused windows keep painting; pages show no scroll bars.
        "--disable-backgrounding-occluded-windows", "--disable-renderer-backgrounding", "--hide-scrollbars",
        "--app=" + url};
    // Only the first window takes these; later ones take the bounds of the last window.
    if (width > 0 && height > 0) {
        line.push_back("--window-size=" + std::to_string(width) + "," + std::to_string(height));
        line.push_back("--window-position=0,0");
    }
    return line;
}

std::vector<std::string> Chromium::commandLine(const std::string& windowClass, const std::string& profile,
                                               const std::string& url, int width, int height) {
    std::vector<std::string> line{"chromium"};
    if (!windowClass.empty()) line.push_back("--class=" + windowClass);
    const auto options = chromiumOptions(profile, url, width, height);
    line.insert(line.end(), options.begin(), options.end());
    return line;
}

// The crash handler that chromium starts leads a session of its own, out of reach of the
// browser's process group; it names the profile on its command line.
void endStragglers(const std::string& profile) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        // A process that ends while it is read fails the read (ESRCH), which the stream's buffer
        // throws: it needs no ending then.
        std::string commandLine;
        try {
            std::ifstream file(entry.path() / "cmdline", std::ios::binary);
            commandLine.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        } catch (const std::ios_base::failure&) {
            continue;
        }
        if (commandLine.find(profile) != std::string::npos) ::kill(std::stoi(name), SIGKILL);
    }
}

std::string Chromium::log() const {
    std::ifstream file(profile_ + ".log");
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::unique_ptr<Chromium> Chromium::start(const std::string& display, const std::string& windowClass,
                                          const std::string& url, int width, int height) {
    if (!programAvailable("chromium")) return nullptr;
    std::string profile = (std::filesystem::temp_directory_path() / "desktop-test-chromium-XXXXXX").string();
    if (!::mkdtemp(profile.data())) return nullptr;
    auto process = ChildProcess::start(commandLine(windowClass, profile, url, width, height), display, profile + ".log");
    if (!process) {
        std::filesystem::remove_all(profile);
        return nullptr;
    }
    return std::unique_ptr<Chromium>(new Chromium(display, windowClass, std::move(profile), std::move(process)));
}

Chromium::~Chromium() {
    process_->stop();
    endStragglers(profile_);
    std::error_code ignored;
    std::filesystem::remove_all(profile_, ignored);
    std::filesystem::remove(profile_ + ".log", ignored);
}

bool Chromium::openWindow(const std::string& url) {
    auto launch = ChildProcess::start(commandLine(windowClass_, profile_, url, 0, 0), display_);
    if (!launch) return false;
    return waitUntil([&] { return !launch->running(); }, std::chrono::seconds(15));
}

// ---------------------------------------------------------------------------------------------

TestClient::TestClient(const std::string& display) {
    int screenNumber = 0;
    connection_ = xcb_connect(display.c_str(), &screenNumber);
    if (xcb_connection_has_error(connection_) != 0) return;
    auto roots = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; i < screenNumber && roots.rem > 0; ++i) xcb_screen_next(&roots);
    root_ = roots.data->root;
    visual_ = roots.data->root_visual;
}

TestClient::~TestClient() { xcb_disconnect(connection_); }

bool TestClient::ok() const { return xcb_connection_has_error(connection_) == 0; }

void TestClient::check(xcb_void_cookie_t cookie, const char* what) {
    xcb_generic_error_t* error = xcb_request_check(connection_, cookie);
    if (error) {
        const int code = error->error_code;
        std::free(error);
        throw std::runtime_error(std::string("X request failed: ") + what + " (error " + std::to_string(code) + ")");
    }
}

xcb_atom_t TestClient::atom(const std::string& name) {
    auto* reply = xcb_intern_atom_reply(connection_, xcb_intern_atom(connection_, 0, name.size(), name.data()), nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return result;
}

void TestClient::setProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type, int format,
                             std::uint32_t count, const void* data) {
    check(xcb_change_property_checked(connection_, XCB_PROP_MODE_REPLACE, window, property, type, format, count, data),
          "ChangeProperty");
}

xcb_window_t TestClient::createWindow(const WindowShape& shape) {
    const xcb_window_t window = xcb_generate_id(connection_);
    // Values in the order of their mask bits.
    const std::uint32_t values[] = {shape.paintedByClient ? std::uint32_t{XCB_BACK_PIXMAP_NONE} : shape.rgb,
                                    shape.overrideRedirect ? 1u : 0u,
                                    shape.paintedByClient ? std::uint32_t{XCB_EVENT_MASK_EXPOSURE} : 0u};
    const std::uint32_t mask = (shape.paintedByClient ? XCB_CW_BACK_PIXMAP : XCB_CW_BACK_PIXEL) |
                               XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK;
    check(xcb_create_window_checked(connection_, XCB_COPY_FROM_PARENT, window, root_, shape.x, shape.y, shape.width,
                                    shape.height, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, visual_, mask, values),
          "CreateWindow");
    if (shape.instanceName || shape.className) {
        std::string value = shape.instanceName.value_or("");
        value += '\0';
        value += shape.className.value_or("");
        value += '\0';
        setProperty(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, value.size(), value.data());
    }
    if (shape.netWmName) setNetWmName(window, *shape.netWmName);
    if (shape.wmName) {
        setProperty(window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, shape.wmName->size(), shape.wmName->data());
    }
    if (shape.pid) setProperty(window, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &*shape.pid);
    if (shape.desktopType) {
        const xcb_atom_t type = atom("_NET_WM_WINDOW_TYPE_DESKTOP");
        setProperty(window, atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 1, &type);
    }
    // Position and size chosen by the "user", which window managers keep.
    std::uint32_t hints[18] = {1u | 2u, static_cast<std::uint32_t>(shape.x), static_cast<std::uint32_t>(shape.y),
                               static_cast<std::uint32_t>(shape.width), static_cast<std::uint32_t>(shape.height)};
    setProperty(window, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
    if (shape.map) map(window);
    return window;
}

void TestClient::setQuadrants(xcb_window_t window, int width, int height, const std::uint32_t (&rgb)[4]) {
    const xcb_pixmap_t pixmap = xcb_generate_id(connection_);
    const auto* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    check(xcb_create_pixmap_checked(connection_, screen->root_depth, pixmap, window, width, height), "CreatePixmap");
    const xcb_gcontext_t gc = xcb_generate_id(connection_);
    check(xcb_create_gc_checked(connection_, gc, pixmap, 0, nullptr), "CreateGC");
    const int halfWidth = width / 2;
    const int halfHeight = height / 2;
    const xcb_rectangle_t parts[4] = {
        {0, 0, static_cast<std::uint16_t>(halfWidth), static_cast<std::uint16_t>(halfHeight)},
        {static_cast<std::int16_t>(halfWidth), 0, static_cast<std::uint16_t>(width - halfWidth),
         static_cast<std::uint16_t>(halfHeight)},
        {0, static_cast<std::int16_t>(halfHeight), static_cast<std::uint16_t>(halfWidth),
         static_cast<std::uint16_t>(height - halfHeight)},
        {static_cast<std::int16_t>(halfWidth), static_cast<std::int16_t>(halfHeight),
         static_cast<std::uint16_t>(width - halfWidth), static_cast<std::uint16_t>(height - halfHeight)},
    };
    for (int i = 0; i < 4; ++i) {
        check(xcb_change_gc_checked(connection_, gc, XCB_GC_FOREGROUND, &rgb[i]), "ChangeGC");
        check(xcb_poly_fill_rectangle_checked(connection_, pixmap, gc, 1, &parts[i]), "PolyFillRectangle");
    }
    check(xcb_change_window_attributes_checked(connection_, window, XCB_CW_BACK_PIXMAP, &pixmap),
          "ChangeWindowAttributes");
    check(xcb_clear_area_checked(connection_, 0, window, 0, 0, 0, 0), "ClearArea");
    xcb_free_gc(connection_, gc);
    xcb_free_pixmap(connection_, pixmap);
    sync();
}

void TestClient::map(xcb_window_t window) { check(xcb_map_window_checked(connection_, window), "MapWindow"); }
void TestClient::unmap(xcb_window_t window) { check(xcb_unmap_window_checked(connection_, window), "UnmapWindow"); }
void TestClient::destroy(xcb_window_t window) {
    check(xcb_destroy_window_checked(connection_, window), "DestroyWindow");
}

void TestClient::raise(xcb_window_t window) {
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    check(xcb_configure_window_checked(connection_, window, XCB_CONFIG_WINDOW_STACK_MODE, &above), "ConfigureWindow");
}

void TestClient::setNetWmName(xcb_window_t window, const std::string& title) {
    setProperty(window, atom("_NET_WM_NAME"), atom("UTF8_STRING"), 8, title.size(), title.data());
}

namespace {
void sendToRoot(xcb_connection_t* c, xcb_window_t root, xcb_window_t window, xcb_atom_t type,
                std::initializer_list<std::uint32_t> data) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = type;
    std::size_t i = 0;
    for (std::uint32_t item : data) message.data.data32[i++] = item;
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
}
}  // namespace

void TestClient::iconify(xcb_window_t window) {
    constexpr std::uint32_t kIconicState = 3;
    sendToRoot(connection_, root_, window, atom("WM_CHANGE_STATE"), {kIconicState});
    sync();
}

void TestClient::activate(xcb_window_t window) {
    constexpr std::uint32_t kFromPager = 2;
    sendToRoot(connection_, root_, window, atom("_NET_ACTIVE_WINDOW"), {kFromPager, XCB_CURRENT_TIME, 0});
    sync();
}

void TestClient::sync() { std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr)); }

std::optional<std::pair<int, int>> TestClient::rootPosition(xcb_window_t window) {
    auto* reply = xcb_translate_coordinates_reply(connection_, xcb_translate_coordinates(connection_, window, root_, 0, 0),
                                                  nullptr);
    if (!reply) return std::nullopt;
    const std::pair<int, int> position{reply->dst_x, reply->dst_y};
    std::free(reply);
    return position;
}

bool TestClient::managed(xcb_window_t window) {
    const xcb_atom_t state = atom("WM_STATE");
    auto* reply = xcb_get_property_reply(connection_, xcb_get_property(connection_, 0, window, state, state, 0, 2),
                                         nullptr);
    const bool present = reply && xcb_get_property_value_length(reply) > 0;
    std::free(reply);
    return present;
}

bool TestClient::waitShown(xcb_window_t window, bool underWindowManager) {
    return waitUntil([&] {
        auto* attributes =
            xcb_get_window_attributes_reply(connection_, xcb_get_window_attributes(connection_, window), nullptr);
        const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(attributes);
        return viewable && (!underWindowManager || managed(window));
    });
}

// ---------------------------------------------------------------------------------------------

PaintedWindow::PaintedWindow(const std::string& display, WindowShape shape, const std::uint32_t (&rgb)[4],
                             std::chrono::milliseconds delay)
    : client_(display), shape_(std::move(shape)), rgb_{rgb[0], rgb[1], rgb[2], rgb[3]}, delay_(delay) {
    shape_.paintedByClient = true;
    window_ = client_.createWindow(shape_);
    client_.sync();
    thread_ = std::thread([this] { run(); });
}

PaintedWindow::~PaintedWindow() {
    stop_ = true;
    thread_.join();
}

void PaintedWindow::paint() {
    xcb_connection_t* c = client_.raw();
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, window_, 0, nullptr);
    const int halfWidth = shape_.width / 2;
    const int halfHeight = shape_.height / 2;
    const xcb_rectangle_t parts[4] = {
        {0, 0, static_cast<std::uint16_t>(halfWidth), static_cast<std::uint16_t>(halfHeight)},
        {static_cast<std::int16_t>(halfWidth), 0, static_cast<std::uint16_t>(shape_.width - halfWidth),
         static_cast<std::uint16_t>(halfHeight)},
        {0, static_cast<std::int16_t>(halfHeight), static_cast<std::uint16_t>(halfWidth),
         static_cast<std::uint16_t>(shape_.height - halfHeight)},
        {static_cast<std::int16_t>(halfWidth), static_cast<std::int16_t>(halfHeight),
         static_cast<std::uint16_t>(shape_.width - halfWidth), static_cast<std::uint16_t>(shape_.height - halfHeight)},
    };
    for (int i = 0; i < 4; ++i) {
        xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &rgb_[i]);
        xcb_poly_fill_rectangle(c, window_, gc, 1, &parts[i]);
    }
    xcb_free_gc(c, gc);
    client_.sync();
    ++paints_;
}

void PaintedWindow::run() {
    xcb_connection_t* c = client_.raw();
    while (!stop_) {
        bool exposed = false;
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            if ((event->response_type & 0x7F) == XCB_EXPOSE) exposed = true;
            std::free(event);
        }
        if (exposed) {
            std::this_thread::sleep_for(delay_);
            paint();
            continue;
        }
        pollfd readable{xcb_get_file_descriptor(c), POLLIN, 0};
        poll(&readable, 1, 10);
    }
}

}  // namespace desktop_test
