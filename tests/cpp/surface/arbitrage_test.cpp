#include "surface/arbitrage.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "option_pricing/normal.hpp"
#include "surface_test_support.hpp"

namespace korvex {
namespace {

using namespace korvex::testing;

Surface surface_of(const std::vector<const VolSlice*>& models, const std::vector<double>& taus) {
    const std::vector<double> forwards(models.size(), 100.0);
    return *Surface::build(models, forwards, taus, taus);
}

TEST(Arbitrage, NoneOnACleanSurface) {
    const Surface surface = TermStructure().surface();
    const ArbitrageReport report = *arbitrage(surface);
    ASSERT_EQ(report.min_density.size(), 4u);
    ASSERT_EQ(report.min_calendar_spread.size(), 3u);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_GT(report.min_density[i], 0.0) << i;
    for (std::size_t i = 0; i < 3; ++i) EXPECT_GT(report.min_calendar_spread[i], 0.0) << i;
}

// A flat smile has the lognormal density; on a tight even k grid the uneven three-point formula
// gives it to second order, where the symmetric one would be off by about -0.5/K of a unit.
TEST(Arbitrage, DensityIsTheLognormalOneForAFlatSmile) {
    const double vol = 0.8, tau = 0.25;
    const FunctionSlice flat = flat_slice(vol);
    const Surface surface = surface_of({&flat}, {tau});
    const double d = 1e-3;
    const std::vector<double> grid{-d, 0.0, d};
    const ArbitrageReport report = *arbitrage(surface, grid);
    const double v = vol * std::sqrt(tau);
    const double lognormal = norm_pdf(-0.5 * v) / (100.0 * v);
    EXPECT_NEAR(report.min_density[0], lognormal, 1e-6 * lognormal);
    EXPECT_EQ(report.density_k[0], 0.0);
    // The whole default grid of a flat smile is clean, wings included.
    EXPECT_GT(arbitrage(surface)->min_density[0], 0.0);
}

TEST(Arbitrage, FindsAPlantedCalendarViolation) {
    const FunctionSlice first = flat_slice(0.6), second = flat_slice(0.55);
    // Total variance at 0.3 falls below that at 0.2 on the put side only.
    const FunctionSlice third([](double, double spot, double strike) { return strike < 0.8 * spot ? 0.3 : 0.5; });
    const std::vector<double> taus{0.1, 0.2, 0.3};
    const ArbitrageReport report = *arbitrage(surface_of({&first, &second, &third}, taus));
    EXPECT_GT(report.min_calendar_spread[0], 0.0);
    EXPECT_NEAR(report.min_calendar_spread[1], 0.3 * 0.3 * 0.3 - 0.55 * 0.55 * 0.2, 1e-15);
    EXPECT_LT(report.calendar_k[1], std::log(0.8));
}

TEST(Arbitrage, FindsAPlantedButterflyViolation) {
    // A narrow spike of vol above the money: call values rise with the strike into it.
    const FunctionSlice spiked([](double, double spot, double strike) {
        const double k = std::log(strike / spot);
        return 0.5 + 0.4 * std::exp(-std::pow((k - 0.2) / 0.03, 2));
    });
    const FunctionSlice clean = flat_slice(0.5);
    const ArbitrageReport report = *arbitrage(surface_of({&clean, &spiked}, {0.1, 0.4}));
    EXPECT_GT(report.min_density[0], 0.0);
    EXPECT_LT(report.min_density[1], 0.0);
    EXPECT_NEAR(report.density_k[1], 0.2, 0.06);
}

TEST(Arbitrage, AGivenGridServesEverySlice) {
    const FunctionSlice a = flat_slice(0.4), b = flat_slice(0.5);
    const std::vector<double> grid{-0.5, -0.1, 0.0, 0.3};
    const ArbitrageReport report = *arbitrage(surface_of({&a, &b}, {0.1, 0.2}), grid);
    EXPECT_NEAR(report.min_calendar_spread[0], 0.5 * 0.5 * 0.2 - 0.4 * 0.4 * 0.1, 1e-16);
    EXPECT_EQ(report.calendar_k[0], -0.5);
    EXPECT_TRUE(report.density_k[0] == -0.1 || report.density_k[0] == 0.0 || report.density_k[0] == 0.3);
}

TEST(Arbitrage, NaNVolsGiveNaNFigures) {
    const FunctionSlice good = flat_slice(0.5);
    const FunctionSlice holed([](double, double spot, double strike) { return strike > 1.1 * spot ? kNaN : 0.5; });
    const ArbitrageReport report = *arbitrage(surface_of({&good, &holed}, {0.1, 0.2}));
    EXPECT_GT(report.min_density[0], 0.0);
    EXPECT_TRUE(std::isnan(report.min_density[1]) && std::isnan(report.density_k[1]));
    EXPECT_TRUE(std::isnan(report.min_calendar_spread[0]) && std::isnan(report.calendar_k[0]));
}

struct BadGrid {
    const char* name;
    std::vector<double> grid;
    std::string message;
};

class ArbitrageRefuses : public ::testing::TestWithParam<BadGrid> {};

TEST_P(ArbitrageRefuses, WithItsMessage) {
    const Result<ArbitrageReport> report = arbitrage(TermStructure().surface(), GetParam().grid);
    ASSERT_FALSE(report);
    EXPECT_EQ(report.error().message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Grids, ArbitrageRefuses,
    ::testing::Values(BadGrid{"empty", {}, "grid must hold at least three log-moneyness values, got 0"},
                      BadGrid{"two", {-0.1, 0.1}, "grid must hold at least three log-moneyness values, got 2"},
                      BadGrid{"nan", {-0.1, kNaN, 0.1}, "grid[1] is not finite: nan"},
                      BadGrid{"inf", {-0.1, 0.0, kInf}, "grid[2] is not finite: inf"},
                      BadGrid{"repeated", {-0.1, 0.0, 0.0}, "grid must be strictly increasing, but grid[2] = 0 follows 0"},
                      BadGrid{"falling", {0.1, 0.0, 0.2}, "grid must be strictly increasing, but grid[1] = 0 follows 0.1"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace korvex
