#include "support/GnomeSession.h"

#include <fcntl.h>
#include <grp.h>
#include <net/if.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "support/ChildProcess.h"

namespace desktop_test {

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Which stage of the sandbox this process is in: unset on the machine itself, "root" while it
// sets up the namespaces, "user" for the tests; otherwise why there is no sandbox.
constexpr const char* kStage = "LINEWARDEN_GNOME_SANDBOX";
// The folder on the machine that holds the browser copies while the tests run.
constexpr const char* kWorkFolder = "LINEWARDEN_GNOME_SANDBOX_FOLDER";

constexpr uid_t kUser = 65534;   // nobody
constexpr const char* kHome = "/tmp/home";
constexpr const char* kRuntimeDir = "/tmp/run";
constexpr const char* kBrowsers = "/tmp/browsers";
constexpr const char* kChromiumFolder = "/usr/lib/chromium";
constexpr const char* kWaylandDisplay = "gnome-test";
// Started by the tests alone, in their order, never by D-Bus activation (a browser asks the
// portal for its settings as it starts, which would start the frontend before a test's own
// backend has taken its bus name).
constexpr const char* kHiddenServices[] = {
    "/usr/share/dbus-1/services/org.freedesktop.portal.Desktop.service",
    "/usr/share/dbus-1/services/org.freedesktop.impl.portal.desktop.gnome.service",
};

[[noreturn]] void fail(const std::string& what) {
    std::cerr << "gnome sandbox: " << what << ": " << std::strerror(errno) << "\n";
    std::_Exit(2);
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (std::string& s : strings) result.push_back(s.data());
    result.push_back(nullptr);
    return result;
}

[[noreturn]] void execute(std::vector<std::string> argv) {
    auto argumentPointers = pointers(argv);
    execvp(argumentPointers[0], argumentPointers.data());
    fail("cannot run " + argv[0]);
}

// Runs a program to its end; whether it exited with 0.
bool runToEnd(std::vector<std::string> argv) {
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) execute(std::move(argv));
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<std::string> arguments(const std::string& program, int argc, char** argv) {
    std::vector<std::string> line{program};
    for (int i = 1; i < argc; ++i) line.emplace_back(argv[i]);
    return line;
}

std::string selfProgram() {
    std::error_code error;
    return fs::read_symlink("/proc/self/exe", error).string();
}

// Whether this process may make the namespaces: tried in a child, which then ends.
bool namespacesAllowed() {
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) std::_Exit(unshare(CLONE_NEWNS | CLONE_NEWNET | CLONE_NEWPID) == 0 ? 0 : 1);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string missingProgram() {
    for (const char* program : {"unshare", "dbus-daemon", "dbus-run-session", "gnome-shell", "Xwayland", "gdbus"}) {
        if (!programAvailable(program)) return program;
    }
    return {};
}

// On the machine: makes the browser copies, runs this program again in new namespaces and
// waits for it, then removes the copies.
[[noreturn]] void runOutside(int argc, char** argv, const SandboxOptions& options) {
    std::string folder = (fs::temp_directory_path() / "linewarden-gnome-XXXXXX").string();
    if (!mkdtemp(folder.data())) fail("cannot make a folder in " + fs::temp_directory_path().string());
    fs::create_directory(fs::path(folder) / "browsers");
    for (const std::string& name : options.browserCopies) {
        const fs::path copy = fs::path(folder) / "browsers" / name;
        std::error_code error;
        fs::copy(kChromiumFolder, copy, fs::copy_options::recursive | fs::copy_options::create_hard_links, error);
        if (!error) fs::rename(copy / "chromium", copy / name, error);
        if (error) {
            std::cerr << "gnome sandbox: cannot hard-link " << kChromiumFolder << " into " << folder << ": "
                      << error.message() << "\n";
        }
    }
    // The copies are hard links to the installed files: they are given to the session user by
    // the folders' modes alone, never by changing the files.
    fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);

    const pid_t pid = fork();
    if (pid < 0) fail("fork");
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        setenv(kStage, "root", 1);
        setenv(kWorkFolder, folder.c_str(), 1);
        std::vector<std::string> line{"unshare", "--mount", "--net", "--pid", "--fork", "--mount-proc",
                                      "--kill-child", "--propagation", "private", "--"};
        const auto self = arguments(selfProgram(), argc, argv);
        line.insert(line.end(), self.begin(), self.end());
        execute(std::move(line));
    }
    // Interrupting the tests ends the namespaces through the child.
    signal(SIGINT, SIG_IGN);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    std::exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
}

void mountOrFail(const char* source, const std::string& target, const char* type, unsigned long flags,
                 const char* data = nullptr) {
    if (mount(source, target.c_str(), type, flags, data) != 0) fail("cannot mount " + target);
}

void makeFolder(const std::string& path, mode_t mode, uid_t owner) {
    if (mkdir(path.c_str(), mode) != 0 && errno != EEXIST) fail("cannot make " + path);
    if (chmod(path.c_str(), mode) != 0 || chown(path.c_str(), owner, owner) != 0) fail("cannot set up " + path);
}

