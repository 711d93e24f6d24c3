#include "e2e/EndToEnd.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "linewarden/app/Applications.h"
#include "platform/LinuxDesktop.h"

namespace e2e {

namespace {

constexpr std::string_view kScanEnd = "DEBUG: scanElements execution time: ";
constexpr auto kIdleClient = 5s;  // chromium opens spare connections that may never ask anything

bool sendAll(int fd, const std::string& data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd writable{fd, POLLOUT, 0};
            if (::poll(&writable, 1, 1000) <= 0) return false;
        } else {
            return false;
        }
    }
    return true;
}

std::string contentType(const std::string& name) {
    if (name.ends_with(".html")) return "text/html; charset=utf-8";
    if (name.ends_with(".js")) return "text/javascript; charset=utf-8";
    return "application/octet-stream";
}

std::string response(int status, const std::string& type, const std::string& body) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + (status == 200 ? " OK" : " Not Found") + "\r\n";
    head += "Content-Type: " + type + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
    head += "Cache-Control: no-store\r\nConnection: close\r\n\r\n";
    return head + body;
}

// A page name as the test's pages are named: no directories, nothing hidden.
bool plainName(const std::string& name) {
    if (name.empty() || name.front() == '.') return false;
    return name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-") ==
           std::string::npos;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

std::unique_ptr<PageServer> PageServer::start(std::string pageDirectory) {
    test_support::UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!listener) return nullptr;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;  // a free port, chosen by the kernel
    socklen_t length = sizeof address;
    if (::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener.get(), 16) != 0 ||
        ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return nullptr;
    }
    return std::unique_ptr<PageServer>(
        new PageServer(std::move(listener), ntohs(address.sin_port), std::move(pageDirectory)));
}

PageServer::PageServer(test_support::UniqueFd listener, int port, std::string pageDirectory)
    : listener_(std::move(listener)), port_(port), pageDirectory_(std::move(pageDirectory)) {
    thread_ = std::thread([this] { serve(); });
}

PageServer::~PageServer() {
    stopping_ = true;
    thread_.join();
}

std::string PageServer::url(const std::string& page) const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + page;
}

int PageServer::setState(nlohmann::json state) {
    const std::lock_guard lock(mutex_);
    state["version"] = ++version_;
    state_ = state.dump();
    return version_;
}

bool PageServer::waitShown(int version, std::chrono::milliseconds timeout) {
    return desktop_test::waitUntil(
        [&] {
            const std::lock_guard lock(mutex_);
            return shown_ >= version;
        },
        timeout);
}

void PageServer::serve() {
    struct Client {
        test_support::UniqueFd fd;
        std::string request;
        std::chrono::steady_clock::time_point since;
    };
    std::vector<Client> clients;
    while (!stopping_) {
        std::vector<pollfd> fds{{listener_.get(), POLLIN, 0}};
        for (const Client& client : clients) fds.push_back({client.fd.get(), POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 100) < 0 && errno != EINTR) break;

        if (fds[0].revents & POLLIN) {
            for (int fd; (fd = ::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)) >= 0;) {
                clients.push_back({test_support::UniqueFd(fd), {}, std::chrono::steady_clock::now()});
            }
        }
        for (std::size_t i = 0; i < clients.size() && i + 1 < fds.size(); ++i) {
            if (fds[i + 1].revents == 0) continue;
            Client& client = clients[i];
            char chunk[4096];
            const ssize_t n = ::recv(client.fd.get(), chunk, sizeof chunk, 0);
            if (n > 0) {
                client.request.append(chunk, static_cast<std::size_t>(n));
                if (client.request.find("\r\n\r\n") == std::string::npos) continue;
                sendAll(client.fd.get(), respond(client.request));
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                continue;
            }
            client.fd.reset();  // answered, or the peer went away
        }
        const auto now = std::chrono::steady_clock::now();
        std::erase_if(clients, [&](const Client& client) { return !client.fd || now - client.since > kIdleClient; });
    }
}

std::string PageServer::respond(const std::string& request) {
    std::istringstream line(request.substr(0, request.find("\r\n")));
    std::string method;
    std::string target;
    line >> method >> target;
    if (method != "GET" || target.empty() || target.front() != '/') return response(404, "text/plain", "");
    const std::size_t question = target.find('?');
    const std::string path = target.substr(1, question == std::string::npos ? std::string::npos : question - 1);
    const std::string query = question == std::string::npos ? "" : target.substr(question + 1);

    if (path == "state.json") {
        const std::lock_guard lock(mutex_);
        if (query.starts_with("shown=")) shown_ = std::max(shown_, std::atoi(query.c_str() + 6));
        return response(200, "application/json", state_);
    }
    if (!plainName(path)) return response(404, "text/plain", "");
    std::ifstream file(pageDirectory_ + "/" + path, std::ios::binary);
    if (!file) return response(404, "text/plain", "");
    std::ostringstream body;
    body << file.rdbuf();
    return response(200, contentType(path), body.str());
}

