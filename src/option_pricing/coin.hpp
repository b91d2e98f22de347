// Coin-settled options: a call pays (F_T - K)+ / F_T units of the coin and a put
// (K - F_T)+ / F_T, which at expiry is worth the vanilla payoff in the quote currency. So the
// coin premium is v = V / F, with V the Black-76 value discounted by the coin's own discount
// factor D (venues quoting undiscounted premiums use D = 1).
#pragma once

#include "option_pricing/option_type.hpp"

namespace korvex::coin {

struct Sensitivities {
    double value;  // v = V / F, bit for bit b76::fairvalue(...) / F
    double delta;  // F dv/dF = dV/dF - v: the coin delta venues show
    double gamma;  // F^2 d2v/dF2
    double vega;   // dv/dsigma
    double theta;  // -dv/dT with D held fixed, per year
};

// Follows b76::sensitivities through the identities above, the expiry guard included: there
// delta is D (K/F) times the call's step (minus the put's), gamma is -2 delta (the intrinsic
// coin value D (1 - K/F) is curved in F), and vega and theta are 0.
Sensitivities sensitivities(OptionType type, double F, double K, double T, double sigma, double D);

// The volatility at which v equals coin_price: calibrate_black76_iv at the quote-currency price
// coin_price * F, bit for bit.
double implied_vol(OptionType type, double T, double F, double K, double coin_price, double D);

}  // namespace korvex::coin
