#include "option_pricing/binary.hpp"

#include <cmath>

#include "option_pricing/normal.hpp"

namespace korvex::binary {
namespace {

struct Moneyness {
    double s;  // sigma * sqrt(T)
    double d;  // ln(F/K) / s
};

Moneyness moneyness(double F, double K, double T, double sigma) {
    const double s = sigma * std::sqrt(T);
    return {s, std::log(F / K) / s};
}

// The call's sensitivity; a put's is its negative since put = D - call.
double signed_for(OptionType type, double call_figure) {
    return type == OptionType::call ? call_figure : -call_figure;
}

}  // namespace

double fairvalue(OptionType type, double F, double K, double T, double sigma, double D) {
    if (at_expiry(T, sigma)) {
        const bool in_the_money = type == OptionType::call ? F > K : F < K;
        return D * (in_the_money ? 1.0 : 0.0);
    }
    const double d = moneyness(F, K, T, sigma).d;
    return D * norm_cdf(type == OptionType::call ? d : -d);
}

double delta(OptionType type, double F, double K, double T, double sigma, double D) {
    if (at_expiry(T, sigma)) return 0.0;
    const auto [s, d] = moneyness(F, K, T, sigma);
    return signed_for(type, D * norm_pdf(d) / (F * s));
}

double gamma(OptionType type, double F, double K, double T, double sigma, double D) {
    if (at_expiry(T, sigma)) return 0.0;
    const auto [s, d] = moneyness(F, K, T, sigma);
    return signed_for(type, -D * norm_pdf(d) / (F * F * s) * (1.0 + d / s));
}

double speed(OptionType type, double F, double K, double T, double sigma, double D) {
    if (at_expiry(T, sigma)) return 0.0;
    const auto [s, d] = moneyness(F, K, T, sigma);
    const double inv_f3 = 1.0 / (F * F * F);
    return signed_for(type,
                      D * norm_pdf(d) * inv_f3 / s * ((d / s + 2.0) * (d / s + 1.0) - 1.0 / (s * s)));
}

double theta(OptionType type, double F, double K, double T, double sigma, double D) {
    if (at_expiry(T, sigma)) return 0.0;
    const double d = moneyness(F, K, T, sigma).d;
    return signed_for(type, D * norm_pdf(d) * d / (2.0 * T));
}

double vega(OptionType type, double F, double K, double T, double sigma, double D) {
    if (at_expiry(T, sigma)) return 0.0;
    const double d = moneyness(F, K, T, sigma).d;
    return signed_for(type, -D * norm_pdf(d) * d / sigma);
}

}  // namespace korvex::binary
