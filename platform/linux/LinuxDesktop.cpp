#include "platform/LinuxDesktop.h"

// Placeholder until the X11 backend lands.
namespace platform {

namespace {

class NoWorkspace final : public Workspace {
public:
    std::vector<RunningApplication> runningApplications() override { return {}; }
    std::vector<RunningApplication> runningApplications(std::string_view) override { return {}; }
};

class NoAccessibility final : public Accessibility {
public:
    bool isProcessTrusted() override { return false; }
    AXElementRef createApplication(ProcessId) override { return std::make_shared<AXElement>(); }
    AXAnswer copyAttribute(const AXElementRef&, std::string_view) override { return {}; }
    AXError setAttribute(const AXElementRef&, std::string_view, bool) override { return kAXErrorFailure; }
};

class NoWindowList final : public WindowList {
public:
    std::optional<std::vector<WindowListEntry>> onScreenWindows() override { return std::nullopt; }
};

class NoCapture final : public ScreenCapture {
public:
    bool preflightAccess() override { return false; }
    void requestAccess() override {}
    std::optional<std::vector<ShareableWindow>> shareableWindows(bool, bool) override { return std::nullopt; }
    std::optional<Image> captureWindow(const ShareableWindow&, int, int) override { return std::nullopt; }
};

class NoRecognizer final : public TextRecognizer {
public:
    RecognitionOutcome recognize(const Image&, const RecognitionSettings&) override { return {false, {}}; }
};

class SystemClock final : public Clock {
public:
    double now() override;
    bool sleepFor(std::chrono::nanoseconds duration) override;
};

}  // namespace
}  // namespace platform

#include <thread>

namespace platform {
namespace {

double SystemClock::now() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

bool SystemClock::sleepFor(std::chrono::nanoseconds duration) {
    std::this_thread::sleep_for(duration);
    return true;
}

class PlaceholderDesktop final : public LinuxDesktop {
public:
    explicit PlaceholderDesktop(Console& console)
        : platform_{console, workspace_, accessibility_, windowList_, capture_, recognizer_, clock_,
                    "linewarden: the X11 desktop backend is not built yet\n"} {}
    Platform& platform() override { return platform_; }

private:
    NoWorkspace workspace_;
    NoAccessibility accessibility_;
    NoWindowList windowList_;
    NoCapture capture_;
    NoRecognizer recognizer_;
    SystemClock clock_;
    Platform platform_;
};

}  // namespace

std::unique_ptr<LinuxDesktop> LinuxDesktop::open(Console& console) {
    return std::make_unique<PlaceholderDesktop>(console);
}

}  // namespace platform
