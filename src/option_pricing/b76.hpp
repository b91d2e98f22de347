// Black-76 values and sensitivities of European options on a forward.
#pragma once

#include <cmath>

#include "option_pricing/normal.hpp"
#include "option_pricing/option_type.hpp"

namespace korvex::b76 {

// F forward, K strike, T years to expiry, sigma volatility as a fraction, D discount factor.
double fairvalue(OptionType type, double F, double K, double T, double sigma, double D);
double vega(double F, double K, double T, double sigma, double D);
// D * phi(d1) / (F^2 * sigma * sqrt(T)): the forward enters squared.
double gamma(double F, double K, double T, double sigma, double D);
// D * phi(d1) / (F * sigma * sqrt(T)), negated for a put: a phi-based figure, not D * N(d1).
double delta(OptionType type, double F, double K, double T, double sigma, double D);

// The pieces of the value formula, shared by `fairvalue` and `sensitivities` so that both keep
// one operation order (results are pinned to it bit for bit).

// d1 = (ln(F/K) + sigma^2 T / 2) / (sigma sqrt(T)), from ln(F/K) and sqrt(T), in the order
// every figure is pinned to.
inline double d1(double log_fk, double T, double sqrt_t, double sigma) {
    return (log_fk + 0.5 * sigma * sigma * T) / (sigma * sqrt_t);
}

// The discounted payoff at the forward, for the expiry guard; fmax counts a NaN difference as 0.
inline double intrinsic(OptionType type, double F, double K, double D) {
    return type == OptionType::call ? D * std::fmax(F - K, 0.0) : D * std::fmax(K - F, 0.0);
}

// The value from n1 = N(d1), n2 = N(d2) for a call, or n1 = N(-d1), n2 = N(-d2) for a put.
inline double value_from(OptionType type, double F, double K, double D, double n1, double n2) {
    return type == OptionType::call ? D * (F * n1 - K * n2) : D * (K * n2 - F * n1);
}

// One option valued at many volatilities (the implied-volatility search): ln(F/K) and sqrt(T)
// are taken once. value(sigma) is fairvalue(type, F, K, T, sigma, D) bit for bit, since
// fairvalue is this very code. Inline so that the search loop holds no call.
class FixedOption {
public:
    FixedOption(OptionType type, double F, double K, double T, double D)
        : type_(type), F_(F), K_(K), T_(T), D_(D), log_fk_(std::log(F / K)), sqrt_t_(std::sqrt(T)) {}

    double value(double sigma) const {
        if (at_expiry(T_, sigma)) return intrinsic(type_, F_, K_, D_);
        const double d_1 = d1(log_fk_, T_, sqrt_t_, sigma);
        const double d_2 = d_1 - sigma * sqrt_t_;
        if (type_ == OptionType::call) return value_from(type_, F_, K_, D_, norm_cdf(d_1), norm_cdf(d_2));
        return value_from(type_, F_, K_, D_, norm_cdf(-d_1), norm_cdf(-d_2));
    }

private:
    OptionType type_;
    double F_, K_, T_, D_;
    double log_fk_;  // ln(F / K)
    double sqrt_t_;  // sqrt(T)
};

}  // namespace korvex::b76
