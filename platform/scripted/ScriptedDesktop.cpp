#include "platform/ScriptedDesktop.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <map>
#include <thread>

#include "ScenarioData.h"

namespace platform {

namespace {

using scripted::ApplicationScript;
using scripted::CaptureOutcome;
using scripted::ScenarioData;
using scripted::WindowScript;
using scripted::WindowState;

// What the accessibility interface answers a process it does not trust.
constexpr AXError kAXErrorAPIDisabled = -25211;

// An application element names its process; a window element names its place in the scenario,
// so that it stops answering once its application quits or the window closes.
struct ScriptedElement final : AXElement {
    bool isWindow = false;
    ProcessId processId = 0;
    std::size_t application = 0;
    std::size_t window = 0;
    std::string label;
};

std::string shortest(double value) {
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

AXValue titleValue(const nlohmann::json& title) {
    if (title.is_string()) return title.get<std::string>();
    return AXOtherValue{title.dump()};
}

}  // namespace

class ScriptedDesktop::Impl final : public Workspace,
                                    public Accessibility,
                                    public WindowList,
                                    public ScreenCapture,
                                    public TextRecognizer,
                                    public Clock {
public:
    Impl(std::shared_ptr<const ScenarioData> data, Console& console)
        : data_(std::move(data)),
          now_(data_->clockStart),
          platform_{console, *this, *this, *this, *this, *this, *this, data_->accessProblem} {}

    Platform& platform() { return platform_; }
    std::vector<std::string>& calls() { return calls_; }
    double currentTime() const { return now_; }
    int sleepCount() const { return sleeps_; }
    const std::optional<RecognitionSettings>& lastSettings() const { return lastSettings_; }

    // --- Workspace ---------------------------------------------------------------------------

    std::vector<RunningApplication> runningApplications() override {
        record("runningApplications", "runningApplications");
        return running([](const ApplicationScript&) { return true; });
    }

    std::vector<RunningApplication> runningApplications(std::string_view bundleId) override {
        record("runningApplications " + std::string(bundleId), "runningApplications");
        return running([&](const ApplicationScript& app) { return app.bundleId == bundleId; });
    }

    // --- Accessibility -----------------------------------------------------------------------

    bool isProcessTrusted() override {
        record("isProcessTrusted", "isProcessTrusted");
        return data_->accessibilityTrusted;
    }

    AXElementRef createApplication(ProcessId processId) override {
        record("createApplication " + std::to_string(processId), "createApplication");
        auto element = std::make_shared<ScriptedElement>();
        element->processId = processId;
        element->label = "app:" + std::to_string(processId);
        return element;
    }

    AXAnswer copyAttribute(const AXElementRef& element, std::string_view attribute) override {
        const auto* scripted = dynamic_cast<const ScriptedElement*>(element.get());
        record("copyAttribute " + std::string(attribute) + " " + (scripted ? scripted->label : "unknown"),
               std::string(attribute));
        // The answer is what the desktop looked like when the call began.
        const double at = elapsedBeforeLastCall_;
        if (!scripted) return {kAXErrorFailure, {}};
        if (!data_->accessibilityTrusted) return {kAXErrorAPIDisabled, {}};
        if (!scripted->isWindow) {
            const ApplicationScript* app = runningApplication(scripted->processId, at);
            if (!app) return {kAXErrorCannotComplete, {}};
            if (attribute == kAXWindowsAttribute) return windowsOf(*app, at);
            if (attribute == kAXTitleAttribute) {
                if (!app->name) return {kAXErrorNoValue, {}};
                return {kAXErrorSuccess, *app->name};
            }
            return {kAXErrorAttributeUnsupported, {}};
        }
        const WindowState* state = liveWindow(*scripted, at);
        if (!state) return {kAXErrorCannotComplete, {}};
        if (attribute != kAXTitleAttribute) return {kAXErrorAttributeUnsupported, {}};
        AXValue value;
        if (state->title) value = titleValue(*state->title);
        if (state->titleError) return {*state->titleError, std::move(value)};
        if (!state->title) return {kAXErrorNoValue, {}};
        return {kAXErrorSuccess, std::move(value)};
    }

    AXError setAttribute(const AXElementRef& element, std::string_view attribute, bool value) override {
        const auto* scripted = dynamic_cast<const ScriptedElement*>(element.get());
        record("setAttribute " + std::string(attribute) + " " + (scripted ? scripted->label : "unknown") + " " +
                   (value ? "true" : "false"),
               std::string(attribute));
        const double at = elapsedBeforeLastCall_;
        if (!scripted) return kAXErrorFailure;
        if (!data_->accessibilityTrusted) return kAXErrorAPIDisabled;
        if (!scripted->isWindow) {
            return runningApplication(scripted->processId, at) ? kAXErrorAttributeUnsupported : kAXErrorCannotComplete;
        }
        const WindowState* state = liveWindow(*scripted, at);
        if (!state) return kAXErrorCannotComplete;
        if (attribute != kAXMainAttribute) return kAXErrorAttributeUnsupported;
        return state->mainError.value_or(kAXErrorSuccess);
    }

    // A closed window, or one of an application that quit, is gone; one off screen is minimised.
    WindowPresence windowPresence(const AXElementRef& element) override {
        const auto* scripted = dynamic_cast<const ScriptedElement*>(element.get());
        record("windowPresence " + (scripted ? scripted->label : std::string("unknown")), "windowPresence");
        const double at = elapsedBeforeLastCall_;
        if (!scripted || !scripted->isWindow || !data_->accessibilityTrusted) return WindowPresence::unknown;
        const WindowState* state = liveWindow(*scripted, at);
        if (!state) return WindowPresence::gone;
        return state->onScreen ? WindowPresence::shown : WindowPresence::minimised;
    }

    // --- WindowList --------------------------------------------------------------------------

    std::optional<std::vector<WindowListEntry>> onScreenWindows() override {
        record("onScreenWindows", "onScreenWindows");
        const double at = elapsedBeforeLastCall_;
        const auto& desktop = data_->desktop.at(at);
        if (desktop.windowListFails) return std::nullopt;

        std::vector<WindowListEntry> entries;
        for (const auto& extra : desktop.extraWindowListEntries) {
            if (extra.inFront) entries.push_back(extra.entry);
        }
        forEachVisibleWindow(at, true, [&](const ApplicationScript& app, const WindowScript& window, const WindowState& state) {
            WindowListEntry entry;
            entry.ownerName = app.name;
            const auto& name = state.listName ? state.listName : state.title;
            if (name && name->is_string()) entry.windowName = name->get<std::string>();
            if (window.rawNumber.is_number()) entry.windowNumber = exactWindowNumber(window.rawNumber.get<double>());
            entries.push_back(std::move(entry));
        });
        for (const auto& extra : desktop.extraWindowListEntries) {
            if (!extra.inFront) entries.push_back(extra.entry);
        }
        return entries;
    }

    // --- ScreenCapture -----------------------------------------------------------------------

    bool preflightAccess() override {
        record("preflightAccess", "preflightAccess");
        using scripted::ScreenCaptureAnswer;
        return data_->screenCapture == ScreenCaptureAnswer::granted ||
               (data_->screenCapture == ScreenCaptureAnswer::grantedOnRequest && accessRequested_);
    }

    void requestAccess() override {
        record("requestAccess", "requestAccess");
        accessRequested_ = true;
    }

    std::optional<std::vector<ShareableWindow>> shareableWindows(bool excludeDesktopWindows,
                                                                 bool onScreenWindowsOnly) override {
        record(std::string("shareableWindows") + (excludeDesktopWindows ? " excludingDesktop" : "") +
                   (onScreenWindowsOnly ? " onScreenOnly" : ""),
               "shareableWindows");
        const double at = elapsedBeforeLastCall_;
        if (data_->desktop.at(at).shareableWindowsFail) return std::nullopt;
        std::vector<ShareableWindow> windows;
        forEachVisibleWindow(at, onScreenWindowsOnly,
                             [&](const ApplicationScript& app, const WindowScript& window, const WindowState& state) {
                                 if (!window.number) return;
                                 ShareableWindow shareable{*window.number, state.frame, std::nullopt};
                                 if (state.hasOwningApplication) {
                                     shareable.owningApplication =
                                         OwningApplication{app.bundleId, app.name.value_or(""), app.processId};
                                 }
                                 windows.push_back(std::move(shareable));
                             });
        return windows;
    }

    std::optional<Image> captureWindow(const ShareableWindow& window, int widthPixels, int heightPixels) override {
        record("capture " + std::to_string(window.windowID) + " " + std::to_string(widthPixels) + "x" +
                   std::to_string(heightPixels),
               "capture");
        const double at = elapsedBeforeLastCall_;
        const WindowState* found = nullptr;
        forEachVisibleWindow(at, true, [&](const ApplicationScript&, const WindowScript& script, const WindowState& state) {
            if (!found && script.number == window.windowID) found = &state;
        });
        if (!found || found->capture == CaptureOutcome::fails) return std::nullopt;
        const auto [width, height] = found->captureSize.value_or(std::pair{widthPixels, heightPixels});
        lastCaptured_[window.windowID] = {found, widthPixels, heightPixels};
        if (found->capture == CaptureOutcome::unreadable) return Image::unreadable(width, height);
        return Image::withText(width, height, found->text);
    }

    // With "tracksChanges": unchanged while the window would show and deliver what it did at its
    // last capture at this size, in the same place (a moved window counts as changed, as some
    // display servers report it). Not a call of its own in the log and takes no time.
    bool unchangedSinceLastCapture(const ShareableWindow& window, int widthPixels, int heightPixels) override {
        if (!data_->tracksChanges) return false;
        const auto last = lastCaptured_.find(window.windowID);
        if (last == lastCaptured_.end()) return false;
        const WindowState* found = nullptr;
        forEachVisibleWindow(elapsed(), true, [&](const ApplicationScript&, const WindowScript& script,
                                                  const WindowState& state) {
            if (!found && script.number == window.windowID) found = &state;
        });
        const LastCapture& was = last->second;
        return found && was.width == widthPixels && was.height == heightPixels &&
               found->capture == was.state->capture && found->captureSize == was.state->captureSize &&
               found->text == was.state->text && found->frame.x == was.state->frame.x &&
               found->frame.y == was.state->frame.y && found->frame.width == was.state->frame.width &&
               found->frame.height == was.state->frame.height;
    }

    // --- TextRecognizer ----------------------------------------------------------------------

    RecognitionOutcome recognize(const Image& image, const RecognitionSettings& settings) override {
        record("recognize " + std::to_string(image.width()) + "x" + std::to_string(image.height()), "recognize");
        lastSettings_ = settings;
        if (data_->desktop.at(elapsedBeforeLastCall_).recognitionFails || !image.readable()) return {false, {}};
        RecognitionOutcome outcome;
        const auto keep = static_cast<std::size_t>(std::max(settings.maximumCandidates, 0));
        for (TextObservation observation : image.text()) {
            if (observation.candidates.size() > keep) observation.candidates.resize(keep);
            outcome.observations.push_back(std::move(observation));
        }
        return outcome;
    }

    bool repeatable() const override { return data_->tracksChanges; }

    // --- Clock -------------------------------------------------------------------------------

    double now() override { return now_; }

    bool sleepFor(std::chrono::nanoseconds duration) override {
        const double seconds = std::chrono::duration<double>(duration).count();
        calls_.push_back("sleep " + shortest(seconds));
        ++sleeps_;
        if (data_->realTime) std::this_thread::sleep_for(duration);
        now_ += seconds;
        return true;
    }

    bool windingDown() override {
        if (data_->realTime) return false;
        if (data_->sleeps && sleeps_ >= *data_->sleeps) return true;
        return data_->runFor && elapsed() >= *data_->runFor;
    }

private:
    double elapsed() const { return now_ - data_->clockStart; }

    // Logs a call and lets its virtual duration pass; the answer is computed for the moment the
    // call began, which stays in elapsedBeforeLastCall_.
    void record(std::string call, const std::string& kind) {
        calls_.push_back(std::move(call));
        elapsedBeforeLastCall_ = elapsed();
        const auto& durations = data_->desktop.at(elapsedBeforeLastCall_).durations;
        if (const auto it = durations.find(kind); it != durations.end()) now_ += it->second;
    }

    static bool runningAt(const ApplicationScript& app, double at) {
        return at >= app.startsAt && !(app.quitsAt && at >= *app.quitsAt);
    }
    static bool openAt(const WindowScript& window, double at) {
        return at >= window.opensAt && !(window.closesAt && at >= *window.closesAt);
    }

    template <class Filter>
    std::vector<RunningApplication> running(Filter filter) const {
        std::vector<RunningApplication> apps;
        for (const auto& app : data_->applications) {
            if (runningAt(app, elapsedBeforeLastCall_) && filter(app)) {
                apps.push_back({app.bundleId, app.processId, app.name});
            }
        }
        return apps;
    }

    const ApplicationScript* runningApplication(ProcessId processId, double at) const {
        for (const auto& app : data_->applications) {
            if (app.processId == processId && runningAt(app, at)) return &app;
        }
        return nullptr;
    }

    // The window's current state while its application runs and the window is open.
    const WindowState* liveWindow(const ScriptedElement& element, double at) const {
        const auto& app = data_->applications[element.application];
        const auto& window = app.windows[element.window];
        if (!runningAt(app, at) || !openAt(window, at)) return nullptr;
        return &window.states.at(at);
    }

    AXAnswer windowsOf(const ApplicationScript& app, double at) const {
        const auto& state = app.states.at(at);
        if (state.windowsError) return {*state.windowsError, {}};
        if (state.windowsNotAList) return {kAXErrorSuccess, AXOtherValue{"not a list of windows"}};
        const auto appIndex = static_cast<std::size_t>(&app - data_->applications.data());
        std::vector<AXElementRef> windows;
        for (std::size_t i = 0; i < app.windows.size(); ++i) {
            const auto& window = app.windows[i];
            if (!openAt(window, at)) continue;
            auto element = std::make_shared<ScriptedElement>();
            element->isWindow = true;
            element->processId = app.processId;
            element->application = appIndex;
            element->window = i;
            element->label = window.number ? "window:" + std::to_string(*window.number)
                                           : "window:" + std::to_string(app.processId) + "#" + std::to_string(i + 1);
            windows.push_back(std::move(element));
        }
        return {kAXErrorSuccess, std::move(windows)};
    }

    // Open windows of running applications, in scenario order; off-screen ones only on request.
    template <class Visit>
    void forEachVisibleWindow(double at, bool onScreenOnly, Visit visit) const {
        for (const auto& app : data_->applications) {
            if (!runningAt(app, at)) continue;
            for (const auto& window : app.windows) {
                if (!openAt(window, at)) continue;
                const auto& state = window.states.at(at);
                if (onScreenOnly && !state.onScreen) continue;
                visit(app, window, state);
            }
        }
    }

    std::shared_ptr<const ScenarioData> data_;
    double now_;
    double elapsedBeforeLastCall_ = 0;
    int sleeps_ = 0;
    bool accessRequested_ = false;
    std::vector<std::string> calls_;
    std::optional<RecognitionSettings> lastSettings_;
    struct LastCapture {
        const WindowState* state = nullptr;
        int width = 0;
        int height = 0;
    };
    std::map<WindowNumber, LastCapture> lastCaptured_;
    Platform platform_;
};

ScriptedDesktop::ScriptedDesktop(Scenario scenario, Console& console)
    : impl_(std::make_unique<Impl>(scenario.data_, console)) {}

ScriptedDesktop::~ScriptedDesktop() = default;

Platform& ScriptedDesktop::platform() { return impl_->platform(); }
const std::vector<std::string>& ScriptedDesktop::calls() const { return impl_->calls(); }
void ScriptedDesktop::clearCalls() { impl_->calls().clear(); }
double ScriptedDesktop::now() const { return impl_->currentTime(); }
int ScriptedDesktop::sleeps() const { return impl_->sleepCount(); }
const std::optional<RecognitionSettings>& ScriptedDesktop::lastRecognitionSettings() const {
    return impl_->lastSettings();
}

}  // namespace platform
