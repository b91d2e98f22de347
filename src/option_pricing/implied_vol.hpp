// Black-76 implied volatility to machine precision, with no bracket: the normalised-Black
// method of Jaeckel ("By Implication", 2006; "Let's Be Rational", 2016): rational starting
// values on four branches, then third-order Householder steps on an objective transformed per
// branch so that they converge in a few steps for every input.
#pragma once

#include "option_pricing/option_type.hpp"

namespace korvex {

// The sigma > 0 whose Black-76 value df * black(type, fwd, strike, ttx, sigma) equals `price`.
// Special values, checked on the given doubles first:
//   price == df * max(q (fwd - strike), 0)  -> 0.0,   below it -> NaN   (q = +1 call, -1 put);
//   price == df * fwd (call) or df * strike (put) -> +inf, above it -> NaN;
//   NaN anywhere, ttx, fwd, strike or df <= 0, or ttx, fwd, strike, price or df infinite -> NaN.
// A price strictly between the two bounds never gives NaN.
double implied_vol(OptionType type, double ttx, double fwd, double strike, double price, double df);

// The total volatility s = sigma sqrt(T) > 0 with b(x, s) = beta, for the normalised call of
// normalised_black.hpp: x <= 0 and 0 < beta < exp(x/2).
double normalised_implied_total_vol(double x, double beta);

}  // namespace korvex
