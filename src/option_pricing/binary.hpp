// Cash-or-nothing binary options on a forward. The log-forward is taken as driftless:
// d = ln(F/K) / (sigma sqrt T), with neither the +1/2 nor the -1/2 variance term.
#pragma once

#include "option_pricing/option_type.hpp"

namespace korvex::binary {

double fairvalue(OptionType type, double F, double K, double T, double sigma, double D);
double delta(OptionType type, double F, double K, double T, double sigma, double D);
double gamma(OptionType type, double F, double K, double T, double sigma, double D);
double speed(OptionType type, double F, double K, double T, double sigma, double D);
double theta(OptionType type, double F, double K, double T, double sigma, double D);
double vega(OptionType type, double F, double K, double T, double sigma, double D);

}  // namespace korvex::binary
