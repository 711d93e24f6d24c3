#include "platform/linux/x11/X11Desktop.h"

#include <cerrno>
#include <chrono>
#include <map>
#include <thread>
#include <utility>

#include "platform/linux/x11/ClientWindows.h"
#include "platform/linux/ocr/TesseractRecognizer.h"
#include "platform/linux/x11/WindowCapture.h"
#include "platform/linux/x11/XConnection.h"

namespace platform {

namespace {

using x11::ClientWindow;
using x11::XConnection;

// The display connection with what the backend keeps per connection, shared by the services.
// Every request of a service begins with ready(): a display that went away (the server ended,
// or stopped answering) is reported once, and tried again at most once per kRetryInterval, which
// is shorter than a monitor's pause between scans and so gives one attempt per scan and no busy
// loop. Once it is back that is reported too, and everything the old connection handed out (its
// window elements, through the generation) is void.
class DisplaySession {
public:
    static constexpr std::chrono::milliseconds kRetryInterval{1500};

    DisplaySession(Console& console, std::vector<ApplicationDescription> applications, std::string displayName)
        : console_(console), applications_(std::move(applications)), displayName_(std::move(displayName)) {
        connect();
    }

    XConnection& connection() { return *connection_; }
    // Counts the connections made: elements of an earlier one are void.
    std::uint64_t generation() const { return generation_; }
    x11::WindowCapture& capture() { return *capture_; }

    void ready() {
        if (connection_->usable()) return;
        if (!wasUsable_) return;   // never there: start-up has named the problem already
        const auto now = std::chrono::steady_clock::now();
        if (!lossReported_) {
            console_.err(problemLine(false));
            lossReported_ = true;
            lastAttempt_ = now;   // a server that just went is not back a moment later
        }
        if (now - *lastAttempt_ < kRetryInterval) return;
        lastAttempt_ = now;
        connect();
        if (connection_->usable()) {
            console_.err(std::string(program_invocation_short_name) + ": connected to the X display \"" +
                         connection_->label() + "\" again\n");
            lossReported_ = false;
        }
    }

    // A lost or never-opened display is tried once more.
    void reconnectIfLost() {
        if (!connection_->usable()) connect();
    }

    std::optional<std::vector<ClientWindow>> windows() { return x11::listClientWindows(*connection_, applications_); }

    // Whether the pixels of the windows the monitor reads can be read. An ordinary X server lets
    // any client read the root window. A rootless server under a compositing window manager
    // (Xwayland under mutter or KWin) refuses the root and every window alike, and gives a
    // window's pixels only through Composite: there the shown windows of known applications
    // answer, read that way, and with none shown yet, Composite being there does.
    bool pixelsReadable() {
        XConnection& x = *connection_;
        if (!x.usable()) return false;
        {
            const x11::SigpipeShield shield;
            if (x11::fetch<xcb_get_image_reply>(
                    x.raw(), xcb_get_image(x.raw(), XCB_IMAGE_FORMAT_Z_PIXMAP, x.root(), 0, 0, 1, 1, ~0u))) {
                return true;
            }
        }
        if (!x.usable() || !x.hasComposite()) return false;
        bool tried = false;
        for (const ClientWindow& window : windows().value_or(std::vector<ClientWindow>{})) {
            if (!window.application || !window.viewable || window.desktop) continue;
            if (capture_->capture(window.id, 1, 1)) return true;
            tried = true;
        }
        return !tried && x.usable();
    }

    // The line that names why the display cannot be used, or nothing.
    std::string problemLine(bool pixelsRefused) const {
        std::string problem = connection_->problem();
        if (problem.empty() && pixelsRefused) problem = "cannot read the X display \"" + connection_->label() + "\"";
        if (problem.empty()) return {};
        // Computed per program, like the messages of other command-line tools.
        return std::string(program_invocation_short_name) + ": " + problem + "\n";
    }

private:
    void connect() {
        capture_.reset();
        ++generation_;
        connection_ = XConnection::open(displayName_);
        capture_ = std::make_unique<x11::WindowCapture>(*connection_);
        if (connection_->usable()) wasUsable_ = true;
    }

