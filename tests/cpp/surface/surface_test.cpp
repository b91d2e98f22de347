#include "surface/surface.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "surface_test_support.hpp"

namespace korvex {
namespace {

using namespace korvex::testing;

const std::vector<double> kStrikes{30000.0, 52000.0, 60000.0, 61000.0, 61234.5, 70000.0, 120000.0};

TEST(Surface, AtASliceTimeIsThatSlicesGetVolBitForBit) {
    const TermStructure term;
    const Surface surface = term.surface();
    for (std::size_t i = 0; i < term.models.size(); ++i) {
        const std::vector<double> own = term.models[i].get_vol(term.taus[i], term.forwards[i], kStrikes);
        for (std::size_t j = 0; j < kStrikes.size(); ++j) {
            EXPECT_TRUE(same_bits(surface.vol(term.taus[i], term.forwards[i], kStrikes[j]), own[j])) << i << ' ' << j;
        }
        // Another query forward: the slice's vol at the same forward moneyness.
        const double forward = 58000.0;
        const double moved = kStrikes[2] * (term.forwards[i] / forward);
        EXPECT_TRUE(same_bits(surface.vol(term.taus[i], forward, kStrikes[2]),
                              term.models[i].get_vol(term.taus[i], term.forwards[i], std::vector{moved})[0]));
    }
}

TEST(Surface, BetweenSlicesTotalVarianceIsLinearInBusinessTime) {
    const TermStructure term;
    const Surface surface = term.surface();
    const double forward = 59000.0;
    for (const double tau : {8.0 / 365, 20.0 / 365, 29.9 / 365, 45.0 / 365, 0.5}) {
        std::size_t b = 1;
        while (term.taus[b] < tau) ++b;
        const std::size_t a = b - 1;
        for (const double strike : kStrikes) {
            // By hand: each slice at its own time and the query's forward moneyness.
            const double va = term.models[a].get_vol_single(term.taus[a], term.forwards[a], strike * term.forwards[a] / forward);
            const double vb = term.models[b].get_vol_single(term.taus[b], term.forwards[b], strike * term.forwards[b] / forward);
            const double wa = va * va * term.taus[a], wb = vb * vb * term.taus[b];
            const double expected = std::sqrt((wa + (wb - wa) * (tau - term.taus[a]) / (term.taus[b] - term.taus[a])) / tau);
            EXPECT_NEAR(surface.vol(tau, forward, strike), expected, 1e-13 * expected) << tau << ' ' << strike;
        }
    }
}

TEST(Surface, FlatVolAtFixedMoneynessBeyondTheEnds) {
    const TermStructure term;
    const Surface surface = term.surface();
    const double forward = 63000.0;
    for (const double strike : kStrikes) {
        const double first = surface.vol(term.taus.front(), forward, strike);
        const double last = surface.vol(term.taus.back(), forward, strike);
        for (const double tau : {1e-9, 1.0 / 365, 6.99 / 365}) EXPECT_TRUE(same_bits(surface.vol(tau, forward, strike), first));
        for (const double tau : {1.0000001, 3.0, 50.0}) EXPECT_TRUE(same_bits(surface.vol(tau, forward, strike), last));
    }
}

struct NanCase {
    const char* name;
    double tau, forward, strike;
};

class SurfaceNan : public ::testing::TestWithParam<NanCase> {};

TEST_P(SurfaceNan, GivesNaN) {
    const NanCase c = GetParam();
    EXPECT_TRUE(std::isnan(TermStructure().surface().vol(c.tau, c.forward, c.strike)));
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, SurfaceNan,
    ::testing::Values(NanCase{"tau_zero", 0.0, 60000.0, 60000.0}, NanCase{"tau_negative", -0.1, 60000.0, 60000.0},
                      NanCase{"tau_nan", kNaN, 60000.0, 60000.0}, NanCase{"forward_nan", 0.1, kNaN, 60000.0},
                      NanCase{"forward_inf", 0.1, kInf, 60000.0}, NanCase{"forward_zero", 0.1, 0.0, 60000.0},
                      NanCase{"forward_negative", 0.1, -60000.0, 60000.0}, NanCase{"strike_nan", 0.1, 60000.0, kNaN},
                      NanCase{"strike_inf", 0.1, 60000.0, kInf}, NanCase{"strike_zero", 0.1, 60000.0, 0.0},
                      NanCase{"strike_negative", 0.1, 60000.0, -5.0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Surface, ANaNSliceVolGivesNaNWhereThatSliceIsUsed) {
    const FunctionSlice good = flat_slice(0.5);
    const FunctionSlice holed([](double, double, double k) { return k > 100.0 ? kNaN : 0.5; });
    const std::vector<const VolSlice*> models{&good, &holed, &good};
    const std::vector<double> forwards{100.0, 100.0, 100.0}, taus{0.1, 0.2, 0.3};
    const Surface surface = *Surface::build(models, forwards, taus, taus);
    EXPECT_TRUE(std::isnan(surface.vol(0.15, 100.0, 120.0)));
    EXPECT_TRUE(std::isnan(surface.vol(0.25, 100.0, 120.0)));
    EXPECT_TRUE(std::isnan(surface.vol(0.2, 100.0, 120.0)));
    EXPECT_EQ(surface.vol(0.15, 100.0, 90.0), 0.5);
    EXPECT_EQ(surface.vol(0.1, 100.0, 120.0), 0.5);
}

TEST(Surface, SortsSlicesByBusinessTimeAndKeepsItsOwnCopies) {
    TermStructure term;
    std::vector<const VolSlice*> models = term.pointers();
    const std::vector<double> forwards{term.forwards[2], term.forwards[0], term.forwards[3], term.forwards[1]};
    const std::vector<double> taus{term.taus[2], term.taus[0], term.taus[3], term.taus[1]};
    const std::vector<const VolSlice*> shuffled{models[2], models[0], models[3], models[1]};
    const Surface ordered = term.surface();
    const Surface surface = *Surface::build(shuffled, forwards, taus, taus);
    ASSERT_EQ(surface.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(surface.slices()[i].business_time, term.taus[i]);
        EXPECT_EQ(surface.slices()[i].forward, term.forwards[i]);
    }
    const double before = surface.vol(0.3, 60000.0, 50000.0);
    EXPECT_TRUE(same_bits(before, ordered.vol(0.3, 60000.0, 50000.0)));
    term.models[2].set_param("ref_vol", 10.0);
    EXPECT_TRUE(same_bits(surface.vol(0.3, 60000.0, 50000.0), before));
}

struct BadInput {
    const char* name;
    std::vector<double> forwards, taus;
    std::size_t models;
    std::string message;
};

class SurfaceRefuses : public ::testing::TestWithParam<BadInput> {};

TEST_P(SurfaceRefuses, WithItsMessage) {
    const BadInput c = GetParam();
    const FunctionSlice model = flat_slice(0.4);
    const std::vector<const VolSlice*> models(c.models, &model);
    const Result<Surface> surface = Surface::build(models, c.forwards, c.taus, c.taus);
    ASSERT_FALSE(surface);
    EXPECT_EQ(surface.error().message, c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, SurfaceRefuses,
    ::testing::Values(
        BadInput{"empty", {}, {}, 0, "smiles is empty: a surface needs at least one slice"},
        BadInput{"lengths", {100.0}, {0.1, 0.2}, 2, "smiles and forwards differ in length: 2 and 1"},
        BadInput{"forward_nan", {100.0, kNaN}, {0.1, 0.2}, 2, "forwards[1] must be finite and positive, got nan"},
        BadInput{"forward_zero", {0.0}, {0.1}, 1, "forwards[0] must be finite and positive, got 0"},
        BadInput{"forward_inf", {kInf}, {0.1}, 1, "forwards[0] must be finite and positive, got inf"},
        BadInput{"tau_zero", {1.0, 1.0}, {0.1, 0.0}, 2,
                 "smiles[1] expires 0 business years after as_of: a slice's business time must be positive"},
        BadInput{"tau_negative", {1.0}, {-0.25}, 1,
                 "smiles[0] expires -0.25 business years after as_of: a slice's business time must be positive"},
        BadInput{"tau_nan", {1.0}, {kNaN}, 1,
                 "smiles[0] expires nan business years after as_of: a slice's business time must be positive"},
        BadInput{"tau_equal", {1.0, 1.0, 1.0}, {0.3, 0.1, 0.3}, 3,
                 "smiles[0] and smiles[2] expire at the same business time, 0.3 years: slices need distinct "
                 "business times"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace korvex
