#include "surface/marks.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "option_pricing/b76_sensitivities.hpp"
#include "surface_test_support.hpp"

namespace korvex {
namespace {

using namespace korvex::testing;

struct DeltaCase {
    double delta;
    OptionType type;
};

class DeltaRoundTrip : public ::testing::TestWithParam<DeltaCase> {};

// The strike found, priced at the surface's vol there, has the asked delta.
TEST_P(DeltaRoundTrip, ThroughTheDeskDelta) {
    const auto [delta, type] = GetParam();
    const Surface surface = TermStructure().surface();
    for (const double tau : {7.0 / 365, 12.5 / 365, 30.0 / 365, 0.6, 2.0}) {
        for (const double forward : {40000.0, 61000.0}) {
            const double strike = delta_strike(surface, tau, forward, delta, type);
            ASSERT_TRUE(std::isfinite(strike)) << tau;
            const double vol = surface.vol(tau, forward, strike);
            const double found = b76::sensitivities(type, forward, strike, tau, vol, 1.0).delta;
            EXPECT_NEAR(found, delta, 1e-12) << tau << ' ' << forward;
            EXPECT_TRUE(same_bits(delta_vol(surface, tau, forward, delta, type), vol));
            // Out-of-the-money for small deltas: calls above the forward, puts below.
            if (std::fabs(delta) < 0.45) {
                EXPECT_EQ(strike > forward, type == OptionType::call);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Deltas, DeltaRoundTrip,
                         ::testing::Values(DeltaCase{0.01, OptionType::call}, DeltaCase{0.25, OptionType::call},
                                           DeltaCase{0.5, OptionType::call}, DeltaCase{0.9, OptionType::call},
                                           DeltaCase{-0.01, OptionType::put}, DeltaCase{-0.25, OptionType::put},
                                           DeltaCase{-0.5, OptionType::put}, DeltaCase{-0.9, OptionType::put}));

TEST(DeltaStrike, NaNOutsideTheOpenRangeOrTheBracket) {
    const Surface surface = TermStructure().surface();
    for (const double delta : {0.0, 1.0, -0.25, 1.5, kNaN}) {
        EXPECT_TRUE(std::isnan(delta_strike(surface, 0.1, 60000.0, delta, OptionType::call))) << delta;
    }
    for (const double delta : {0.0, -1.0, 0.25, -1.5, kNaN}) {
        EXPECT_TRUE(std::isnan(delta_strike(surface, 0.1, 60000.0, delta, OptionType::put))) << delta;
    }
    // Beyond ten at-the-money deviations: no strike in the bracket.
    EXPECT_TRUE(std::isnan(delta_strike(surface, 0.1, 60000.0, 1e-30, OptionType::call)));
    EXPECT_TRUE(std::isnan(delta_strike(surface, 0.1, 60000.0, -1e-30, OptionType::put)));
    EXPECT_TRUE(std::isnan(delta_strike(surface, 0.0, 60000.0, 0.25, OptionType::call)));
    EXPECT_TRUE(std::isnan(delta_strike(surface, 0.1, kNaN, 0.25, OptionType::call)));
    EXPECT_TRUE(std::isnan(delta_vol(surface, 0.1, 60000.0, 1e-30, OptionType::call)));
}

// A call smile rising so steeply that N(d1) turns back up: a far root exists beside the near one.
TEST(DeltaStrike, TakesTheRootNearestTheMoney) {
    const double forward = 100.0, tau = 0.25;
    const FunctionSlice steep([](double, double spot, double strike) {
        const double k = std::log(strike / spot);
        return k > 0.0 ? 0.4 + 6.0 * k * k : 0.4;
    });
    const std::vector<const VolSlice*> models{&steep};
    const std::vector<double> forwards{forward}, taus{tau};
    const Surface surface = *Surface::build(models, forwards, taus, taus);
    auto delta_at = [&](double k) {
        const double strike = forward * std::exp(k);
        return b76::sensitivities(OptionType::call, forward, strike, tau, surface.vol(tau, forward, strike), 1.0).delta;
    };
    // The delta falls from the money, bottoms out, and climbs back inside the bracket.
    double lowest = 1.0, lowest_k = 0.0;
    for (double k = 0.0; k < 2.0; k += 1e-3) {
        if (delta_at(k) < lowest) lowest = delta_at(k), lowest_k = k;
    }
    ASSERT_GT(delta_at(2.0), lowest + 0.05);
    const double target = lowest + 0.02;
    const double strike = delta_strike(surface, tau, forward, target, OptionType::call);
    const double k = std::log(strike / forward);
    EXPECT_NEAR(delta_at(k), target, 1e-12);
    EXPECT_LT(k, lowest_k);
    for (double x = 0.0; x < k - 1e-9; x += k / 1000.0) EXPECT_GT(delta_at(x), target);
}

TEST(Marks, FlatSurfaceHasNoSkewAndNoSmile) {
    const FunctionSlice flat = flat_slice(0.7);
    const std::vector<const VolSlice*> models{&flat, &flat};
    const std::vector<double> forwards{100.0, 101.0}, taus{0.1, 0.4};
    const Surface surface = *Surface::build(models, forwards, taus, taus);
    for (const double tau : {0.05, 0.2, 0.9}) {
        EXPECT_EQ(atm_vol(surface, tau, 100.0), 0.7);
        EXPECT_NEAR(risk_reversal(surface, tau, 100.0, 0.25), 0.0, 1e-15);
        EXPECT_NEAR(butterfly(surface, tau, 100.0, 0.25), 0.0, 1e-15);
    }
}

TEST(Marks, ANegativeSkewGivesANegativeRiskReversalAndASmileAPositiveButterfly) {
    const Surface surface = TermStructure().surface();
    for (const double tau : {7.0 / 365, 30.0 / 365, 90.0 / 365}) {
        EXPECT_LT(risk_reversal(surface, tau, 61000.0, 0.25), -0.005) << tau;
        EXPECT_GT(butterfly(surface, tau, 61000.0, 0.25), 0.001) << tau;
        EXPECT_EQ(atm_vol(surface, tau, 61000.0), surface.vol(tau, 61000.0, 61000.0));
    }
}

}  // namespace
}  // namespace korvex