    Console& console_;
    std::vector<ApplicationDescription> applications_;   // the windows' applications point into it
    std::string displayName_;
    std::unique_ptr<XConnection> connection_;
    std::unique_ptr<x11::WindowCapture> capture_;
    std::uint64_t generation_ = 0;
    bool wasUsable_ = false;
    bool lossReported_ = false;
    std::optional<std::chrono::steady_clock::time_point> lastAttempt_;
};

// An application is a process that shows windows of a known application; its element stands for
// all client windows of that process.
class ApplicationElement final : public AXElement {
public:
    explicit ApplicationElement(ProcessId processId) : processId(processId) {}
    const ProcessId processId;
};

// A window of one process on one connection: once the display has been reconnected, or the id
// names a window of another process, the element no longer stands for anything.
class WindowElement final : public AXElement {
public:
    WindowElement(xcb_window_t window, ProcessId processId, std::uint64_t connection)
        : window(window), processId(processId), connection(connection) {}
    const xcb_window_t window;
    const ProcessId processId;
    const std::uint64_t connection;
};

class X11Workspace final : public Workspace {
public:
    explicit X11Workspace(DisplaySession& session) : session_(session) {}

    // Known applications only, one per process, in the order of their process ids (the order in
    // which they were started, as a rule).
    std::vector<RunningApplication> runningApplications() override {
        session_.ready();
        std::map<std::pair<ProcessId, std::string_view>, const x11::KnownApplication*> instances;
        for (const ClientWindow& window : session_.windows().value_or(std::vector<ClientWindow>{})) {
            if (!window.application || !window.processId || !window.open()) continue;
            instances.emplace(std::pair{*window.processId, window.application->bundleId}, window.application);
        }
        std::vector<RunningApplication> applications;
        for (const auto& [key, application] : instances) {
            applications.push_back({std::string(application->bundleId), key.first, std::string(application->displayName)});
        }
        return applications;
    }

    std::vector<RunningApplication> runningApplications(std::string_view bundleId) override {
        auto applications = runningApplications();
        std::erase_if(applications, [&](const RunningApplication& a) { return a.bundleId != bundleId; });
        return applications;
    }

private:
    DisplaySession& session_;
};

class X11Accessibility final : public Accessibility {
public:
    X11Accessibility(DisplaySession& session, std::string& accessProblem)
        : session_(session), accessProblem_(accessProblem) {}

    bool isProcessTrusted() override {
        session_.ready();
        const bool trusted = session_.connection().roundTrip();
        accessProblem_ = session_.problemLine(false);
        return trusted;
    }

    AXElementRef createApplication(ProcessId processId) override {
        return std::make_shared<const ApplicationElement>(processId);
    }

    AXAnswer copyAttribute(const AXElementRef& element, std::string_view attribute) override {
        session_.ready();
        if (const auto* application = dynamic_cast<const ApplicationElement*>(element.get())) {
            if (attribute != kAXWindowsAttribute) return {kAXErrorAttributeUnsupported, {}};
            return windowsOf(application->processId);
        }
        if (const auto* window = dynamic_cast<const WindowElement*>(element.get())) {
            if (window->connection != session_.generation()) return {kAXErrorCannotComplete, {}};
            if (attribute != kAXTitleAttribute) return {kAXErrorAttributeUnsupported, {}};
            const auto answer = x11::readWindowTitle(session_.connection(), window->window);
            if (!answer.exists) return {kAXErrorCannotComplete, {}};
            if (!answer.title) return {kAXErrorNoValue, {}};
            return {kAXErrorSuccess, *answer.title};
        }
        return {kAXErrorFailure, {}};
    }

    // Making a window the main one would mean raising or focusing it, which a monitor must not
    // do to the user's desktop; the request only confirms that the window is still there.
    AXError setAttribute(const AXElementRef& element, std::string_view attribute, bool) override {
        session_.ready();
        const auto* window = dynamic_cast<const WindowElement*>(element.get());
        if (!window) return kAXErrorFailure;
        if (window->connection != session_.generation()) return kAXErrorCannotComplete;
        if (attribute != kAXMainAttribute) return kAXErrorAttributeUnsupported;
        return x11::readWindowTitle(session_.connection(), window->window).exists ? kAXErrorSuccess
                                                                                 : kAXErrorCannotComplete;
    }

    // Minimised: the window exists and is still its process's, but is not shown (iconic under a
    // window manager, or unmapped).
    WindowPresence windowPresence(const AXElementRef& element) override {
        session_.ready();
        const auto* window = dynamic_cast<const WindowElement*>(element.get());
        if (!window) return WindowPresence::unknown;
        if (!session_.connection().usable()) return WindowPresence::unknown;
        if (window->connection != session_.generation()) return WindowPresence::gone;
        const auto status = x11::readWindowStatus(session_.connection(), window->window);
        if (!session_.connection().usable()) return WindowPresence::unknown;
        if (!status.exists || (status.processId && *status.processId != window->processId)) return WindowPresence::gone;
        return status.viewable ? WindowPresence::shown : WindowPresence::minimised;
    }

private:
    // The open windows of the process, front first. A process without any (it quit, or the
    // display is gone) answers with a failure, as the element of a dead application does.
    AXAnswer windowsOf(ProcessId processId) {
        const auto windows = session_.windows();
        if (!windows) return {kAXErrorCannotComplete, {}};
        std::vector<AXElementRef> elements;
        for (const ClientWindow& window : *windows) {
            if (window.processId == processId && window.open()) {
                elements.push_back(std::make_shared<const WindowElement>(window.id, processId, session_.generation()));
            }
        }
        if (elements.empty()) return {kAXErrorCannotComplete, {}};
        return {kAXErrorSuccess, std::move(elements)};
    }

