#include "platform/linux/wayland/WaylandDesktop.h"

#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "platform/linux/wayland/AccessibilityBus.h"
#include "platform/linux/portal/PortalCapture.h"
#include "platform/linux/wayland/NativeCapture.h"
#include "platform/linux/wayland/SwayCapture.h"
#include "platform/linux/x11/X11Desktop.h"

namespace platform {

namespace {

using wayland::AccessibleRef;
using wayland::BusPresence;
using wayland::NativeCapture;
using wayland::NativeWindow;

// The route by which this session's native windows give their pixels: the one place it is chosen.
// wlroots' screencopy where the compositor offers it (sway), else the ScreenCast portal (GNOME,
// KDE Plasma), the one sanctioned route there.
std::unique_ptr<NativeCapture> chooseNativeCapture(Console& console) {
    if (auto sway = wayland::openSwayCapture()) return sway;
    return portal::openPortalCapture(console);
}

// X resource ids keep their top three bits clear: numbers with the top bit set never name an X11
// window, so both kinds can share one window list.
constexpr WindowNumber kNativeNumbers = 0x80000000u;
constexpr std::size_t kRememberedNumbers = 4096;
// A browser registers on the bus within a second or two of its start: one that has run longer and
// is not there will not come (and one just started is not named for nothing).
constexpr double kRegistrationSeconds = 5;

// How long the process has run, from its start in /proc/PID/stat (field 22, in clock ticks since
// boot) and the system's uptime; nothing when either cannot be read or the process has ended (a
// zombie that nobody has reaped yet still carries its name).
std::optional<double> secondsRunning(ProcessId processId) {
    std::ifstream stat("/proc/" + std::to_string(processId) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
        if (i == 3 && (field == "Z" || field == "X")) return std::nullopt;
        if (i != 22) continue;
        std::ifstream uptimeFile("/proc/uptime");
        double uptime = 0;
        if (!(uptimeFile >> uptime)) return std::nullopt;
        try {
            return uptime - std::stod(field) / static_cast<double>(sysconf(_SC_CLK_TCK));
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::string programLine(const std::string& text) {
    return std::string(program_invocation_short_name) + ": " + text + "\n";
}

// A native application: the process's windows, from X11 when it has any there, else from the bus.
// A helper process of a browser built on Chromium (renderer, zygote, GPU: "--type=..." on its
// command line), which carries the browser's program name but is not the browser and may outlive
// it for a moment.
bool chromiumHelper(ProcessId processId) {
    std::ifstream file("/proc/" + std::to_string(processId) + "/cmdline", std::ios::binary);
    const std::string arguments((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return arguments.find(std::string("\0--type=", 8)) != std::string::npos;
}

class NativeApplicationElement final : public AXElement {
public:
    explicit NativeApplicationElement(ProcessId processId) : processId(processId) {}
    const ProcessId processId;
};

class NativeWindowElement final : public AXElement {
public:
    NativeWindowElement(AccessibleRef accessible, WindowNumber number) : accessible(std::move(accessible)), number(number) {}
    const AccessibleRef accessible;
    const WindowNumber number;
};

struct ListedWindow {
    NativeWindow window;
    AccessibleRef accessible;
    std::string bundleId;
};

// What the services share: the bus, the capture route, the X11 desktop within, and the numbers
// given to native windows.
class Session {
public:
    Session(Console& console, std::vector<ApplicationDescription> applications, std::string displayName)
        : console(console),
          bus(applications),
          x11(openX11Desktop(console, applications, std::move(displayName))),
          capture(chooseNativeCapture(console)) {}

    Platform& x() { return x11->platform(); }

    // The processes with windows of a known application on X11.
    std::set<ProcessId> x11Processes() {
        std::set<ProcessId> processes;
        for (const RunningApplication& application : x().workspace.runningApplications()) {
            processes.insert(application.processId);
        }
        return processes;
    }

    // The catalogue's applications on the bus that X11 does not serve.
    std::vector<wayland::BusApplication> busApplications() {
        auto applications = bus.applications().value_or(std::vector<wayland::BusApplication>{});
        const auto served = x11Processes();
        std::erase_if(applications, [&](const wayland::BusApplication& a) { return served.contains(a.processId); });
        return applications;
    }

    // Every native window of the catalogue's applications, numbered.
    std::vector<ListedWindow> nativeWindows() {
        std::vector<ListedWindow> listed;
        std::set<std::string> seen;
        for (const auto& application : busApplications()) {
            for (const auto& window : bus.windows(application.accessible).value_or(std::vector<wayland::BusWindow>{})) {
                const auto title = bus.name(window.accessible);
                if (!title) continue;   // closed meanwhile
                NativeWindow native{numberOf(window.key), application.processId,
                                    std::string(application.application->displayName), *title};
                if (const auto size = bus.size(window.accessible)) std::tie(native.width, native.height) = *size;
                seen.insert(window.key);
                listed.push_back({std::move(native), window.accessible, std::string(application.application->bundleId)});
            }
        }
        if (numbers_.size() > kRememberedNumbers) std::erase_if(numbers_, [&](const auto& n) { return !seen.contains(n.first); });
        lastListed_ = listed;
        return listed;
    }

    // The native window with this number as last listed, its title read again.
    std::optional<ListedWindow> listedWindow(WindowNumber number) {
        for (const ListedWindow& listed : lastListed_) {
            if (listed.window.number != number) continue;
            ListedWindow current = listed;
            const auto title = bus.name(listed.accessible);
            if (!title) return std::nullopt;
            current.window.title = *title;
            return current;
        }
        return std::nullopt;
    }

    WindowNumber numberOf(const std::string& key) {
        const auto [entry, added] = numbers_.try_emplace(key, kNativeNumbers | nextNumber_);
        if (added) nextNumber_ = (nextNumber_ + 1) & ~kNativeNumbers;
        return entry->second;
    }

    // One line, once per application, for one that runs but is not on the bus: it was started
    // before accessibility was on, and only a restart brings it there.
    void reportUnregistered(std::string_view bundleId) {
        if (reported_.contains(std::string(bundleId))) return;
        const ApplicationDescription* row = nullptr;
        for (const auto& application : bus.catalogue()) {
            if (application.bundleId == bundleId) row = &application;
        }
        if (!row || !running(*row)) return;
        reported_.insert(std::string(bundleId));
        console.err(programLine(std::string(row->displayName) +
                                " is running but not on the accessibility bus (it was started before accessibility "
                                "was on): restart " +
                                std::string(row->displayName) + " to let its windows be found"));
    }

    Console& console;
    wayland::AccessibilityBus bus;
    std::unique_ptr<LinuxDesktop> x11;
    std::unique_ptr<NativeCapture> capture;

private:
    // Whether a process of the application runs, by its program name, and has run long enough to
    // be on the bus if it ever will.
    bool running(const ApplicationDescription& row) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
            const std::string name = entry.path().filename().string();
            if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
            ProcessId processId = 0;
            try {
                processId = std::stoi(name);
            } catch (const std::exception&) {
                continue;
            }
            if (wayland::applicationOfProcess({&row, 1}, processId) && !chromiumHelper(processId) &&
                secondsRunning(processId).value_or(0) >= kRegistrationSeconds) {
                return true;
            }
        }
        return false;
    }

    std::map<std::string, WindowNumber> numbers_;
    WindowNumber nextNumber_ = 1;
    std::vector<ListedWindow> lastListed_;
    std::set<std::string> reported_;
};

class WaylandWorkspace final : public Workspace {
public:
    explicit WaylandWorkspace(Session& session) : session_(session) {}

    // X11's and the bus's, one per process and application, in the order of their process ids.
    std::vector<RunningApplication> runningApplications() override {
        std::map<std::pair<ProcessId, std::string>, RunningApplication> all;
        for (RunningApplication& application : session_.x().workspace.runningApplications()) {
            all.emplace(std::pair{application.processId, application.bundleId}, std::move(application));
        }
        for (const auto& application : session_.busApplications()) {
            RunningApplication entry{std::string(application.application->bundleId), application.processId,
                                     std::string(application.application->displayName)};
            all.emplace(std::pair{entry.processId, entry.bundleId}, std::move(entry));
        }
        std::vector<RunningApplication> applications;
        for (auto& [key, application] : all) applications.push_back(std::move(application));
        return applications;
    }

    std::vector<RunningApplication> runningApplications(std::string_view bundleId) override {
        auto applications = runningApplications();
        std::erase_if(applications, [&](const RunningApplication& a) { return a.bundleId != bundleId; });
        if (applications.empty()) session_.reportUnregistered(bundleId);
        return applications;
    }

private:
    Session& session_;
};

class WaylandAccessibility final : public Accessibility {
public:
    WaylandAccessibility(Session& session, std::string& accessProblem)
        : session_(session), accessProblem_(accessProblem) {}

    // The bus reachable and on; failing that, a usable X display serves the X11 clients.
    bool isProcessTrusted() override {
        const std::string problem = session_.bus.problem();
        if (problem.empty() || session_.x().accessibility.isProcessTrusted()) {
            accessProblem_.clear();
            return true;
        }
        accessProblem_ = programLine(problem);
        return false;
    }

    AXElementRef createApplication(ProcessId processId) override {
        return std::make_shared<const NativeApplicationElement>(processId);
    }

    AXAnswer copyAttribute(const AXElementRef& element, std::string_view attribute) override {
        if (const auto* application = dynamic_cast<const NativeApplicationElement*>(element.get())) {
            if (attribute != kAXWindowsAttribute) return {kAXErrorAttributeUnsupported, {}};
            auto& x11 = session_.x().accessibility;
            auto answer = x11.copyAttribute(x11.createApplication(application->processId), attribute);
            if (answer.ok()) return answer;
            return windowsOf(application->processId);
        }
        if (const auto* window = dynamic_cast<const NativeWindowElement*>(element.get())) {
            if (attribute != kAXTitleAttribute) return {kAXErrorAttributeUnsupported, {}};
            auto title = session_.bus.name(window->accessible);
            if (!title) return {kAXErrorCannotComplete, {}};
            return {kAXErrorSuccess, std::move(*title)};
        }
        return session_.x().accessibility.copyAttribute(element, attribute);
    }

    // As on X11, making a window the main one would take focus from the user; the request only
    // confirms that the window still answers.
    AXError setAttribute(const AXElementRef& element, std::string_view attribute, bool value) override {
        if (const auto* window = dynamic_cast<const NativeWindowElement*>(element.get())) {
            if (attribute != kAXMainAttribute) return kAXErrorAttributeUnsupported;
            return session_.bus.name(window->accessible) ? kAXErrorSuccess : kAXErrorCannotComplete;
        }
        if (dynamic_cast<const NativeApplicationElement*>(element.get())) return kAXErrorFailure;
        return session_.x().accessibility.setAttribute(element, attribute, value);
    }

    WindowPresence windowPresence(const AXElementRef& element) override {
        if (const auto* window = dynamic_cast<const NativeWindowElement*>(element.get())) {
            switch (session_.bus.presence(window->accessible)) {
                case BusPresence::shown: return WindowPresence::shown;
                case BusPresence::minimised: return WindowPresence::minimised;
                case BusPresence::gone: return WindowPresence::gone;
                case BusPresence::unknown: return WindowPresence::unknown;
            }
        }
        if (dynamic_cast<const NativeApplicationElement*>(element.get())) return WindowPresence::unknown;
        return session_.x().accessibility.windowPresence(element);
    }

private:
    // The process's windows on the bus; a process that is not there (quit, or never registered)
    // answers with a failure, as a dead application's element does.
    AXAnswer windowsOf(ProcessId processId) {
        const auto applications = session_.bus.applications();
        if (!applications) return {kAXErrorCannotComplete, {}};
        std::vector<AXElementRef> elements;
        for (const auto& application : *applications) {
            if (application.processId != processId) continue;
            for (const auto& window : session_.bus.windows(application.accessible).value_or(std::vector<wayland::BusWindow>{})) {
                elements.push_back(
                    std::make_shared<const NativeWindowElement>(window.accessible, session_.numberOf(window.key)));
            }
        }
        if (elements.empty()) return {kAXErrorCannotComplete, {}};
        return {kAXErrorSuccess, std::move(elements)};
    }

    Session& session_;
    std::string& accessProblem_;
};

class WaylandWindowList final : public WindowList {
public:
    explicit WaylandWindowList(Session& session) : session_(session) {}

    // The native windows, then X11's (when there is an X display).
    std::optional<std::vector<WindowListEntry>> onScreenWindows() override {
        std::vector<WindowListEntry> entries;
        for (const ListedWindow& listed : session_.nativeWindows()) {
            entries.push_back({listed.window.applicationName, listed.window.title, listed.window.number});
        }
        if (auto x11 = session_.x().windowList.onScreenWindows()) entries.insert(entries.end(), x11->begin(), x11->end());
        return entries;
    }

private:
    Session& session_;
};

class WaylandScreenCapture final : public ScreenCapture {
public:
    WaylandScreenCapture(Session& session, std::string& accessProblem)
        : session_(session), accessProblem_(accessProblem) {}

    // Whether the windows can be read: the native route, or else X11's for the X11 clients.
    bool preflightAccess() override {
        if ((session_.capture && session_.capture->accessAllowed()) || session_.x().screenCapture.preflightAccess()) {
            accessProblem_.clear();
            return true;
        }
        accessProblem_ = programLine(session_.capture ? "the compositor refuses to let its windows be read"
                                                      : "this Wayland compositor lets no ordinary program read its "
                                                        "windows here (sway and other wlroots compositors do)");
        return false;
    }

    void requestAccess() override {
        if (session_.capture) session_.capture->requestAccess();
        session_.x().screenCapture.requestAccess();
    }

    std::optional<std::vector<ShareableWindow>> shareableWindows(bool excludeDesktopWindows,
                                                                 bool onScreenWindowsOnly) override {
        std::vector<ShareableWindow> shareable;
        for (const ListedWindow& listed : session_.nativeWindows()) {
            ShareableWindow entry{listed.window.number,
                                  {0, 0, double(listed.window.width), double(listed.window.height)},
                                  OwningApplication{listed.bundleId, listed.window.applicationName,
                                                    listed.window.processId}};
            if (session_.capture) {
                if (const auto frame = session_.capture->frame(listed.window)) entry.frame = *frame;
            }
            shareable.push_back(std::move(entry));
        }
        if (auto x11 = session_.x().screenCapture.shareableWindows(excludeDesktopWindows, onScreenWindowsOnly)) {
            shareable.insert(shareable.end(), x11->begin(), x11->end());
        }
        return shareable;
    }

    std::optional<Image> captureWindow(const ShareableWindow& window, int widthPixels, int heightPixels) override {
        if (!(window.windowID & kNativeNumbers)) return session_.x().screenCapture.captureWindow(window, widthPixels, heightPixels);
        if (!session_.capture) return std::nullopt;
        const auto listed = session_.listedWindow(window.windowID);
        if (!listed) return std::nullopt;
        return session_.capture->capture(listed->window, widthPixels, heightPixels);
    }

    bool unchangedSinceLastCapture(const ShareableWindow& window, int widthPixels, int heightPixels) override {
        if (!(window.windowID & kNativeNumbers)) {
            return session_.x().screenCapture.unchangedSinceLastCapture(window, widthPixels, heightPixels);
        }
        const auto listed = session_.listedWindow(window.windowID);
        return listed && session_.capture && session_.capture->unchangedSinceLastCapture(listed->window, widthPixels, heightPixels);
    }

private:
    Session& session_;
    std::string& accessProblem_;
};

class WaylandDesktopImpl final : public LinuxDesktop {
public:
    WaylandDesktopImpl(Console& console, std::vector<ApplicationDescription> applications, std::string displayName)
        : session_(console, std::move(applications), std::move(displayName)),
          workspace_(session_),
          accessibility_(session_, platform_.accessProblem),
          windowList_(session_),
          capture_(session_, platform_.accessProblem),
          platform_{console,
                    workspace_,
                    accessibility_,
                    windowList_,
                    capture_,
                    session_.x().textRecognizer,
                    session_.x().clock,
                    {}} {}

    Platform& platform() override { return platform_; }

private:
    Session session_;
    WaylandWorkspace workspace_;
    WaylandAccessibility accessibility_;
    WaylandWindowList windowList_;
    WaylandScreenCapture capture_;
    Platform platform_;
};

}  // namespace

std::unique_ptr<LinuxDesktop> openWaylandDesktop(Console& console, std::vector<ApplicationDescription> applications,
                                                 std::string displayName) {
    return std::make_unique<WaylandDesktopImpl>(console, std::move(applications), std::move(displayName));
}

}  // namespace platform