// ---------------------------------------------------------------------------------------------


// ---------------------------------------------------------------------------------------------

namespace {

// Finds windows on the test's display through the backend itself, as the programs will.
class WindowFinder {
public:
    explicit WindowFinder(const std::string& display) : desktop_(platform::LinuxDesktop::open(console_, linewarden::knownApplications(), display)) {}
    std::optional<ShownWindow> find(const std::string& title) {
        const auto windows = desktop_->platform().windowList.onScreenWindows();
        for (const auto& entry : windows.value_or(std::vector<platform::WindowListEntry>{})) {
            if (entry.windowName == title && entry.windowNumber) {
                return ShownWindow{*entry.windowNumber, entry.ownerName.value_or("")};
            }
        }
        return std::nullopt;
    }

private:
    platform::RecordingConsole console_;
    std::unique_ptr<platform::LinuxDesktop> desktop_;
};

}  // namespace

std::unique_ptr<Desktop> Desktop::start(bool withWindowManager, std::string& why) {
    if (!desktop_test::programAvailable("chromium")) {
        why = "chromium is not installed";
        return nullptr;
    }
    auto server = desktop_test::XvfbServer::start("1280x800x24");
    if (!server) {
        why = "Xvfb cannot be started here";
        return nullptr;
    }
    auto desktop = attach(server->display(), why);
    if (!desktop) return nullptr;
    desktop->server_ = std::move(server);
    if (withWindowManager) {
        desktop->windowManager_ = desktop_test::startOpenbox(desktop->server_->display());
        if (!desktop->windowManager_) {
            why = "openbox cannot be started here";
            return nullptr;
        }
    }
    return desktop;
}

std::unique_ptr<Desktop> Desktop::attach(const std::string& display, std::string& why) {
    if (!desktop_test::programAvailable("chromium")) {
        why = "chromium is not installed";
        return nullptr;
    }
    std::unique_ptr<Desktop> desktop(new Desktop);
    desktop->display_ = display;
    desktop->pages_ = PageServer::start(E2E_PAGES_DIR);
    if (!desktop->pages_) {
        why = "cannot listen on 127.0.0.1";
        return nullptr;
    }
    return desktop;
}

Desktop::~Desktop() = default;

bool Desktop::restartServer() {
    const std::string display = server_->display();
    server_->kill();
    server_ = desktop_test::XvfbServer::start("1280x800x24", {display});
    return server_ != nullptr && server_->display() == display;
}

std::unique_ptr<Browser> Desktop::openBrowser(const std::string& windowClass, const std::string& page, int width,
                                              int height) {
    return Browser::start(display(), windowClass, pages_->url(page), width, height);
}

std::optional<ShownWindow> Desktop::waitForWindow(const std::string& title, std::chrono::milliseconds timeout) {
    WindowFinder finder(display());
    std::optional<ShownWindow> found;
    desktop_test::waitUntil([&] { return (found = finder.find(title)).has_value(); }, timeout);
    return found;
}

bool Desktop::waitWindowGone(const std::string& title, std::chrono::milliseconds timeout) {
    WindowFinder finder(display());
    return desktop_test::waitUntil([&] { return !finder.find(title); }, timeout);
}

// ---------------------------------------------------------------------------------------------

namespace {

// The child inherits the environment: DISPLAY has to name the test's display when it starts, and
// no Wayland session the tests run in may take the program over.
const std::string& onDisplay(const std::string& display, const std::string& binary) {
    ::setenv("DISPLAY", display.c_str(), 1);
    ::unsetenv("WAYLAND_DISPLAY");
    return binary;
}

}  // namespace

ProgramRun::ProgramRun(const std::string& binary, const std::vector<std::string>& args, const std::string& display)
    : process_(onDisplay(display, binary), args) {}

std::optional<std::string> ProgramRun::nextErrLine(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    auto line = process_.readErrLine(left);
    if (line) errLines_.push_back(*line);
    return line;
}

std::optional<std::vector<std::string>> ProgramRun::errLinesThrough(const std::string& wanted,
                                                                    std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::vector<std::string> lines;
    while (auto line = nextErrLine(deadline)) {
        lines.push_back(*line);
        if (*line == wanted) return lines;
    }
    return std::nullopt;
}

std::optional<std::vector<std::string>> ProgramRun::nextScan(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    lastScanStart_ = errLines_.size();
    for (;;) {
        const auto line = nextErrLine(deadline);
        if (!line) return std::nullopt;
        if (line->starts_with(kScanEnd)) break;
    }
    lastScanEnd_ = errLines_.size();
    // The status lines were written before the timing line; they are in the pipe already.
    std::vector<std::string> out;
    while (auto line = process_.readOutLine(200ms)) out.push_back(*line);
    return out;
}

