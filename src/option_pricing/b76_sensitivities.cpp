#include "option_pricing/b76_sensitivities.hpp"

#include <cmath>
#include <limits>

#include "option_pricing/b76.hpp"
#include "option_pricing/normal.hpp"

namespace korvex::b76 {
namespace {

// The limit of N(d1) and N(d2) (or N(-d1), N(-d2) for a put) as T or sigma goes to 0: both
// tend to 1 in the money and 0 out of it; at F = K both d1 and d2 tend to 0, so the limit is
// one half from every side.
double expiry_step(OptionType type, double F, double K) {
    const double moneyness = type == OptionType::call ? F - K : K - F;
    if (moneyness > 0.0) return 1.0;
    if (moneyness < 0.0) return 0.0;
    if (moneyness == 0.0) return 0.5;
    return std::numeric_limits<double>::quiet_NaN();
}

// y * x for a multiple y of phi(d1): phi underflows to 0 long before a factor x in d1 or d2 could
// matter, and at the limits d1 = +-inf (F or K zero, sigma^2 T overflowing) the bare product
// would be 0 * inf = NaN.
double density_times(double y, double x) { return y == 0.0 ? 0.0 : y * x; }

Sensitivities at_expiry_figures(OptionType type, double F, double K, double D) {
    const double step = expiry_step(type, F, K);
    const double sign = type == OptionType::call ? 1.0 : -1.0;
    return {.value = intrinsic(type, F, K, D),
            .delta = sign * D * step,
            .gamma = 0.0,
            .vega = 0.0,
            .theta = 0.0,
            .vanna = 0.0,
            .volga = 0.0,
            .dual_delta = -sign * D * step,
            .dual_gamma = 0.0,
            .itm_probability = step};
}

}  // namespace

Sensitivities sensitivities(OptionType type, double F, double K, double T, double sigma, double D) {
    if (at_expiry(T, sigma)) return at_expiry_figures(type, F, K, D);
    const double sqrt_t = std::sqrt(T);
    const double s = sigma * sqrt_t;
    const double log_fk = std::log(F / K);
    // Where sigma^2 T underflows, d1 loses its half-variance term: at the money d1 and d2 would be
    // 0 and -s rather than +-s / 2, and vanna, which divides d2 by sigma, twice its limit. There
    // they take their small-sigma values (phi and N are flat so near 0 that no other figure moves).
    const bool at_money_tiny_variance = log_fk == 0.0 && sigma * sigma * T < std::numeric_limits<double>::min();
    const double d1 = at_money_tiny_variance ? 0.5 * s : b76::d1(log_fk, T, sqrt_t, sigma);
    const double d2 = at_money_tiny_variance ? -0.5 * s : d1 - s;
    const double pdf = norm_pdf(d1);  // phi(d1); phi(d2) = phi(d1) F / K is never evaluated
    const bool call = type == OptionType::call;
    const double sign = call ? 1.0 : -1.0;
    const double n1 = norm_cdf(call ? d1 : -d1);
    const double n2 = norm_cdf(call ? d2 : -d2);

    // Where two NaNs meet in a commutative operation, which one comes out (and so the NaN's sign)
    // depends on the operand order the compiler chose for that copy of the formula; recomputing
    // such a value keeps even that bit of fairvalue's.
    double value = value_from(type, F, K, D, n1, n2);
    // Also where sigma sqrt(T) underflows to 0: fairvalue's d1 is 0 / 0 at the money there, and the
    // value stays fairvalue's (NaN), the one figure the scalar module defines for it.
    if (std::isnan(value) || s == 0.0) value = fairvalue(type, F, K, T, sigma, D);
    // vega and gamma keep the operation order of b76::vega and b76::delta (a call's), so they
    // are those figures bit for bit (but for the sign of a NaN, as above).
    const double vega = D * F * pdf * sqrt_t;
    return {.value = value,
            .delta = sign * D * n1,
            .gamma = D * pdf / (F * sigma * sqrt_t),
            .vega = vega,
            .theta = -vega * sigma / (2.0 * T),
            // -d2 / sigma is exactly sqrt(T) / 2 at the money, without dividing by a tiny sigma.
            .vanna = at_money_tiny_variance ? D * pdf * (0.5 * sqrt_t) : -D * density_times(pdf, d2) / sigma,
            .volga = density_times(vega, d1 * d2) / sigma,
            .dual_delta = -sign * D * n2,
            .dual_gamma = D * pdf / (K * s) * (F / K),
            .itm_probability = n2};
}

}  // namespace korvex::b76
