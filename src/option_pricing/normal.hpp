// Standard normal density and distribution in the exact forms the pricing formulas use.
#pragma once

#include <cmath>

namespace korvex {

// sqrt(2*pi) is written one unit in the last place above its correctly rounded value;
// results are expected to agree bit for bit with evaluations that use this constant.
inline constexpr double kSqrtTwoPi = 2.5066282746310007;
inline constexpr double kSqrtTwo = 1.4142135623730951;

inline double norm_pdf(double x) { return std::exp(-0.5 * x * x) / kSqrtTwoPi; }

// erfc keeps full relative precision in the lower tail, where 0.5 * (1 + erf) would not.
inline double norm_cdf(double x) { return 0.5 * std::erfc(-x / kSqrtTwo); }

}  // namespace korvex
