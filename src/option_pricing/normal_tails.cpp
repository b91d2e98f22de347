#include "option_pricing/normal_tails.hpp"

#include <cmath>

namespace korvex {
namespace {

constexpr double kInvSqrtPi = 0.56418958354775628;   // 1/sqrt(pi)
constexpr double kSqrtHalfPi = 1.2533141373155003;   // sqrt(pi/2)
constexpr double kInvSqrtTwo = 0.70710678118654752;  // 1/sqrt(2)

// Beyond this erfc nears the smallest normal double; the series below is exact to rounding there.
constexpr double kSeriesFrom = 26.0;

// exp(u^2) without the rounding of u^2 in the exponent: u = hi + lo with hi of 26 bits, so
// hi^2 is exact and the rest is small enough for its own rounding not to matter.
double exp_of_square_times(double u, double factor) {
    const double split = 134217729.0 * u;  // 2^27 + 1
    const double hi = split - (split - u);
    const double lo = u - hi;
    const double rest = (hi + hi) * lo + lo * lo;
    return factor * std::exp(hi * hi) * std::exp(rest);
}

// erfcx(u) = 1/(u sqrt(pi)) * sum_k (-1)^k (2k-1)!! / (2u^2)^k, truncated where the terms fall
// below 1e-19 for u >= 26.
double erfcx_series(double u) {
    const double v = 0.5 / (u * u);
    double sum = 0.0;
    for (int k = 9; k >= 1; --k) sum = v * (2 * k - 1) * (1.0 - sum);
    return kInvSqrtPi / u * (1.0 - sum);
}

}  // namespace

double erfcx_nonnegative(double u) {
    if (u < 0.5) return std::exp(u * u) * std::erfc(u);
    if (u < kSeriesFrom) return exp_of_square_times(u, std::erfc(u));
    return erfcx_series(u);
}

double normal_ratio_lower(double z) { return kSqrtHalfPi * erfcx_nonnegative(-z * kInvSqrtTwo); }

double inverse_normal_rough(double p) {
    // Abramowitz & Stegun 26.2.23.
    const double t = std::sqrt(-2.0 * std::log(p));
    const double num = 2.515517 + t * (0.802853 + t * 0.010328);
    const double den = 1.0 + t * (1.432788 + t * (0.189269 + t * 0.001308));
    return num / den - t;
}

}  // namespace korvex
