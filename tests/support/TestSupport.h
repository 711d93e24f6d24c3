#pragma once

// Running the programs on the scripted desktop inside the test process, and finding scenario files.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/ScriptedDesktop.h"

namespace test_support {

// What one run left behind.
struct Transcript {
    int exitStatus = -1;
    std::string out;                  // standard output
    std::string err;                  // standard error
    std::vector<std::string> calls;   // the scripted desktop's call log
};

// Runs linewarden with {"linewarden", programArgs...} on a scenario given as JSON text. A scenario
// that does not load fails the current test; the run then has exit status 2 and the load error
// on standard error, as the scripted binaries do.
Transcript runLineWarden(std::string_view scenarioJson, const std::vector<std::string>& programArgs);
// Runs tabroster on a scenario given as JSON text (same load-error handling).
Transcript runTabRoster(std::string_view scenarioJson);
// Runs linewarden-inspect with {"linewarden-inspect", programArgs...} (same load-error handling).
Transcript runInspect(std::string_view scenarioJson, const std::vector<std::string>& programArgs);

// Loads a scenario given as JSON text. One that does not load fails the current test and yields
// the empty scenario, so the test can go on and report everything else.
platform::Scenario loadScenario(std::string_view scenarioJson);

// The path of a file in tests/scenarios, and its text.
std::string scenarioPath(std::string_view fileName);
std::string scenarioText(std::string_view fileName);
std::string readFile(const std::string& path);

// A file with the given content that is removed again when the object goes (for scenarios a
// child process has to read).
class TempFile {
public:
    explicit TempFile(std::string_view content, std::string_view suffix = ".json");
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// A fresh empty directory that is removed with everything in it when the object goes.
class TempDirectory {
public:
    TempDirectory();
    ~TempDirectory();
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;
    const std::string& path() const { return path_; }
    // The names of the directory's entries, sorted.
    std::vector<std::string> entries() const;

private:
    std::string path_;
};

// Width and height from a PNG file's header; nothing when the file is not a PNG.
std::optional<std::pair<int, int>> pngSize(const std::string& path);

}  // namespace test_support
