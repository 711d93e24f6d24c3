#include "support/GnomeSession.h"

#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace desktop_test {

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kWaylandDisplay = "gnome-0";

// What the session's system needs, set up as root inside: a private system bus on a private
// /run/dbus, /run/systemd hidden, and the portal's D-Bus service files hidden, so that the tests
// start the frontend themselves, in their order (a browser asks the portal for its settings as it
// starts, which would start the frontend before a test's own backend has taken its bus name).
constexpr const char* kSystemSetUp = R"(set -e
[ ! -d /run/systemd ] || mount -t tmpfs -o mode=755 tmpfs /run/systemd
mkdir -p /run/dbus
mount -t tmpfs -o mode=755 tmpfs /run/dbus
for service in org.freedesktop.portal.Desktop org.freedesktop.impl.portal.desktop.gnome; do
  file=/usr/share/dbus-1/services/$service.service
  [ ! -e "$file" ] || mount --bind /dev/null "$file"
done
dbus-daemon --system --fork
)";

std::optional<std::string> xwaylandAuthority(const std::string& runtime) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(runtime, error)) {
        if (entry.path().filename().string().starts_with(".mutter-Xwaylandauth.")) return entry.path().string();
    }
    return std::nullopt;
}

std::string lockFile(int display) { return "/tmp/.X" + std::to_string(display) + "-lock"; }
std::string socketFile(int display) { return "/tmp/.X11-unix/X" + std::to_string(display); }

// Whether the display's lock file names `processId`: mutter locks its Xwayland's displays itself,
// under its process id as the session sees it.
bool lockedBy(int display, pid_t processId) {
    std::istringstream content(readFile(lockFile(display)));
    pid_t owner = 0;
    return (content >> owner) && owner == processId;
}

// The X displays locked since `since` whose lock files name `processId`, in order (mutter's
// public display first). Older locks may name the same number: a session that was killed leaves
// its locks behind, under a process id of its own namespace.
std::vector<int> displaysLockedBy(pid_t processId, fs::file_time_type since) {
    std::vector<int> displays;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/tmp", error)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(".X") || !name.ends_with("-lock")) continue;
        const std::string number = name.substr(2, name.size() - 7);
        if (number.empty() || number.size() > 6 || number.find_first_not_of("0123456789") != std::string::npos) continue;
        std::error_code unreadable;
        if (fs::last_write_time(entry.path(), unreadable) < since || unreadable) continue;
        if (lockedBy(std::stoi(number), processId)) displays.push_back(std::stoi(number));
    }
    std::sort(displays.begin(), displays.end());
    return displays;
}

// The process that a launcher (nsenter) started, as seen from here; 0 when it is gone.
pid_t launchedProcess(pid_t launcher) {
    std::istringstream children(
        readFile("/proc/" + std::to_string(launcher) + "/task/" + std::to_string(launcher) + "/children"));
    pid_t child = 0;
    return (children >> child) ? child : 0;
}

// Whether a process has ended (gone, or a zombie its parent has not reaped yet).
bool ended(pid_t process) {
    const std::string status = readFile("/proc/" + std::to_string(process) + "/stat");
    const std::size_t close = status.rfind(')');
    return close == std::string::npos || close + 2 >= status.size() || status[close + 2] == 'Z';
}

}  // namespace

