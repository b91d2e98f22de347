#include "surface/parity_forward.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "option_pricing/b76.hpp"
#include "surface_test_support.hpp"

namespace korvex {
namespace {

using namespace korvex::testing;

struct Chain {
    std::vector<double> strikes, calls, puts;
};

Chain chain(double forward, double df) {
    Chain c;
    for (double strike = 40000.0; strike <= 90000.0; strike += 2500.0) {
        c.strikes.push_back(strike);
        const double vol = 0.5 + 0.3 * std::fabs(std::log(strike / forward));
        c.calls.push_back(b76::fairvalue(OptionType::call, forward, strike, 0.2, vol, df));
        c.puts.push_back(b76::fairvalue(OptionType::put, forward, strike, 0.2, vol, df));
    }
    return c;
}

TEST(ParityForward, RecoversTheForwardAndDiscountFactorOfAPricedChain) {
    for (const auto& [forward, df] : {std::pair{62000.0, 0.99}, std::pair{58000.0, 1.0}, std::pair{71000.0, 0.9}}) {
        const Chain c = chain(forward, df);
        const ParityForward fit = *parity_forward(c.strikes, c.calls, c.puts);
        EXPECT_NEAR(fit.forward, forward, 1e-11 * forward);
        EXPECT_NEAR(fit.df, df, 1e-12);
    }
}

TEST(ParityForward, LeavesOutRowsWithANaNOnEitherSide) {
    Chain c = chain(62000.0, 0.99);
    c.calls[0] = kNaN;
    c.puts[3] = kNaN;
    c.strikes[5] = kNaN;
    c.calls[7] = 1e9;  // would wreck the fit if it were used
    c.puts[7] = kNaN;
    const ParityForward fit = *parity_forward(c.strikes, c.calls, c.puts);
    EXPECT_NEAR(fit.forward, 62000.0, 1e-11 * 62000.0);
    EXPECT_NEAR(fit.df, 0.99, 1e-12);
}

// Premiums anywhere inside a bid-ask spread of width `spread` move C - P by at most `spread` per
// row: the fit moves by at most what that allows through the least-squares weights.
TEST(ParityForward, NoiseWithinTheSpreadMovesTheFitByWhatTheSpreadAllows) {
    const double forward = 62000.0, df = 0.99, spread = 25.0;
    const Chain exact = chain(forward, df);
    const std::size_t n = exact.strikes.size();
    double mean_k = 0.0, mean_y = 0.0;
    for (std::size_t i = 0; i < n; ++i) mean_k += exact.strikes[i] / n, mean_y += (exact.calls[i] - exact.puts[i]) / n;
    double sxx = 0.0, weights = 0.0;
    for (const double k : exact.strikes) sxx += (k - mean_k) * (k - mean_k);
    for (const double k : exact.strikes) weights += std::fabs(k - mean_k) / sxx;
    const double df_bound = spread * weights;
    const double forward_bound = (spread + std::fabs(mean_y) / df * df_bound) / (df - df_bound);
    std::mt19937_64 rng(21);
    std::uniform_real_distribution<double> half(-spread / 2, spread / 2);
    double largest_df = 0.0, largest_forward = 0.0;
    for (int trial = 0; trial < 200; ++trial) {
        Chain c = exact;
        for (std::size_t i = 0; i < n; ++i) c.calls[i] += half(rng), c.puts[i] += half(rng);
        const ParityForward fit = *parity_forward(c.strikes, c.calls, c.puts);
        largest_df = std::max(largest_df, std::fabs(fit.df - df));
        largest_forward = std::max(largest_forward, std::fabs(fit.forward - forward));
    }
    EXPECT_LE(largest_df, df_bound);
    EXPECT_LE(largest_forward, forward_bound);
    // ... and noise of that size does move it.
    EXPECT_GT(largest_df, df_bound / 20);
    EXPECT_GT(largest_forward, forward_bound / 20);
}

struct BadChain {
    const char* name;
    std::vector<double> strikes, calls, puts;
    std::string message;
};

class ParityRefuses : public ::testing::TestWithParam<BadChain> {};

TEST_P(ParityRefuses, WithItsMessage) {
    const BadChain& c = GetParam();
    const Result<ParityForward> fit = parity_forward(c.strikes, c.calls, c.puts);
    ASSERT_FALSE(fit);
    EXPECT_EQ(fit.error().message, c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Chains, ParityRefuses,
    ::testing::Values(
        BadChain{"lengths", {1.0, 2.0}, {1.0}, {1.0, 2.0}, "strikes, calls and puts differ in length: 2, 1 and 2"},
        BadChain{"none", {}, {}, {}, "parity_forward needs at least two strikes quoted on both sides, got 0"},
        BadChain{"one_usable", {90.0, 100.0, 110.0}, {12.0, kNaN, 3.0}, {2.0, 5.0, kNaN},
                 "parity_forward needs at least two strikes quoted on both sides, got 1"},
        BadChain{"same_strike", {100.0, 100.0}, {5.0, 5.1}, {5.0, 4.9},
                 "parity_forward needs at least two different strikes quoted on both sides"},
        BadChain{"rising", {90.0, 110.0}, {1.0, 12.0}, {10.0, 2.0}, "the fitted discount factor is not positive: -0.95"},
        BadChain{"flat", {90.0, 110.0}, {5.0, 5.0}, {5.0, 5.0}, "the fitted discount factor is not positive: -0"},
        BadChain{"negative_forward", {90.0, 110.0}, {0.0, 0.0}, {100.0, 120.0},
                 "the fitted forward is not positive: -10"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace korvex
