// Normal-distribution functions accurate in the far tails, for the exact implied volatility.
#pragma once

namespace korvex {

// erfcx(u) = exp(u^2) erfc(u) for u >= 0, to a few units in the last place for every u:
// the square in the exponent is split exactly, so large u loses nothing to its rounding, and
// beyond the range of erfc an asymptotic series takes over.
double erfcx_nonnegative(double u);

// The normal Mills-type ratio Y(z) = N(z) / n(z) for z <= 0, with N the distribution and n the
// density: about 1/|z| in the lower tail, never underflowing.
double normal_ratio_lower(double z);

// A rough inverse of the normal distribution for 0 < p <= 0.5 (absolute error below 5e-4),
// for starting values only.
double inverse_normal_rough(double p);

}  // namespace korvex
