// A closed interval of parameter values; either end may be infinite.
#pragma once

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvex {

struct Interval {
    double lo = -std::numeric_limits<double>::infinity();
    double hi = std::numeric_limits<double>::infinity();

    bool empty() const { return !(lo <= hi); }  // NaN ends make it empty too
    double clamp(double x) const { return std::min(std::max(x, lo), hi); }
    Interval meet(const Interval& other) const { return {std::max(lo, other.lo), std::min(hi, other.hi)}; }
};

// The closed form of `x > bound`: the next double above.
inline double above(double bound) { return std::nextafter(bound, std::numeric_limits<double>::infinity()); }

}  // namespace korvex