std::unique_ptr<GnomeSession> GnomeSession::start(WaylandSession& session, std::string& why) {
    for (const char* program : {"gnome-shell", "Xwayland", "gdbus"}) {
        if (!programAvailable(program)) {
            why = std::string(program) + " is not installed";
            return nullptr;
        }
    }
    const auto setUp = session.commandInside({"/bin/sh", "-c", kSystemSetUp}, {}, true);
    const auto prepared = test_support::runProcess(setUp.front(), {setUp.begin() + 1, setUp.end()}, 30s);
    if (prepared.exitStatus != 0) {
        why = "cannot give the session a system bus of its own: " + prepared.err;
        return nullptr;
    }

    std::unique_ptr<GnomeSession> result(new GnomeSession(session));
    GnomeSession& gnome = *result;
    const std::string runtime = session.runtimeDirectory();
    const auto started = std::chrono::steady_clock::now();
    // File times come from a coarser clock, which may lag a little behind.
    const auto launched = fs::file_time_type::clock::now() - 1s;
    gnome.shell_ = session.launch({"gnome-shell", "--headless", "--wayland", "--virtual-monitor", "1280x800",
                                   std::string("--wayland-display=") + kWaylandDisplay},
                                  {}, runtime + "/gnome-shell.log");
    if (!gnome.shell_) {
        why = "gnome-shell did not start";
        return nullptr;
    }
    std::optional<std::string> authority;
    std::optional<std::string> display;
    const bool xwayland = waitUntil(
        [&] {
            if (!gnome.shell_->running()) return false;
            if (!gnome.shellProcess_) gnome.shellProcess_ = WaylandSession::innerProcessId(gnome.shell_->pid());
            if (!authority) authority = xwaylandAuthority(runtime);
            if (!display && gnome.shellProcess_) {
                gnome.displays_ = displaysLockedBy(gnome.shellProcess_, launched);
                if (!gnome.displays_.empty() && fs::exists(socketFile(gnome.displays_.front()))) {
                    display = ":" + std::to_string(gnome.displays_.front());
                }
            }
            if (!authority || !display) return false;
            ::setenv("XAUTHORITY", authority->c_str(), 1);
            return TestClient(*display).ok();
        },
        30s);
    if (!xwayland) {
        why = "gnome-shell's Xwayland did not come up; gnome-shell wrote:\n" + gnome.log();
        return nullptr;
    }
    gnome.display_ = *display;
    session.setEnvironment("DISPLAY", *display);
    session.setEnvironment("XAUTHORITY", *authority);
    session.setEnvironment("WAYLAND_DISPLAY", kWaylandDisplay);
    session.setEnvironment("XDG_SESSION_TYPE", "wayland");
    session.setEnvironment("XDG_CURRENT_DESKTOP", "GNOME");

    const std::vector<std::string> shell{"--dest", "org.gnome.Shell", "--object-path", "/org/gnome/Shell", "--method"};
    const auto shellCall = [&](std::vector<std::string> call) {
        call.insert(call.begin(), shell.begin(), shell.end());
        return gnome.busCall(std::move(call));
    };
    const bool overviewClosed = waitUntil(
        [&] {
            shellCall({"org.freedesktop.DBus.Properties.Set", "org.gnome.Shell", "OverviewActive", "<false>"});
            const auto active = shellCall({"org.freedesktop.DBus.Properties.Get", "org.gnome.Shell", "OverviewActive"});
            return active && active->find("false") != std::string::npos;
        },
        30s);
    if (!overviewClosed) {
        why = "gnome-shell's overview did not close; gnome-shell wrote:\n" + gnome.log();
        return nullptr;
    }
    gnome.startTime_ = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    return result;
}

GnomeSession::~GnomeSession() {
    // The portal and PipeWire before the compositor whose screen they serve.
    portal_.reset();
    wirePlumber_.reset();
    pipeWire_.reset();
    if (!shell_) return;
    // Asked alone, gnome-shell ends its Xwayland and gives up its displays; ending its launcher
    // would kill it at once.
    if (const pid_t shell = launchedProcess(shell_->pid())) {
        ::kill(shell, SIGTERM);
        waitUntil([&] { return ended(shell); }, 5s);
    }
    shell_.reset();
    // The displays of a gnome-shell that was killed stay locked in the shared /tmp under a process
    // id of the session, which may well be in use out here: nobody else would take them again.
    for (const int display : displays_) {
        if (!lockedBy(display, shellProcess_)) continue;
        std::error_code ignored;
        fs::remove(socketFile(display), ignored);
        fs::remove(lockFile(display), ignored);
    }
}

std::optional<std::string> GnomeSession::busCall(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), {"gdbus", "call", "--session", "--timeout", "5"});
    const auto result = session_.run(arguments, {}, 10s);
    if (result.exitStatus != 0) return std::nullopt;
    return result.out;
}

bool GnomeSession::startPipeWire() {
    if (pipeWire_) return true;
    const std::string config = session_.runtimeDirectory() + "/.config/wireplumber/bluetooth.lua.d";
    const auto written = session_.run(
        {"/bin/sh", "-c",
         "mkdir -p " + config + " && printf '%s\\n' 'bluez_monitor.enabled = false' "
         "'bluez_monitor.properties[\"with-logind\"] = false' > " + config + "/80-no-logind.lua"});
    if (written.exitStatus != 0) return false;
    const std::string runtime = session_.runtimeDirectory();
    pipeWire_ = session_.launch({"pipewire"}, {}, runtime + "/pipewire.log");
    if (!pipeWire_ || !waitUntil([&] { return fs::exists(runtime + "/pipewire-0"); }, 15s)) return false;
    wirePlumber_ = session_.launch({"wireplumber"}, {}, runtime + "/wireplumber.log");
    return wirePlumber_ != nullptr;
}

bool GnomeSession::startPortalFrontend(const std::vector<std::string>& extra) {
    if (portal_) return true;
    portal_ = session_.launch({"/usr/libexec/xdg-desktop-portal"}, extra,
                              session_.runtimeDirectory() + "/xdg-desktop-portal.log");
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

std::string GnomeSession::log() const { return readFile(session_.runtimeDirectory() + "/gnome-shell.log"); }

}  // namespace desktop_test
