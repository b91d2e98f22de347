#include "volmodel/gvv_spline.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "volmodel_test_support.hpp"

namespace korvex {
namespace {

using namespace korvex::testing;

GVVSpline gvv(ParamMap params = {}) { return GVVSpline::with_params(kExpiry, std::move(params)); }

TEST(GVVSpline, DefaultsGiveRefVolAtTheMoneyForAnyTimeOrSpot) {
    const GVVSpline m = gvv();
    EXPECT_TRUE(same_dict(m.get_param_dict(),
                          dict({{"vpr", 1.0}, {"ref_spot", 100.0}, {"ref_vol", 50.0},
                                {"skew", 0.0}, {"smile", 5.0}, {"pwing", 0.0}, {"cwing", 0.0},
                                {"offset", 0.0}})));
    EXPECT_TRUE(m.arb_free());
    const auto f = m.get_fitting_params();
    EXPECT_EQ(std::vector(f.begin(), f.end()),
              (std::vector<std::string_view>{"ref_vol", "skew", "smile"}));
    for (const double ttx : {1e-6, 0.25, 1.0, 7.5}) {
        for (const double spot : {1.0, 100.0, kNaN}) {
            EXPECT_EQ(m.get_vol(ttx, spot, std::vector{100.0}), std::vector{0.5}) << ttx;
        }
    }
    for (const std::string key : {"Skew", "skew ", " skew"}) {
        EXPECT_EQ(*gvv(dict({{key, 3.0}})).get_parameter("skew"), 0.0) << key;
    }
}

// Reference values from an evaluation of the smile formula at 40 significant digits.
TEST(GVVSpline, MatchesHighPrecisionReference) {
    const GVVSpline m = gvv(dict({{"ref_spot", 95.0}, {"ref_vol", 55.0}, {"skew", -3.0},
                                  {"smile", 7.0}, {"pwing", 0.4}, {"cwing", 0.2}}));
    const std::vector<std::pair<double, double>> expected{
        {40.0, 0.72313079153444668},  {70.0, 0.56987757655467377},
        {90.0, 0.55146119994453365},  {112.5, 0.54957451761666265},
        {150.0, 0.57346414155435712}, {400.0, 0.85129315861307935}};
    for (const auto& [k, vol] : expected) EXPECT_NEAR(m.get_vol_single(0.5, 123.0, k), vol, 2e-15);
}

TEST(GVVSpline, EachWingActsOnItsOwnSide) {
    const std::vector<double> strikes{60.0, 90.0, 100.0, 110.0, 160.0};
    const auto plain = gvv().get_vol(0.5, 100.0, strikes);
    const auto put = gvv(dict({{"pwing", 1.0}})).get_vol(0.5, 100.0, strikes);
    const auto call = gvv(dict({{"cwing", 1.0}})).get_vol(0.5, 100.0, strikes);
    for (std::size_t i = 0; i < strikes.size(); ++i) {
        EXPECT_EQ(put[i] > plain[i], strikes[i] < 100.0) << i;
        EXPECT_EQ(call[i] > plain[i], strikes[i] > 100.0) << i;
        EXPECT_GE(std::min(put[i], call[i]), plain[i]);
    }
}

TEST(GVVSpline, NonFiniteVolatilitiesBecomeNaN) {
    const GVVSpline m = gvv(dict({{"skew", 2.0}, {"pwing", 0.5}}));
    const auto vols = m.get_vol(0.5, 100.0, std::vector<double>{0.0, 90.0, -10.0, kInf});
    EXPECT_TRUE(std::isnan(vols[0]) && std::isnan(vols[2]) && std::isnan(vols[3]));
    EXPECT_TRUE(std::isfinite(vols[1]));
    for (const double v : m.get_vol(0.0, 100.0, std::vector<double>{80.0, 100.0})) {
        EXPECT_TRUE(std::isnan(v));
    }
    // Negative curvature drives the variance below zero in the wings.
    EXPECT_TRUE(std::isnan(gvv(dict({{"smile", -500.0}})).get_vol_single(1.0, 100.0, 20.0)));
}

class GVVArbFree : public ::testing::TestWithParam<ArbCase> {};

TEST_P(GVVArbFree, Bounds) {
    EXPECT_EQ(gvv(dict({{GetParam().param, GetParam().value}})).arb_free(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, GVVArbFree,
    ::testing::Values(ArbCase{"ref_vol", 10.0, false}, ArbCase{"ref_vol", 10.000001, true},
                      ArbCase{"smile", 0.999, false}, ArbCase{"smile", 1.0, true},
                      ArbCase{"pwing", -0.0001, false}, ArbCase{"cwing", -0.0001, false},
                      ArbCase{"ref_vol", kNaN, false}, ArbCase{"smile", kNaN, false},
                      ArbCase{"pwing", kNaN, false}, ArbCase{"cwing", kNaN, false},
                      ArbCase{"skew", -50.0, true}, ArbCase{"offset", kNaN, true}));

TEST(GVVSpline, BumpLandsOnlyWhenTheResultIsAdmissible) {
    GVVSpline m = gvv();
    m.bump_param("smile", -4.5);
    EXPECT_TRUE(same_dict(m.get_param_dict(), gvv().get_param_dict()));
    m.bump_param("smile", -4.0);
    EXPECT_EQ(*m.get_parameter("smile"), 1.0);
    GVVSpline failing = gvv(dict({{"ref_vol", 10.0}}));
    failing.bump_param("ref_vol", 1.0);
    EXPECT_EQ(*failing.get_parameter("ref_vol"), 11.0);
}

TEST(GVVSpline, ReanchorAtSameSpotKeepsLevel) {
    GVVSpline m = gvv(dict({{"ref_vol", 37.3}, {"skew", 4.0}}));
    m.reanchor(100.0, 0.7);
    EXPECT_EQ(*m.get_parameter("ref_spot"), 100.0);
    EXPECT_EQ(*m.get_parameter("ref_vol"), 100.0 * (37.3 / 100.0));
}

}  // namespace
}  // namespace korvex
