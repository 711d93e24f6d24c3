#pragma once

#include <string>
#include <vector>

#include "platform/Console.h"

namespace linewarden {

// Writes one line per recognised element to standard error, numbered from 1:
// [OCR]   [2] "On Call"
void writeOcrListing(platform::Console& console, const std::vector<std::string>& lines);

}  // namespace linewarden
