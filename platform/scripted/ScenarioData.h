#pragma once

// The scenario of a scripted desktop once parsed: plain data, every timed property already turned
// into a list of phases, so that the desktop only has to pick the phase for the current time.

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/Platform.h"

namespace platform::scripted {

// A value that changes over time: each phase holds from its start (seconds since the clock
// start) until the next phase starts. The first phase holds from the beginning.
template <class State>
class Timeline {
public:
    void add(double from, State state) { phases_.emplace_back(from, std::move(state)); }

    // Phases are added in order of their start, the first one from minus infinity; a search
    // keeps long scripts (thousands of changes) cheap to play.
    const State& at(double elapsed) const {
        const auto after = std::upper_bound(phases_.begin(), phases_.end(), elapsed,
                                            [](double time, const auto& phase) { return time < phase.first; });
        return after == phases_.begin() ? phases_.front().second : std::prev(after)->second;
    }

private:
    std::vector<std::pair<double, State>> phases_;
};

// How a call of one kind takes in virtual seconds; kinds missing from the map take no time.
using Durations = std::map<std::string, double, std::less<>>;

// The kinds of call that may take time, as named in the scenario's "durations".
inline const std::vector<std::string>& durationKinds() {
    static const std::vector<std::string> kinds{
        "isProcessTrusted", "runningApplications", "createApplication", "AXWindows", "AXTitle", "AXMain",
        "onScreenWindows",  "shareableWindows",    "capture",           "recognize", "preflightAccess",
        "requestAccess",    "windowPresence"};
    return kinds;
}

enum class CaptureOutcome { image, unreadable, fails };

struct WindowState {
    std::optional<nlohmann::json> title;        // as the accessibility interface hands it over
    std::optional<AXError> titleError;
    std::optional<AXError> mainError;
    std::optional<nlohmann::json> listName;     // what the window list shows instead of the title
    FrameInPoints frame{0, 0, 400, 300};
    bool onScreen = true;
    bool hasOwningApplication = true;
    CaptureOutcome capture = CaptureOutcome::image;
    std::optional<std::pair<int, int>> captureSize;
    std::vector<TextObservation> text;
};

struct WindowScript {
    std::optional<WindowNumber> number;         // absent when the scenario's number is not exact
    nlohmann::json rawNumber;                   // the number as the window list delivers it
    double opensAt = 0;
    std::optional<double> closesAt;
    Timeline<WindowState> states;
};

struct ApplicationState {
    std::optional<AXError> windowsError;
    bool windowsNotAList = false;
};

struct ApplicationScript {
    std::string bundleId;
    std::optional<std::string> name;
    ProcessId processId = 0;
    double startsAt = 0;
    std::optional<double> quitsAt;
    Timeline<ApplicationState> states;
    std::vector<WindowScript> windows;
};

struct ExtraWindowListEntry {
    WindowListEntry entry;
    bool inFront = false;
};

struct DesktopState {
    bool windowListFails = false;
    bool shareableWindowsFail = false;
    bool recognitionFails = false;
    Durations durations;
    std::vector<ExtraWindowListEntry> extraWindowListEntries;
};

enum class ScreenCaptureAnswer { granted, grantedOnRequest, denied };

struct ScenarioData {
    double clockStart = 1000.0;
    std::optional<double> runFor;
    std::optional<int> sleeps;
    bool realTime = false;
    bool tracksChanges = false;
    bool accessibilityTrusted = true;
    ScreenCaptureAnswer screenCapture = ScreenCaptureAnswer::granted;
    std::string accessProblem;
    std::vector<ApplicationScript> applications;
    Timeline<DesktopState> desktop;
};

// Parses scenario JSON; throws ScenarioError (or a JSON error) on anything malformed.
struct ScenarioError {
    std::string message;
};
ScenarioData parseScenario(const nlohmann::json& document);

}  // namespace platform::scripted
