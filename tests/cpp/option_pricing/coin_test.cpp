#include "option_pricing/coin.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "option_test_support.hpp"
#include "option_pricing/b76.hpp"
#include "option_pricing/b76_sensitivities.hpp"
#include "option_pricing/iv_calibration.hpp"

namespace korvex {
namespace {

using testing::kEps;
using testing::same_bits;
constexpr auto call = OptionType::call;
constexpr auto put = OptionType::put;

using Case = testing::OptionCase;

std::vector<Case> chain() {
    return testing::chain({40.0, 90.0, 100.0, 120.0, 300.0}, {0.02, 0.5, 2.0}, {0.45, 1.1}, 0.995);
}

double coin_value(const Case& c, double F, double T, double sigma) {
    return b76::fairvalue(c.type, F, c.K, T, sigma, c.D) / F;
}

TEST(Coin, FiguresAreCentralDifferencesOfTheCoinValue) {
    for (const Case& c : chain()) {
        const auto s = coin::sensitivities(c.type, c.F, c.K, c.T, c.sigma, c.D);
        // The quote-currency value's noise (see b76_sensitivities_test) over F, plus the division.
        const double noise = 17.0 * kEps * c.D * (c.F + c.K) / c.F;
        const auto in_f = [&](double f) { return coin_value(c, f, c.T, c.sigma); };
        const auto in_t = [&](double t) { return coin_value(c, c.F, t, c.sigma); };
        const auto in_v = [&](double v) { return coin_value(c, c.F, c.T, v); };
        const auto d_f = testing::first_difference(in_f, c.F, c.F * testing::kFirstStep, noise);
        const auto d2_f = testing::second_difference(in_f, c.F, c.F * testing::kSecondStep, noise);
        const auto d_v = testing::first_difference(in_v, c.sigma, c.sigma * testing::kFirstStep, noise);
        const auto d_t = testing::first_difference(in_t, c.T, c.T * testing::kFirstStep, noise);
        EXPECT_NEAR(s.delta, c.F * d_f.value, c.F * d_f.tolerance) << c.K << ' ' << c.T;
        EXPECT_NEAR(s.gamma, c.F * c.F * d2_f.value, c.F * c.F * d2_f.tolerance) << c.K << ' ' << c.T;
        EXPECT_NEAR(s.vega, d_v.value, d_v.tolerance) << c.K << ' ' << c.T;
        EXPECT_NEAR(s.theta, -d_t.value, d_t.tolerance) << c.K << ' ' << c.T;
        for (const double tolerance : {c.F * d_f.tolerance, c.F * c.F * d2_f.tolerance, d_v.tolerance / 100})
            EXPECT_LT(tolerance, 1e-5 * c.D);
    }
}

TEST(Coin, IdentitiesWithTheQuoteCurrencyFigures) {
    for (const Case& c : chain()) {
        const auto s = coin::sensitivities(c.type, c.F, c.K, c.T, c.sigma, c.D);
        const auto q = b76::sensitivities(c.type, c.F, c.K, c.T, c.sigma, c.D);
        EXPECT_TRUE(same_bits(s.value, b76::fairvalue(c.type, c.F, c.K, c.T, c.sigma, c.D) / c.F));
        // The venue's coin delta: dV/dF - v, which subtracts two numbers of size D.
        EXPECT_NEAR(s.delta, q.delta - s.value, 4.0 * kEps * c.D);
        // F^2 d2v/dF2 = F^2 (scalar gamma) - 2 (coin delta): a difference, so relative to its terms.
        const double f2_gamma = c.F * c.F * b76::gamma(c.F, c.K, c.T, c.sigma, c.D);
        EXPECT_NEAR(s.gamma, f2_gamma - 2.0 * s.delta, 1e-15 * (f2_gamma + 2.0 * std::abs(s.delta)));
        EXPECT_TRUE(testing::within_relative(s.vega, b76::vega(c.F, c.K, c.T, c.sigma, c.D) / c.F, 1e-15));
        EXPECT_TRUE(testing::within_relative(s.theta, -c.sigma * b76::vega(c.F, c.K, c.T, c.sigma, c.D) /
                                                          (2.0 * c.T * c.F), 1e-15));
    }
}

TEST(Coin, PutCallParityInCoin) {
    for (const Case& c : chain()) {
        if (c.type == put) continue;
        const auto k = coin::sensitivities(call, c.F, c.K, c.T, c.sigma, c.D);
        const auto p = coin::sensitivities(put, c.F, c.K, c.T, c.sigma, c.D);
        EXPECT_NEAR(k.value - p.value, c.D * (1.0 - c.K / c.F), 4.0 * kEps * c.D * (1.0 + c.K / c.F));
        // d/dF of D (1 - K/F), times F and F^2.
        EXPECT_NEAR(k.delta - p.delta, c.D * c.K / c.F, 4.0 * kEps * c.D * c.K / c.F);
        EXPECT_NEAR(k.gamma - p.gamma, -2.0 * c.D * c.K / c.F, 16.0 * kEps * c.D * (1.0 + c.K / c.F));
    }
}

// Deep in the money the coin delta D (K/F) N(d2) keeps its relative precision where the
// difference dV/dF - v would cancel.
TEST(Coin, DeepInTheMoneyDeltaDoesNotCancel) {
    const double F = 1e6, K = 1.0, T = 0.5, sigma = 0.6, D = 1.0;
    const auto s = coin::sensitivities(call, F, K, T, sigma, D);
    EXPECT_NEAR(s.delta, K / F, 1e-15 * K / F);
    const auto p = coin::sensitivities(put, 1.0, 1e6, T, sigma, D);
    EXPECT_NEAR(p.delta, -1e6, 1e-15 * 1e6);
}

TEST(Coin, ImpliedVolIsTheScalarSearchAtTheQuotePrice) {
    for (const Case& c : chain()) {
        const auto s = coin::sensitivities(c.type, c.F, c.K, c.T, c.sigma, c.D);
        if (s.vega < 1e-6) continue;  // a premium that hardly moves with the volatility pins none
        const double v = s.value;
        const double iv = coin::implied_vol(c.type, c.T, c.F, c.K, v, c.D);
        EXPECT_TRUE(same_bits(iv, calibrate_black76_iv(c.type, c.T, c.F, c.K, v * c.F, c.D)));
        EXPECT_NEAR(iv, c.sigma, 1e-4) << c.K << ' ' << c.T;
    }
    EXPECT_TRUE(std::isnan(coin::implied_vol(call, 1.0, 100.0, 100.0, 0.0, 1.0)));
}

TEST(Coin, ExpiryGuardFollowsTheIntrinsicCoinValue) {
    const double D = 0.9;
    struct Row { OptionType type; double F; };
    for (const auto& [T, sigma] : {std::pair{0.0, 0.5}, {1.0, 0.0}})
        for (const auto& [type, F] : {Row{call, 125}, {call, 80}, {call, 100}, {put, 125}, {put, 80}, {put, 100}}) {
            const auto s = coin::sensitivities(type, F, 100, T, sigma, D);
            const auto q = b76::sensitivities(type, F, 100, T, sigma, D);
            EXPECT_TRUE(same_bits(s.value, q.value / F));
            EXPECT_DOUBLE_EQ(s.delta, q.delta - s.value);
            EXPECT_EQ(s.gamma, -2.0 * s.delta);
            EXPECT_EQ(s.vega, 0.0);
            EXPECT_EQ(s.theta, 0.0);
        }
    // In the money, the coin intrinsic value D (1 - K/F) has F dv/dF = D K/F and F^2 d2v/dF2 = -2 D K/F.
    const auto s = coin::sensitivities(call, 125, 100, 0.0, 0.5, D);
    EXPECT_DOUBLE_EQ(s.delta, D * 0.8);
    EXPECT_DOUBLE_EQ(s.gamma, -2.0 * D * 0.8);
}

}  // namespace
}  // namespace korvex
