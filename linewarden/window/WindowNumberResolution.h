#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace linewarden {

// True when the window list owner is one of the browsers (its name contains "Chrome", "Brave" or
// "Edge"), whichever browser the monitor watches.
bool isBrowserOwner(std::string_view ownerName);

// Finds the window number of the browser window titled `title`: first an exact title match
// anywhere in the list, then the first browser window whose name contains `partialKey`. Entries
// without a number are passed over. With a trace (the RingCentral monitor's search), every step
// is written there and, in the exact pass only, a window without a name is compared as
// "(no title)".
std::optional<platform::WindowNumber> matchWindowNumber(const std::vector<platform::WindowListEntry>& entries,
                                                        std::string_view title, std::string_view partialKey,
                                                        platform::Console* trace = nullptr);

// Reads the window's title and looks it up in the on-screen window list.
std::optional<platform::WindowNumber> getWindowID(platform::Platform& platform, const platform::AXElementRef& window,
                                                  std::string_view partialKey, bool traced);

}  // namespace linewarden
