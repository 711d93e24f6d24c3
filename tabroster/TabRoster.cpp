#include "tabroster/TabRoster.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "linewarden/app/Applications.h"

namespace tabroster {

namespace {

// One step through UTF-8 text: a well-formed sequence and its code point, or an ill-formed one
// (overlong forms, surrogates and values beyond U+10FFFF included) of as many bytes as one U+FFFD
// stands for: the lead byte and the continuation bytes that could still have belonged to it.
struct Step {
    std::size_t length = 1;
    bool wellFormed = false;
    char32_t point = 0;
};

Step decodeOne(std::string_view bytes) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
    const std::uint8_t lead = byte(0);
    if (lead < 0x80) return {1, true, lead};
    std::size_t length = 0;
    char32_t point = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, point = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, point = lead & 0x0Fu;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, point = lead & 0x07u;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return {1, false, 0};
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (i >= bytes.size()) return {i, false, 0};
        const std::uint8_t next = byte(i);
        if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) return {i, false, 0};
        point = (point << 6) | (next & 0x3Fu);
    }
    return {length, true, point};
}

bool breaksTheLine(char32_t point) {
    return point < 0x20 || point == 0x7F || point == 0x85 || point == 0x2028 || point == 0x2029;
}

}  // namespace

std::string asOneLine(std::string_view title) {
    std::string line;
    line.reserve(title.size());
    while (!title.empty()) {
        const Step step = decodeOne(title);
        if (!step.wellFormed) {
            line += "\xEF\xBF\xBD";   // U+FFFD
        } else if (breaksTheLine(step.point)) {
            line += ' ';
        } else {
            line.append(title.substr(0, step.length));
        }
        title.remove_prefix(step.length);
    }
    return line;
}

int runTabRoster(platform::Platform& platform) {
    auto& accessibility = platform.accessibility;
    for (const auto& app : platform.workspace.runningApplications()) {
        if (!app.localizedName) continue;
        const auto& targetBrowsers = linewarden::kListedBrowsers;
        const auto browser = std::find_if(targetBrowsers.begin(), targetBrowsers.end(),
                                          [&](const auto& b) { return b.localizedName == *app.localizedName; });
        if (browser == targetBrowsers.end()) continue;

        const platform::AXElementRef element = accessibility.createApplication(app.processId);
        const platform::AXAnswer windows = accessibility.copyAttribute(element, platform::kAXWindowsAttribute);
        if (!windows.ok() || !windows.elements()) continue;
        for (const auto& window : *windows.elements()) {
            const platform::AXAnswer title = accessibility.copyAttribute(window, platform::kAXTitleAttribute);
            if (!title.ok() || !title.string() || title.string()->empty()) continue;
            platform.console.out(std::string(browser->localizedName) + ": " + asOneLine(*title.string()) + "\n");
        }
    }
    return 0;
}

}  // namespace tabroster
