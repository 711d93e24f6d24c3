#pragma once

#include <string>

namespace linewarden {

// "%.2f": fixed point, two digits after the point (250.00).
std::string formatFixed2(double value);

// The shortest plain decimal that reads back to the same double: never in exponent notation and
// always with a fractional part (0.25, 2.0, 100000.0, 0.0001).
std::string formatShortest(double value);

// "true" or "false".
inline const char* formatBool(bool value) { return value ? "true" : "false"; }

}  // namespace linewarden
