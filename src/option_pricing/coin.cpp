#include "option_pricing/coin.hpp"

#include "option_pricing/b76_sensitivities.hpp"
#include "option_pricing/iv_calibration.hpp"

namespace korvex::coin {

Sensitivities sensitivities(OptionType type, double F, double K, double T, double sigma, double D) {
    const b76::Sensitivities quote = b76::sensitivities(type, F, K, T, sigma, D);
    // dV/dF - V/F = -(K/F) dV/dK by the homogeneity V = F dV/dF + K dV/dK, and this form does
    // not cancel deep in the money: D (K/F) N(d2) for a call, -D (K/F) N(-d2) for a put.
    const double delta = -(K / F) * quote.dual_delta;
    return {.value = quote.value / F,
            .delta = delta,
            .gamma = F * quote.gamma - 2.0 * delta,
            .vega = quote.vega / F,
            .theta = quote.theta / F};
}

double implied_vol(OptionType type, double T, double F, double K, double coin_price, double D) {
    return calibrate_black76_iv(type, T, F, K, coin_price * F, D);
}

}  // namespace korvex::coin
