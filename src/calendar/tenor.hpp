// Year fractions of tenor strings such as "3m".
#pragma once

#include <string_view>

#include "common/result.hpp"

namespace korvex {

// A number followed by one unit byte: "d" days of 1/365 year, "w" weeks of 7 days,
// "m" months of 30 days, "y" years. Needs no calendar.
Result<double> tenor_to_ttx(std::string_view tenor);

}  // namespace korvex
