#pragma once

// A desktop that plays a scenario instead of asking an operating system: applications, windows,
// permissions, window lists, captures and recognised text all come from a JSON description, and
// time is virtual, so that whole runs of the programs are deterministic. Used by tests only.
// The scenario format is described in platform/scripted/README.md.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Platform.h"

namespace platform {

namespace scripted {
struct ScenarioData;
}

// A parsed, validated scenario. Cheap to copy; it never changes once loaded.
class Scenario {
public:
    // Parses scenario JSON; on failure returns nothing and sets `error` to a readable message
    // that names the offending place (e.g. "applications[0].windows[1]: unknown key 'titel'").
    static std::optional<Scenario> fromJson(std::string_view json, std::string& error);
    // Reads and parses a scenario file; the error also names the file.
    static std::optional<Scenario> fromFile(const std::string& path, std::string& error);

private:
    friend class ScriptedDesktop;
    explicit Scenario(std::shared_ptr<const scripted::ScenarioData> data) : data_(std::move(data)) {}
    std::shared_ptr<const scripted::ScenarioData> data_;
};

class ScriptedDesktop {
public:
    ScriptedDesktop(Scenario scenario, Console& console);
    ~ScriptedDesktop();
    ScriptedDesktop(const ScriptedDesktop&) = delete;
    ScriptedDesktop& operator=(const ScriptedDesktop&) = delete;

    Platform& platform();

    // Every platform call in order, one line each, e.g. "copyAttribute AXWindows app:101",
    // "capture 4711 800x600", "sleep 3". Reading the clock is not recorded.
    const std::vector<std::string>& calls() const;
    void clearCalls();

    // The virtual time in seconds (the scenario's clock start plus everything that elapsed).
    double now() const;
    // How many times the program slept so far.
    int sleeps() const;
    // The settings of the latest text recognition, if any ran.
    const std::optional<RecognitionSettings>& lastRecognitionSettings() const;

    class Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