void loopbackUp() {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    if (fd < 0 || ioctl(fd, SIOCGIFFLAGS, &request) != 0) fail("cannot find the loopback device");
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
    if (ioctl(fd, SIOCSIFFLAGS, &request) != 0) fail("cannot bring the loopback device up");
    close(fd);
}

// As root, first process of the new namespaces: the system the session needs, then the session
// user's own session bus, under which this program runs once more for the tests. This process
// stays to reap the namespace's orphans and ends with the tests' status, taking the rest along.
[[noreturn]] void setUpInside(int argc, char** argv) {
    const char* folderVariable = std::getenv(kWorkFolder);
    const std::string folder = folderVariable ? folderVariable : "";
    loopbackUp();
    if (fs::exists("/run/systemd")) mountOrFail("tmpfs", "/run/systemd", "tmpfs", 0, "mode=755");
    makeFolder("/run/dbus", 0755, 0);
    mountOrFail("tmpfs", "/run/dbus", "tmpfs", 0, "mode=755");
    for (const char* service : kHiddenServices) {
        if (fs::exists(service)) mountOrFail("/dev/null", service, nullptr, MS_BIND);
    }

    // The private /tmp is put together beside the machine's and then laid over it, bringing the
    // browser copies along.
    const std::string staged = folder + "/tmp";
    makeFolder(staged, 0700, 0);
    mountOrFail("tmpfs", staged, "tmpfs", 0, "mode=1777");
    makeFolder(staged + "/browsers", 0755, 0);
    mountOrFail((folder + "/browsers").c_str(), staged + "/browsers", nullptr, MS_BIND);
    mountOrFail(staged.c_str(), "/tmp", nullptr, MS_BIND | MS_REC);
    // mutter puts Xwayland's sockets there, and will not make the folders itself.
    makeFolder("/tmp/.X11-unix", 01777, 0);
    makeFolder("/tmp/.ICE-unix", 01777, 0);
    makeFolder(kHome, 0700, kUser);
    makeFolder(kRuntimeDir, 0700, kUser);

    if (!runToEnd({"dbus-daemon", "--system", "--fork"})) fail("the system bus did not start");

    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "SWAYSOCK", "DBUS_SESSION_BUS_ADDRESS",
                             "XDG_SESSION_TYPE", "XDG_CURRENT_DESKTOP", "XDG_CONFIG_HOME", "XDG_DATA_HOME",
                             "XDG_CACHE_HOME", "XDG_STATE_HOME", kWorkFolder}) {
        unsetenv(name);
    }
    setenv("HOME", kHome, 1);
    setenv("XDG_RUNTIME_DIR", kRuntimeDir, 1);
    setenv("USER", "nobody", 1);
    setenv("LOGNAME", "nobody", 1);
    setenv(kStage, "user", 1);
    const pid_t tests = fork();
    if (tests < 0) fail("fork");
    if (tests == 0) {
        if (setgroups(0, nullptr) != 0 || setresgid(kUser, kUser, kUser) != 0 || setresuid(kUser, kUser, kUser) != 0) {
            fail("cannot become nobody");
        }
        std::vector<std::string> line{"dbus-run-session", "--"};
        const auto self = arguments(selfProgram(), argc, argv);
        line.insert(line.end(), self.begin(), self.end());
        execute(std::move(line));
    }
    for (;;) {
        int status = 0;
        const pid_t ended = wait(&status);
        if (ended == tests) std::_Exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
        if (ended < 0 && errno != EINTR) fail("wait");
    }
}

// A program of the session, in a process group of its own, its output in `logFile`.
std::unique_ptr<ChildProcess> startProgram(std::vector<std::string> argv, const std::string& logFile) {
    return ChildProcess::start(argv, "", logFile);
}

std::string readFile(const std::string& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// gdbus on the session bus; its output, or nothing when the call failed.
std::optional<std::string> busCall(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"call", "--session", "--timeout", "5"});
    const auto result = test_support::runProcess("/usr/bin/gdbus", arguments, 10s);
    if (result.exitStatus != 0) return std::nullopt;
    return result.out;
}

std::optional<std::string> xwaylandAuthority() {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(kRuntimeDir, error)) {
        if (entry.path().filename().string().starts_with(".mutter-Xwaylandauth.")) return entry.path().string();
    }
    return std::nullopt;
}

}  // namespace

void runInGnomeSandbox(int argc, char** argv, const SandboxOptions& options) {
    const char* stage = std::getenv(kStage);
    if (stage && std::strcmp(stage, "root") == 0) setUpInside(argc, argv);
    if (stage) return;   // "user", or why there is none
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]).starts_with("--gtest_list_tests")) return;
    }
    if (geteuid() != 0) {
        setenv(kStage, "the session's namespaces need root", 1);
    } else if (const std::string missing = missingProgram(); !missing.empty()) {
        setenv(kStage, (missing + " is not installed").c_str(), 1);
    } else if (!namespacesAllowed()) {
        setenv(kStage, "new namespaces are refused here", 1);
    } else {
        runOutside(argc, argv, options);
    }
}

