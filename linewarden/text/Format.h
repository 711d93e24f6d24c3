#pragma once

#include <string>

namespace linewarden {

// "%.2f": fixed point, two digits after the point (250.00).
std::string formatFixed2(double value);

// The shortest decimal form that reads back to the same double, always with a fractional part
// (0.25, 2.0, 800.0), as the platform prints a floating-point number.
std::string formatShortest(double value);

// "true" or "false".
inline const char* formatBool(bool value) { return value ? "true" : "false"; }

}  // namespace linewarden
