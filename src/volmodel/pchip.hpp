// Monotone piecewise cubic Hermite interpolation (PCHIP) with linear extrapolation.
#pragma once

#include <span>

namespace korvex {

// Knot slopes for ascending xs: the adjacent secant at both ends, zero where the secants
// change sign or one is zero, else the weighted harmonic mean of the two secants.
// Writes ds.size() == xs.size() == ys.size() >= 2 values; does nothing otherwise.
void pchip_slopes(std::span<const double> xs, std::span<const double> ys, std::span<double> ds);

// The Hermite cubic through (xs, ys) with slopes ds, continued linearly along the end
// secants beyond the outer knots. NaN unless the three spans have one size >= 2.
double pchip_eval(std::span<const double> xs, std::span<const double> ys,
                  std::span<const double> ds, double x);

}  // namespace korvex
