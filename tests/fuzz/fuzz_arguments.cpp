// The command line: any arguments, on a desktop without dialers, give exit status 0 or 1 and
// never a status line for a dialer that was not found.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "linewarden/app/Launcher.h"
#include "platform/ScriptedDesktop.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    static const platform::Scenario empty = [] {
        std::string error;
        return *platform::Scenario::fromJson(R"({"sleeps": 1})", error);
    }();
    FuzzedDataProvider data(bytes, size);
    std::vector<std::string> args{"linewarden"};
    for (const auto& arg : fuzz_support::someLines(data, 8)) args.push_back(arg);

    platform::RecordingConsole console;
    platform::ScriptedDesktop desktop(empty, console);
    const int status = linewarden::runLineWarden(args, desktop.platform());
    fuzz_support::require(status == 0 || status == 1, "exit status 0 or 1");
    // Only Zoom scans without finding its window (and reports Available); a browser dialer ends.
    const std::string& out = console.standardOutput();
    fuzz_support::require(out.empty() || out == "Initial status: Available\nNotConnected\n", "no call reported");
    fuzz_support::require(status == 1 || out.size() > 0, "a run that went on reported its status");
    return 0;
}
