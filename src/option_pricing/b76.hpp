// Black-76 values and sensitivities of European options on a forward.
#pragma once

#include "option_pricing/option_type.hpp"

namespace korvex::b76 {

// F forward, K strike, T years to expiry, sigma volatility as a fraction, D discount factor.
double fairvalue(OptionType type, double F, double K, double T, double sigma, double D);
double vega(double F, double K, double T, double sigma, double D);
// D * phi(d1) / (F^2 * sigma * sqrt(T)): the forward enters squared.
double gamma(double F, double K, double T, double sigma, double D);
// D * phi(d1) / (F * sigma * sqrt(T)), negated for a put: a phi-based figure, not D * N(d1).
double delta(OptionType type, double F, double K, double T, double sigma, double D);

}  // namespace korvex::b76
