// Every textbook sensitivity of a Black-76 value V = D (F N(d1) - K N(d2)) in one pass: the
// figures a desk hedges with. They share ln(F/K), d1, d2, one density and two distributions.
// (The scalar b76 delta and gamma are other figures; see b76.hpp.)
#pragma once

#include "option_pricing/option_type.hpp"

namespace korvex::b76 {

struct Sensitivities {
    double value;            // fairvalue(...), bit for bit
    double delta;            // dV/dF
    double gamma;            // d2V/dF2
    double vega;             // dV/dsigma, per unit of volatility
    double theta;            // -dV/dT with D held fixed, per year
    double vanna;            // d2V/dF dsigma
    double volga;            // d2V/dsigma2
    double dual_delta;       // dV/dK
    double dual_gamma;       // d2V/dK2
    double itm_probability;  // N(d2) for a call, N(-d2) for a put: no discounting
};

// Put figures differentiate the put formula D (K N(-d2) - F N(-d1)) itself, so they keep full
// relative precision where the call's would cancel. At T <= 0 or sigma <= 0 the value is the
// discounted intrinsic value; delta, dual_delta and itm_probability are their limits as T -> 0
// (a step in F - K, one half at F = K, NaN where F or K is NaN); every other figure is 0.
Sensitivities sensitivities(OptionType type, double F, double K, double T, double sigma, double D);

}  // namespace korvex::b76
