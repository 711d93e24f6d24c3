#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace linewarden {

// True when the title contains one of the keywords (case-sensitive, canonically equivalent forms
// counting as equal); keywords are tried in order.
bool titleMatchesDialer(std::string_view title, std::span<const std::string_view> keywords);

struct DialerWindow {
    platform::AXElementRef element;
    std::string title;
};

// The first window, in the browser's order, whose readable string title matches the keywords.
// Windows whose title cannot be read or is not a string are passed over.
std::optional<DialerWindow> firstMatchingWindow(platform::Accessibility& accessibility,
                                                const std::vector<platform::AXElementRef>& windows,
                                                std::span<const std::string_view> keywords);

}  // namespace linewarden
