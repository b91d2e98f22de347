// Black-76 implied volatility by Brent's method on the bracket [0.01, 10].
#pragma once

#include "option_pricing/option_type.hpp"

namespace korvex {

inline constexpr double kIvLowerBound = 0.01;
inline constexpr double kIvUpperBound = 10.0;
inline constexpr double kIvTolerance = 1e-4;
inline constexpr int kIvMaxIterations = 100;

// The volatility whose Black-76 value equals `price`, or NaN when none in the bracket does
// (or when the objective itself is NaN at a bracket end: the price cannot be matched).
double calibrate_black76_iv(OptionType type, double ttx, double fwd, double strike, double price,
                            double df);

}  // namespace korvex
