// The scenario loader on any text: it loads or names the problem, never crashes; a scenario that
// loads can be played (tabroster lists its windows).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "platform/ScriptedDesktop.h"
#include "tabroster/TabRoster.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(bytes), size);
    std::string error;
    auto scenario = platform::Scenario::fromJson(text, error);
    if (!scenario) {
        fuzz_support::require(!error.empty(), "a failed load says why");
        return 0;
    }
    platform::RecordingConsole console;
    platform::ScriptedDesktop desktop(std::move(*scenario), console);
    fuzz_support::require(tabroster::runTabRoster(desktop.platform()) == 0, "tabroster succeeds");
    fuzz_support::require(console.standardError().empty(), "tabroster writes nothing on standard error");
    return 0;
}
