#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "inspect/Inspect.h"
#include "linewarden/app/Launcher.h"
#include "platform/ScriptedDesktop.h"
#include "tabroster/TabRoster.h"

namespace test_support {

namespace {

template <class Program>
Transcript runOnScenario(std::string_view scenarioJson, Program program) {
    Transcript transcript;
    std::string error;
    auto scenario = platform::Scenario::fromJson(scenarioJson, error);
    if (!scenario) {
        ADD_FAILURE() << "scenario does not load: " << error;
        transcript.exitStatus = 2;
        transcript.err = error + "\n";
        return transcript;
    }
    platform::RecordingConsole console;
    platform::ScriptedDesktop desktop(std::move(*scenario), console);
    transcript.exitStatus = program(desktop.platform());
    transcript.out = console.standardOutput();
    transcript.err = console.standardError();
    transcript.calls = desktop.calls();
    return transcript;
}

}  // namespace

platform::Scenario loadScenario(std::string_view scenarioJson) {
    std::string error;
    auto scenario = platform::Scenario::fromJson(scenarioJson, error);
    if (!scenario) {
        ADD_FAILURE() << "scenario does not load: " << error;
        scenario = platform::Scenario::fromJson("{}", error);
    }
    return *scenario;
}

Transcript runLineWarden(std::string_view scenarioJson, const std::vector<std::string>& programArgs) {
    std::vector<std::string> args{"linewarden"};
    args.insert(args.end(), programArgs.begin(), programArgs.end());
    return runOnScenario(scenarioJson, [&](platform::Platform& platform) { return linewarden::runLineWarden(args, platform); });
}

Transcript runTabRoster(std::string_view scenarioJson) {
    return runOnScenario(scenarioJson, [](platform::Platform& platform) { return tabroster::runTabRoster(platform); });
}

Transcript runInspect(std::string_view scenarioJson, const std::vector<std::string>& programArgs) {
    std::vector<std::string> args{"linewarden-inspect"};
    args.insert(args.end(), programArgs.begin(), programArgs.end());
    return runOnScenario(scenarioJson, [&](platform::Platform& platform) { return inspect::runInspect(args, platform); });
}

std::string scenarioPath(std::string_view fileName) {
    return std::string(TEST_SCENARIO_DIR) + "/" + std::string(fileName);
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        ADD_FAILURE() << "cannot read " << path;
        return {};
    }
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string scenarioText(std::string_view fileName) { return readFile(scenarioPath(fileName)); }

TempFile::TempFile(std::string_view content, std::string_view suffix) {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/linewarden-test-XXXXXX" + std::string(suffix);
    const int fd = ::mkstemps(pattern.data(), static_cast<int>(suffix.size()));
    if (fd < 0) {
        ADD_FAILURE() << "cannot create a temporary file: " << std::system_category().message(errno);
        return;
    }
    path_ = pattern;
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
        if (n <= 0) {
            ADD_FAILURE() << "cannot write " << path_;
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

TempFile::~TempFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
}

TempDirectory::TempDirectory() {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/linewarden-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "cannot create a temporary directory: " << std::system_category().message(errno);
        return;
    }
    path_ = pattern;
}

TempDirectory::~TempDirectory() {
    std::error_code error;
    if (!path_.empty()) std::filesystem::remove_all(path_, error);
}

std::vector<std::string> TempDirectory::entries() const {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(path_, error)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<std::pair<int, int>> pngSize(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    unsigned char header[24] = {};
    if (!file.read(reinterpret_cast<char*>(header), sizeof header)) return std::nullopt;
    static const unsigned char kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    if (!std::equal(std::begin(kSignature), std::end(kSignature), header)) return std::nullopt;
    const auto number = [&](int at) {
        return static_cast<int>((header[at] << 24) | (header[at + 1] << 16) | (header[at + 2] << 8) | header[at + 3]);
    };
    return std::pair{number(16), number(20)};
}

}  // namespace test_support
