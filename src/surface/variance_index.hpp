// A model-free implied volatility for a constant maturity, in percent, from the slices' own smiles:
// each slice's variance (2/T) * integral of Q(K)/K^2 dK over the out-of-the-money Black-76 values,
// interpolated in calendar time.
#pragma once

#include "common/result.hpp"
#include "surface/surface.hpp"

namespace korvex {

// The integral runs over ln(K/F_i) in [-kVarianceIndexReach, kVarianceIndexReach]: the truncation
// is part of the index's definition.
inline constexpr double kVarianceIndexReach = 12.0;
// Relative accuracy of each slice's integral (the definition asks for 1e-8 or better).
inline constexpr double kVarianceIndexTolerance = 1e-10;

// (1/T_i) * 2 * integral of Q(K)/K^2 dK for slice i: Q at the slice's forward and business time,
// annualised by its calendar time T_i. NaN where a vol met is NaN or T_i is not positive.
double slice_variance(const SurfaceSlice& slice);

// 100 * sqrt(V(days / 365)): total variance V_i T_i linear in calendar time between slices, the
// end slice's variance beyond the ends; NaN when a slice's calendar time is NaN. Fails unless days
// is finite and positive.
Result<double> variance_index(const Surface& surface, double days);

}  // namespace korvex