std::vector<std::string> ProgramRun::lastScanErr() const {
    return {errLines_.begin() + static_cast<std::ptrdiff_t>(lastScanStart_),
            errLines_.begin() + static_cast<std::ptrdiff_t>(lastScanEnd_)};
}

std::string ProgramRun::errSoFar() const {
    std::string text;
    for (const std::string& line : errLines_) text += line + "\n";
    return text;
}

// ---------------------------------------------------------------------------------------------

void expectScans(ProgramRun& monitor, const std::vector<Scan>& script) {
    for (std::size_t i = 0; i < script.size(); ++i) {
        if (script[i].before) script[i].before();
        const auto out = monitor.nextScan();
        if (!out) {
            ADD_FAILURE() << "scan " << i + 1 << " did not end in time; standard error so far:\n" << monitor.errSoFar();
            return;
        }
        EXPECT_EQ(*out, script[i].out) << "standard output of scan " << i + 1 << "; standard error so far:\n"
                                       << monitor.errSoFar();
    }
    // For looking at what the recogniser read on passing runs too.
    if (std::getenv("E2E_SHOW_STDERR")) std::cerr << monitor.errSoFar();
}

std::vector<std::string> awaitOutput(ProgramRun& monitor, std::size_t lines, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::vector<std::string> out;
    while (out.size() < lines && std::chrono::steady_clock::now() < deadline) {
        const auto scan = monitor.nextScan();
        if (!scan) break;
        out.insert(out.end(), scan->begin(), scan->end());
    }
    return out;
}

std::function<void()> show(PageServer& pages, nlohmann::json state) {
    return [&pages, state] {
        const int version = pages.setState(state);
        EXPECT_TRUE(pages.waitShown(version)) << "the page did not take up " << state.dump();
    };
}

std::vector<std::string> kixieFoundInBrave(const std::string& windowId) {
    return {"Checking Brave browser...", "Found Kixie window: Kixie PowerCall", "Got window ID: " + windowId,
            "Monitoring Kixie status..."};
}

std::vector<std::string> ringCentralFoundInChrome(const std::string& windowId) {
    return {"Checking Brave browser...",
            "Browser not running (Bundle ID: com.brave.Browser)",
            "Checking Chrome browser...",
            "Found RingCentral window: RingCentral for Google",
            "[getWindowID] Looking for window with title: RingCentral for Google",
            "[getWindowID] Checking 1 windows...",
            "[getWindowID] Browser window: ID=" + windowId + ", Title=\"RingCentral for Google\"",
            "[getWindowID] ✅ Exact match found!",
            "Got window ID: " + windowId,
            "Monitoring RingCentral status..."};
}

std::vector<std::string> kixieFoundInEdgeAfterBraveAndChrome(const std::string& windowId) {
    return {"Checking Brave browser...",
            "Browser not running (Bundle ID: com.brave.Browser)",
            "Checking Chrome browser...",
            "No window with Kixie-related title found in com.google.Chrome",
            "Looked for titles containing: Kixie PowerCall",
            "Checking Edge browser...",
            "Found Kixie window: Kixie PowerCall",
            "Got window ID: " + windowId,
            "Monitoring Kixie status..."};
}

// ---------------------------------------------------------------------------------------------

void DesktopTest::SetUp() {
    std::string why;
    desktop_ = makeDesktop(why);
    if (!desktop_) GTEST_SKIP() << why;
}

std::unique_ptr<Desktop> DesktopTest::makeDesktop(std::string& why) {
    return Desktop::start(withWindowManager(), why);
}

std::unique_ptr<Browser> DesktopTest::openPage(const std::string& windowClass, const std::string& page,
                                               const std::string& title, const nlohmann::json& state, int width,
                                               int height, ShownWindow* shown) {
    const int version = pages().setState(state);
    auto browser = desktop().openBrowser(windowClass, page, width, height);
    if (!browser) {
        ADD_FAILURE() << "chromium did not start";
        return nullptr;
    }
    const auto window = desktop().waitForWindow(title);
    if (!window) {
        ADD_FAILURE() << "no window titled \"" << title << "\" came up; chromium wrote:\n" << browser->log();
        return nullptr;
    }
    if (!pages().waitShown(version)) {
        ADD_FAILURE() << "the page " << page << " did not show its state";
        return nullptr;
    }
    if (shown) *shown = *window;
    return browser;
}

std::unique_ptr<ProgramRun> DesktopTest::runLineWarden(const std::string& dialer) {
    return std::make_unique<ProgramRun>(lineWardenBinary(), std::vector<std::string>{"--dialer=" + dialer},
                                        desktop().display());
}

std::string lineWardenBinary() { return LINEWARDEN_BINARY; }
std::string tabRosterBinary() { return TABROSTER_BINARY; }

}  // namespace e2e