    DisplaySession& session_;
    std::string& accessProblem_;
};

class X11WindowList final : public WindowList {
public:
    explicit X11WindowList(DisplaySession& session) : session_(session) {}

    std::optional<std::vector<WindowListEntry>> onScreenWindows() override {
        session_.ready();
        const auto windows = session_.windows();
        if (!windows) return std::nullopt;
        std::vector<WindowListEntry> entries;
        for (const ClientWindow& window : *windows) {
            if (!window.viewable || window.desktop) continue;
            entries.push_back({window.ownerName(), window.title, window.id});
        }
        return entries;
    }

private:
    DisplaySession& session_;
};

class X11ScreenCapture final : public ScreenCapture {
public:
    X11ScreenCapture(DisplaySession& session, std::string& accessProblem)
        : session_(session), accessProblem_(accessProblem) {}

    bool preflightAccess() override {
        session_.ready();
        const bool readable = session_.pixelsReadable();
        accessProblem_ = session_.problemLine(!readable);
        return readable;
    }

    // Nobody to ask on X11; a display that was not there may have come up since.
    void requestAccess() override { session_.reconnectIfLost(); }

    std::optional<std::vector<ShareableWindow>> shareableWindows(bool excludeDesktopWindows,
                                                                 bool onScreenWindowsOnly) override {
        session_.ready();
        const auto windows = session_.windows();
        if (!windows) return std::nullopt;
        std::vector<ShareableWindow> shareable;
        for (const ClientWindow& window : *windows) {
            if (onScreenWindowsOnly && !window.viewable) continue;
            if (excludeDesktopWindows && window.desktop) continue;
            ShareableWindow entry{window.id, window.frame, std::nullopt};
            if (window.application) {
                entry.owningApplication = {std::string(window.application->bundleId),
                                           std::string(window.application->displayName), window.processId.value_or(0)};
            } else if (auto owner = window.ownerName()) {
                // no bundle on Linux
                entry.owningApplication = {std::string(), std::move(*owner), window.processId.value_or(0)};
            }
            shareable.push_back(std::move(entry));
        }
        return shareable;
    }

    std::optional<Image> captureWindow(const ShareableWindow& window, int widthPixels, int heightPixels) override {
        session_.ready();
        return session_.capture().capture(window.windowID, widthPixels, heightPixels);
    }

    bool unchangedSinceLastCapture(const ShareableWindow& window, int widthPixels, int heightPixels) override {
        return session_.capture().unchangedSinceCapture(window.windowID, widthPixels, heightPixels);
    }

private:
    DisplaySession& session_;
    std::string& accessProblem_;
};

// Monotonic: the monitor only measures durations, which a change of the wall clock must not upset.
class SteadyClock final : public Clock {
public:
    double now() override {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    }
    bool sleepFor(std::chrono::nanoseconds duration) override {
        std::this_thread::sleep_for(duration);
        return true;
    }
};

class X11DesktopImpl final : public LinuxDesktop {
public:
    X11DesktopImpl(Console& console, std::vector<ApplicationDescription> applications, std::string displayName)
        : session_(console, std::move(applications), std::move(displayName)),
          workspace_(session_),
          accessibility_(session_, platform_.accessProblem),
          windowList_(session_),
          capture_(session_, platform_.accessProblem),
          platform_{console, workspace_, accessibility_, windowList_, capture_, recognizer_, clock_,
                    session_.problemLine(false)} {}

    Platform& platform() override { return platform_; }

private:
    DisplaySession session_;
    X11Workspace workspace_;
    X11Accessibility accessibility_;
    X11WindowList windowList_;
    X11ScreenCapture capture_;
    tess::TesseractRecognizer recognizer_;   // starts its engines on first use
    SteadyClock clock_;
    Platform platform_;
};

}  // namespace

std::unique_ptr<LinuxDesktop> openX11Desktop(Console& console, std::vector<ApplicationDescription> applications,
                                              std::string displayName) {
    return std::make_unique<X11DesktopImpl>(console, std::move(applications), std::move(displayName));
}

}  // namespace platform
