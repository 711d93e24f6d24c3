#include "linewarden/window/WindowDiscovery.h"

#include "linewarden/text/UnicodeText.h"

namespace linewarden {

bool titleMatchesDialer(std::string_view title, std::span<const std::string_view> keywords) {
    for (std::string_view keyword : keywords) {
        if (containsCanonically(title, keyword)) return true;
    }
    return false;
}

std::optional<DialerWindow> firstMatchingWindow(platform::Accessibility& accessibility,
                                                const std::vector<platform::AXElementRef>& windows,
                                                std::span<const std::string_view> keywords) {
    for (const auto& window : windows) {
        const platform::AXAnswer answer = accessibility.copyAttribute(window, platform::kAXTitleAttribute);
        const std::string* title = answer.string();  // the result code is not looked at
        if (title && titleMatchesDialer(*title, keywords)) return DialerWindow{window, *title};
    }
    return std::nullopt;
}

}  // namespace linewarden
