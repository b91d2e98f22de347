#include "volmodel/vol_geo.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "volmodel_test_support.hpp"

namespace korvex {
namespace {

using namespace korvex::testing;

VolGeo geo(ParamMap params = {}) { return VolGeo::with_params(kExpiry, std::move(params)); }

TEST(VolGeo, DefaultsAndFittingParams) {
    EXPECT_TRUE(same_dict(geo().get_param_dict(),
                          dict({{"vpr", 1.0}, {"ref_spot", 100.0}, {"ref_vol", 50.0},
                                {"corr", 0.0}, {"vvol", 20.0}, {"offset", 0.0}})));
    EXPECT_TRUE(geo().arb_free());
    const auto f = geo().get_fitting_params();
    EXPECT_EQ(std::vector(f.begin(), f.end()),
              (std::vector<std::string_view>{"ref_vol", "corr", "vvol"}));
}

TEST(VolGeo, SymmetryAndSkewFigures) {
    EXPECT_EQ(geo().get_vol_single(0.25, 100.0, 100.0), 0.5);
    const double call = geo().get_vol_single(0.25, 100.0, 120.0);
    EXPECT_NEAR(call, 0.536, 5e-4);
    EXPECT_NEAR(geo().get_vol_single(0.25, 100.0, 1e4 / 120.0), call, 1e-14);

    const VolGeo skewed = geo(dict({{"corr", -0.5}}));
    EXPECT_NEAR(skewed.get_vol_single(0.25, 100.0, 80.0), 0.574, 5e-4);
    EXPECT_NEAR(skewed.get_vol_single(0.25, 100.0, 125.0), 0.507, 5e-4);
    // The at-the-money level rises as the spot falls (atm ~ 50.04), unless vpr is 0.
    EXPECT_NEAR(skewed.get_vol_single(0.25, 90.0, 90.0), 0.5004, 5e-5);
    EXPECT_GT(skewed.get_vol_single(0.25, 90.0, 90.0), 0.5);
    EXPECT_EQ(geo(dict({{"corr", -0.5}, {"vpr", 0.0}})).get_vol_single(0.25, 90.0, 90.0), 0.5);
}

// Reference values from an evaluation of the formula at 40 significant digits.
TEST(VolGeo, MatchesHighPrecisionReference) {
    const VolGeo m = geo(dict({{"ref_vol", 45.0}, {"corr", -0.3}, {"vvol", 30.0}, {"vpr", 0.8}}));
    const std::vector<std::pair<double, double>> expected{
        {60.0, 0.60010237724682481}, {95.0, 0.44875920462068302}, {130.0, 0.53848755203242874}};
    for (const auto& [k, vol] : expected) EXPECT_NEAR(m.get_vol_single(0.7, 90.0, k), vol, 2e-15);
}

TEST(VolGeo, NoVolOfVolIsFlat) {
    const VolGeo m = geo(dict({{"vvol", 0.0}, {"corr", 0.8}, {"ref_vol", 37.0}}));
    for (const double spot : {80.0, 130.0}) {
        for (const double v : m.get_vol(0.6, spot, std::vector{10.0, 90.0, 100.0, 500.0})) {
            EXPECT_EQ(v, 0.37);
        }
    }
}

TEST(VolGeo, OffsetIsCarriedButDoesNotMoveTheSmile) {
    VolGeo m = geo(dict({{"corr", -0.3}}));
    const std::vector<double> strikes{70.0, 100.0, 140.0};
    const auto before = m.get_vol(0.5, 95.0, strikes);
    m.set_param("offset", 3.5);
    EXPECT_EQ(m.offset(), 3.5);
    EXPECT_TRUE(same_bits(m.get_vol(0.5, 95.0, strikes), before));
    const std::array<std::string_view, 1> name{"offset"};
    const Jacobian jac = m.get_jacobian(0.5, 95.0, strikes, name);
    for (const double v : jac[0].values) EXPECT_EQ(v, 0.0);
}

TEST(VolGeo, HugeCorrelationSaturatesAtOne) {
    const std::vector<double> strikes{50.0, 90.0, 100.0, 115.0, 300.0};
    // tanh(20) already rounds to 1.0; past ~354.9 the exponential overflows.
    const auto saturated = geo(dict({{"corr", 20.0}})).get_vol(0.5, 95.0, strikes);
    for (const double v : saturated) EXPECT_TRUE(std::isfinite(v));
    for (const double corr : {400.0, 1e300, kInf}) {
        EXPECT_TRUE(same_bits(geo(dict({{"corr", corr}})).get_vol(0.5, 95.0, strikes), saturated));
    }
    EXPECT_TRUE(same_bits(geo(dict({{"corr", -1e300}})).get_vol(0.5, 95.0, strikes),
                          geo(dict({{"corr", -20.0}})).get_vol(0.5, 95.0, strikes)));
}

TEST(VolGeo, NonFiniteValuesPassThrough) {
    EXPECT_EQ(geo(dict({{"corr", 0.5}})).get_vol_single(0.25, 100.0, kInf), kInf);
    EXPECT_TRUE(std::isnan(geo().get_vol_single(0.0, 100.0, 100.0)));
    EXPECT_FALSE(std::isfinite(geo(dict({{"ref_vol", 0.0}})).get_vol_single(0.25, 100.0, 120.0)));
}

class VolGeoArbFree : public ::testing::TestWithParam<ArbCase> {};

TEST_P(VolGeoArbFree, Bounds) {
    EXPECT_EQ(geo(dict({{GetParam().param, GetParam().value}})).arb_free(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, VolGeoArbFree,
    ::testing::Values(ArbCase{"vvol", 0.999, false}, ArbCase{"vvol", 1.0, true},
                      ArbCase{"ref_vol", 1.0, false}, ArbCase{"ref_vol", 1.0001, true},
                      ArbCase{"vvol", kNaN, false}, ArbCase{"ref_vol", kNaN, false},
                      ArbCase{"corr", kNaN, true}, ArbCase{"offset", -5.0, true}));

}  // namespace
}  // namespace korvex
