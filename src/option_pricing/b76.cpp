#include "option_pricing/b76.hpp"

#include <cmath>

#include "option_pricing/normal.hpp"

namespace korvex::b76 {
namespace {

double d1_of(double F, double K, double T, double sigma) {
    return d1(std::log(F / K), T, std::sqrt(T), sigma);
}

}  // namespace

double fairvalue(OptionType type, double F, double K, double T, double sigma, double D) {
    return FixedOption(type, F, K, T, D).value(sigma);
}

double vega(double F, double K, double T, double sigma, double D) {
    if (at_expiry(T, sigma)) return 0.0;
    return D * F * norm_pdf(d1_of(F, K, T, sigma)) * std::sqrt(T);
}

double gamma(double F, double K, double T, double sigma, double D) {
    if (at_expiry(T, sigma)) return 0.0;
    return D * norm_pdf(d1_of(F, K, T, sigma)) / (F * F * sigma * std::sqrt(T));
}

double delta(OptionType type, double F, double K, double T, double sigma, double D) {
    if (at_expiry(T, sigma)) return 0.0;
    const double g = D * norm_pdf(d1_of(F, K, T, sigma)) / (F * sigma * std::sqrt(T));
    return type == OptionType::call ? g : -g;
}

}  // namespace korvex::b76
