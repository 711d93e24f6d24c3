#include "support/WaylandSession.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace desktop_test {

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// The full path of a program on PATH (the child-process helpers run exact paths), or empty.
std::string programPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream directories(path ? path : "/usr/bin:/bin");
    for (std::string directory; std::getline(directories, directory, ':');) {
        const std::string candidate = directory + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

}  // namespace

std::string readFile(const std::string& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::unique_ptr<WaylandSession> WaylandSession::start(std::string& why) {
    for (const char* program : {"unshare", "nsenter", "setpriv", "dbus-daemon", "dbus-send"}) {
        if (programPath(program).empty()) {
            why = std::string(program) + " is not installed";
            return nullptr;
        }
    }
    if (::geteuid() != 0) {
        why = "a private session needs root to make its namespaces and switch users";
        return nullptr;
    }
    std::unique_ptr<WaylandSession> session(new WaylandSession);
    std::string root = (fs::temp_directory_path() / "wayland-session-XXXXXX").string();
    if (!::mkdtemp(root.data())) {
        why = "cannot make a temporary folder";
        return nullptr;
    }
    session->root_ = root;
    session->runtime_ = root + "/run";
    session->browsers_ = root + "/browsers";
    ::chmod(root.c_str(), 0755);
    if (::mkdir(session->runtime_.c_str(), 0700) != 0 || ::chown(session->runtime_.c_str(), kUser, kUser) != 0 ||
        ::mkdir(session->browsers_.c_str(), 0755) != 0) {
        why = "cannot make the session's runtime folder";
        return nullptr;
    }

    // The namespace's first process only reaps the orphans the session leaves (a shell reaps every
    // child); ending it ends everything inside.
    session->namespace_ = ChildProcess::start({programPath("unshare"), "--mount", "--pid", "--fork", "--mount-proc",
                                               "--kill-child", "/bin/bash", "-c",
                                               "while :; do sleep 1000 & wait $!; done"},
                                              "");
    if (!session->namespace_) {
        why = "cannot start unshare";
        return nullptr;
    }
    const pid_t unshare = session->namespace_->pid();
    const bool inside = waitUntil(
        [&] {
            std::istringstream children(
                readFile("/proc/" + std::to_string(unshare) + "/task/" + std::to_string(unshare) + "/children"));
            pid_t child = 0;
            if (!(children >> child)) return false;
            session->init_ = child;
            return readFile("/proc/" + std::to_string(child) + "/comm") == "bash\n";
        },
        10s);
    if (!inside) {
        why = "unshare did not make a mount and pid namespace here";
        return nullptr;
    }

    const std::string bus = session->runtime_ + "/bus";
    session->environment_ = {{"HOME", session->runtime_},
                             {"XDG_RUNTIME_DIR", session->runtime_},
                             {"PATH", "/usr/local/bin:/usr/bin:/bin"},
                             {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + bus}};
    session->bus_ = session->launch({"dbus-daemon", "--session", "--nofork", "--address=unix:path=" + bus});
    const bool busUp = session->bus_ && waitUntil([&] {
        return session->run({"dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus", "/",
                             "org.freedesktop.DBus.GetId"},
                            {}, 5s)
                   .exitStatus == 0;
    });
    if (!busUp) {
        why = "the session bus did not come up";
        return nullptr;
    }
    return session;
}

WaylandSession::~WaylandSession() {
    if (namespace_) {
        namespace_->kill();
        waitUntil([&] { return init_ == 0 || !fs::exists("/proc/" + std::to_string(init_)); }, 5s);
    }
    std::error_code ignored;
    // The browser copies are hard links: removing them leaves the installed files alone.
    if (!root_.empty()) fs::remove_all(root_, ignored);
    // An Xwayland of the session (killed, not ended) leaves its lock and socket in the shared /tmp.
    const std::string display = environment("DISPLAY");
    if (display.size() > 1 && display.front() == ':' &&
        display.find_first_not_of("0123456789", 1) == std::string::npos) {
        fs::remove("/tmp/.X" + display.substr(1) + "-lock", ignored);
        fs::remove("/tmp/.X11-unix/X" + display.substr(1), ignored);
    }
}

std::string WaylandSession::environment(const std::string& name) const {
    const auto found = environment_.find(name);
    return found == environment_.end() ? std::string() : found->second;
}

std::vector<std::string> WaylandSession::commandInside(const std::vector<std::string>& argv,
                                                       const std::vector<std::string>& extra, bool asRoot) const {
    std::vector<std::string> line{programPath("nsenter"), "--target", std::to_string(init_), "--mount", "--pid",
                                  "--wd=" + runtime_, "--", programPath("setpriv")};
    if (!asRoot) {
        line.insert(line.end(), {"--reuid=" + std::to_string(kUser), "--regid=" + std::to_string(kUser), "--clear-groups"});
    }
    // After the change of user, which would clear it: the program goes when nsenter goes.
    line.insert(line.end(), {"--pdeathsig", "KILL", "/usr/bin/env", "-i"});
    for (const auto& [name, value] : environment_) line.push_back(name + "=" + value);
    line.insert(line.end(), extra.begin(), extra.end());
    line.insert(line.end(), argv.begin(), argv.end());
    return line;
}

std::unique_ptr<ChildProcess> WaylandSession::launch(const std::vector<std::string>& argv,
                                                     const std::vector<std::string>& extra,
                                                     const std::string& logFile) const {
    return ChildProcess::start(commandInside(argv, extra), "", logFile);
}

test_support::ProcessResult WaylandSession::run(const std::vector<std::string>& argv,
                                                const std::vector<std::string>& extra,
                                                std::chrono::milliseconds timeout) const {
    const auto line = commandInside(argv, extra);
    return test_support::runProcess(line.front(), {line.begin() + 1, line.end()}, timeout);
}

bool WaylandSession::enableAccessibility(bool on) const {
    return run({"dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                "org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status", "string:IsEnabled",
                std::string("variant:boolean:") + (on ? "true" : "false")},
               {}, 20s)
               .exitStatus == 0;
}

std::string WaylandSession::browserProgram(const std::string& name) {
    if (name == "chromium") return "/usr/lib/chromium/chromium";
    const std::string folder = browsers_ + "/" + name;
    const std::string program = folder + "/" + name;
    if (fs::exists(program)) return program;
    // Hard links (a symbolic link would leave the process calling itself chromium); nothing in the
    // copy is ever changed, its files are the installed ones.
    if (test_support::runProcess("/bin/cp", {"-al", "/usr/lib/chromium", folder}, 60s).exitStatus != 0) return {};
    std::error_code error;
    fs::rename(folder + "/chromium", program, error);
    return error ? std::string() : program;
}

void WaylandSession::killProcessesMentioning(const std::string& text) const { endStragglers(text); }

bool WaylandSession::holds(pid_t outer) const {
    std::error_code error;
    const auto space = fs::read_symlink("/proc/" + std::to_string(outer) + "/ns/pid", error);
    return !error && space == fs::read_symlink("/proc/" + std::to_string(init_) + "/ns/pid", error) && !error;
}

pid_t WaylandSession::innerProcessId(pid_t launcher) {
    std::istringstream children(
        readFile("/proc/" + std::to_string(launcher) + "/task/" + std::to_string(launcher) + "/children"));
    pid_t outer = 0;
    if (!(children >> outer)) return 0;
    std::istringstream status(readFile("/proc/" + std::to_string(outer) + "/status"));
    for (std::string line; std::getline(status, line);) {
        if (!line.starts_with("NSpid:")) continue;
        std::istringstream ids(line.substr(6));
        pid_t id = 0;
        pid_t last = 0;
        while (ids >> id) last = id;
        return last;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------

std::unique_ptr<ChildProcess> startSway(WaylandSession& session, std::string& why, int width, int height,
                                        bool xwayland) {
    if (programPath("sway").empty() || programPath("swaymsg").empty()) {
        why = "sway is not installed";
        return nullptr;
    }
    const std::string runtime = session.runtimeDirectory();
    const std::string config = runtime + "/sway.conf";
    {
        std::ofstream file(config);
        file << "output HEADLESS-1 resolution " << width << "x" << height << " position 0 0\n"
             << (xwayland ? "xwayland force\n" : "xwayland disable\n")
             << "default_border none\n"
             << "default_floating_border none\n"
             << "focus_on_window_activation none\n"
             << "for_window [app_id=\".*\"] floating enable\n";
    }
    ::chmod(config.c_str(), 0644);
    auto sway = session.launch({"sway", "-c", config},
                               {"WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman"},
                               runtime + "/sway.log");
    std::string socket;
    std::string display;
    const bool up = sway && waitUntil(
                                [&] {
                                    std::error_code error;
                                    for (const auto& entry : fs::directory_iterator(runtime, error)) {
                                        const std::string name = entry.path().filename().string();
                                        if (name.starts_with("sway-ipc.") && name.ends_with(".sock")) socket = entry.path();
                                        if (name.starts_with("wayland-") && !name.ends_with(".lock")) display = name;
                                    }
                                    return !socket.empty() && !display.empty();
                                },
                                15s);
    if (!up) {
        why = "sway did not come up: " + readFile(runtime + "/sway.log");
        return nullptr;
    }
    session.setEnvironment("WAYLAND_DISPLAY", display);
    session.setEnvironment("SWAYSOCK", socket);
    if (!waitUntil([&] { return session.run({"swaymsg", "-t", "get_version"}, {}, 5s).exitStatus == 0; }, 15s)) {
        why = "sway does not answer on its socket";
        return nullptr;
    }
    if (xwayland) {
        // sway hands its Xwayland's display to the programs it starts
        const std::string file = runtime + "/display";
        session.run({"swaymsg", "exec", "echo $DISPLAY > " + file});
        std::string display;
        waitUntil([&] {
            display = readFile(file);
            while (!display.empty() && display.back() == '\n') display.pop_back();
            return !display.empty();
        });
        if (display.empty()) {
            why = "sway started no Xwayland";
            return nullptr;
        }
        session.setEnvironment("DISPLAY", display);
    }
    return sway;
}

// ---------------------------------------------------------------------------------------------

std::unique_ptr<WaylandBrowser> WaylandBrowser::start(WaylandSession& session, const std::string& programName,
                                                      const std::string& url, int width, int height,
                                                      bool accessibility, const std::string& windowClass) {
    std::string program = session.browserProgram(programName);
    if (program.empty()) return nullptr;
    std::string profile = session.runtimeDirectory() + "/profile-" + programName + "-XXXXXX";
    if (!::mkdtemp(profile.data()) || ::chown(profile.c_str(), WaylandSession::kUser, WaylandSession::kUser) != 0) {
        return nullptr;
    }
    std::unique_ptr<WaylandBrowser> browser(
        new WaylandBrowser(session, std::move(program), std::move(profile), accessibility, windowClass));
    browser->process_ = session.launch(browser->commandLine(url, width, height), browser->environment(),
                                       browser->profile_ + ".log");
    if (!browser->process_) return nullptr;
    return browser;
}

std::vector<std::string> WaylandBrowser::commandLine(const std::string& url, int width, int height) const {
    std::vector<std::string> line{program_};
    if (windowClass_.empty()) line.push_back("--ozone-platform=wayland");
    else line.insert(line.end(), {"--ozone-platform=x11", "--class=" + windowClass_});
    const auto options = chromiumOptions(profile_, url, width, height);
    line.insert(line.end(), options.begin(), options.end());
    return line;
}

std::vector<std::string> WaylandBrowser::environment() const {
    if (accessibility_) return {"ACCESSIBILITY_ENABLED=1"};
    return {};
}

WaylandBrowser::~WaylandBrowser() { stop(); }

// Chromium's helpers (zygotes) leave the process group and do not name the profile: every process
// of the program file in the session is ended, and the browser is stopped once none is left.
void WaylandBrowser::stop() {
    if (process_) process_->stop();
    session_.killProcessesMentioning(profile_);
    const auto remaining = [&] {
        bool any = false;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator("/proc", error)) {
            const std::string name = entry.path().filename().string();
            if (name.find_first_not_of("0123456789") != std::string::npos) continue;
            std::error_code unreadable;
            if (fs::read_symlink(entry.path() / "exe", unreadable) == program_ && session_.holds(std::stoi(name))) {
                ::kill(std::stoi(name), SIGKILL);
                any = true;
            }
        }
        return any;
    };
    waitUntil([&] { return !remaining(); }, 10s);
}

void WaylandBrowser::freeze(bool frozen) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        if (readFile(entry.path() / "cmdline").find(profile_) != std::string::npos) {
            ::kill(std::stoi(name), frozen ? SIGSTOP : SIGCONT);
        }
    }
}

pid_t WaylandBrowser::innerProcessId() const {
    return process_ ? WaylandSession::innerProcessId(process_->pid()) : 0;
}

bool WaylandBrowser::openWindow(const std::string& url) {
    auto launch = session_.launch(commandLine(url, 0, 0), environment());
    if (!launch) return false;
    return waitUntil([&] { return !launch->running(); }, std::chrono::seconds(15));
}

std::string WaylandBrowser::log() const { return readFile(profile_ + ".log"); }

}  // namespace desktop_test