std::string browserCopy(const std::string& name) { return std::string(kBrowsers) + "/" + name + "/" + name; }

std::unique_ptr<GnomeSession> GnomeSession::start(std::string& why) {
    const char* stage = std::getenv(kStage);
    if (!stage || std::strcmp(stage, "user") != 0) {
        why = stage ? stage : "the test program did not enter the GNOME sandbox";
        return nullptr;
    }
    std::unique_ptr<GnomeSession> session(new GnomeSession);
    session->logFile_ = std::string(kHome) + "/gnome-shell.log";
    session->waylandDisplay_ = kWaylandDisplay;
    session->display_ = ":0";   // the private /tmp has no other X server
    const auto started = std::chrono::steady_clock::now();
    session->shell_ = startProgram({"gnome-shell", "--headless", "--wayland", "--virtual-monitor", "1280x800",
                                    "--wayland-display=" + session->waylandDisplay_},
                                   session->logFile_);
    if (!session->shell_) {
        why = "gnome-shell did not start";
        return nullptr;
    }
    std::optional<std::string> authority;
    const bool xwayland = waitUntil(
        [&] {
            if (!session->shell_->running()) return false;
            if (!authority) authority = xwaylandAuthority();
            if (!authority || !fs::exists("/tmp/.X11-unix/X0")) return false;
            setenv("XAUTHORITY", authority->c_str(), 1);
            return TestClient(session->display_).ok();
        },
        30s);
    if (!xwayland) {
        why = "gnome-shell's Xwayland did not come up; gnome-shell wrote:\n" + session->log();
        return nullptr;
    }
    // A fresh session opens the overview, which would lay itself over every window.
    const bool overviewClosed = waitUntil(
        [&] {
            busCall({"--dest", "org.gnome.Shell", "--object-path", "/org/gnome/Shell", "--method",
                     "org.freedesktop.DBus.Properties.Set", "org.gnome.Shell", "OverviewActive", "<false>"});
            const auto active = busCall({"--dest", "org.gnome.Shell", "--object-path", "/org/gnome/Shell", "--method",
                                         "org.freedesktop.DBus.Properties.Get", "org.gnome.Shell", "OverviewActive"});
            return active && active->find("false") != std::string::npos;
        },
        30s);
    if (!overviewClosed) {
        why = "gnome-shell's overview did not close; gnome-shell wrote:\n" + session->log();
        return nullptr;
    }
    session->startTime_ = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    setenv("DISPLAY", session->display_.c_str(), 1);
    setenv("WAYLAND_DISPLAY", session->waylandDisplay_.c_str(), 1);
    setenv("XDG_SESSION_TYPE", "wayland", 1);
    setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
    return session;
}

GnomeSession::~GnomeSession() {
    // The portal and PipeWire before the compositor whose screen they serve.
    portal_.reset();
    wirePlumber_.reset();
    pipeWire_.reset();
    shell_.reset();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "XDG_SESSION_TYPE", "XDG_CURRENT_DESKTOP"}) {
        unsetenv(name);
    }
}

bool GnomeSession::startPipeWire() {
    if (pipeWire_) return true;
    const fs::path config = fs::path(kHome) / ".config/wireplumber/bluetooth.lua.d";
    std::error_code error;
    fs::create_directories(config, error);
    std::ofstream(config / "80-no-logind.lua") << "bluez_monitor.enabled = false\n"
                                                  "bluez_monitor.properties[\"with-logind\"] = false\n";
    pipeWire_ = startProgram({"pipewire"}, std::string(kHome) + "/pipewire.log");
    if (!pipeWire_ || !waitUntil([] { return fs::exists(std::string(kRuntimeDir) + "/pipewire-0"); }, 15s)) return false;
    wirePlumber_ = startProgram({"wireplumber"}, std::string(kHome) + "/wireplumber.log");
    return wirePlumber_ != nullptr;
}

bool GnomeSession::startPortalFrontend() {
    if (portal_) return true;
    portal_ = startProgram({"/usr/libexec/xdg-desktop-portal"}, std::string(kHome) + "/xdg-desktop-portal.log");
    return portal_ && waitForBusName("org.freedesktop.portal.Desktop", 15s);
}

bool GnomeSession::waitForBusName(const std::string& name, std::chrono::milliseconds timeout) {
    return waitUntil(
        [&] {
            const auto owned = busCall({"--dest", "org.freedesktop.DBus", "--object-path", "/org/freedesktop/DBus",
                                        "--method", "org.freedesktop.DBus.NameHasOwner", name});
            return owned && owned->find("true") != std::string::npos;
        },
        timeout);
}

std::string GnomeSession::log() const { return readFile(logFile_); }

}  // namespace desktop_test
