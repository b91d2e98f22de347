#include "volmodel/cubic_spline.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "volmodel_test_support.hpp"

namespace korvex {
namespace {

using namespace korvex::testing;

CubicSpline cubic(ParamMap params = {}) {
    return CubicSpline::with_params(kExpiry, std::move(params));
}

// With spot = ref_spot = 100, ref_vol = 50 and ttx = 0.25 the knot axis is x = 4 ln(K / 100).
double vol_at(const CubicSpline& m, double x) {
    return m.get_vol_single(0.25, 100.0, 100.0 * std::exp(x / 4.0));
}

TEST(CubicSpline, DefaultsAreFlat) {
    const CubicSpline m = cubic();
    EXPECT_EQ(m.get_param_dict().size(), 13u);
    EXPECT_TRUE(m.arb_free());
    const auto f = m.get_fitting_params();
    EXPECT_EQ(std::vector(f.begin(), f.end()),
              (std::vector<std::string_view>{"ref_vol", "p25", "p20", "p15", "p10", "p05", "c05",
                                             "c10", "c15", "c20", "c25"}));
    for (const double ttx : {0.05, 0.25, 3.0}) {
        for (const double v : m.get_vol(ttx, 100.0, std::vector{1.0, 50.0, 100.0, 180.0, 1e5})) {
            EXPECT_DOUBLE_EQ(v, 0.5);
        }
    }
}

TEST(CubicSpline, WorkedSmile) {
    const CubicSpline m = cubic(dict({{"p05", 2.0}, {"p10", 1.5}, {"c05", 1.0}, {"c10", 0.5}}));
    const std::vector<std::pair<double, double>> knots{
        {-5.0, 0.535}, {-2.5, 0.535}, {-1.5, 0.535}, {-1.0, 0.535}, {-0.5, 0.52}, {0.0, 0.5},
        {0.5, 0.51},   {1.0, 0.515},  {1.5, 0.515},  {2.5, 0.515},  {5.0, 0.515}};
    for (const auto& [x, vol] : knots) EXPECT_NEAR(vol_at(m, x), vol, 1e-12) << x;
    EXPECT_NEAR(vol_at(m, -0.75), 0.530, 5e-4);
    EXPECT_NEAR(vol_at(m, -0.25), 0.508, 5e-4);
    EXPECT_NEAR(vol_at(m, 0.25), 0.504, 5e-4);
    EXPECT_NEAR(vol_at(m, 0.75), 0.513, 5e-4);
    for (const double x : {1.2, 3.0, 5.5, 40.0}) {
        EXPECT_NEAR(vol_at(m, -x), 0.535, 1e-12) << x;
        EXPECT_NEAR(vol_at(m, x), 0.515, 1e-12) << x;
    }
}

// Reference values from an independent evaluation at 40 significant digits, with the spot
// away from the anchor and strikes in intervals of every width and in both tails.
TEST(CubicSpline, MatchesHighPrecisionReference) {
    const CubicSpline m = cubic(dict({{"ref_spot", 95.0}, {"ref_vol", 55.0}, {"vpr", 0.7},
                                      {"p05", 2.0}, {"p10", 1.5}, {"p15", 1.0}, {"p20", 0.8},
                                      {"p25", 0.5}, {"c05", 1.0}, {"c10", 0.5}, {"c15", 0.3},
                                      {"c20", 0.2}, {"c25", 0.1}}));
    const std::vector<std::pair<double, double>> expected{
        {5.0, 0.62249258754638518},   {2000.0, 0.58205849837050032},
        {40.0, 0.61037252588074636},  {70.0, 0.58443751730328382},
        {80.0, 0.57032960258777200},  {86.0, 0.56193055802442532},
        {95.0, 0.56140440462054575},  {112.5, 0.57074258836615245},
        {150.0, 0.57694499322391280}, {400.0, 0.58053843774668007}};
    for (const auto& [k, vol] : expected) EXPECT_NEAR(m.get_vol_single(0.5, 90.0, k), vol, 2e-15);
}

TEST(CubicSpline, FirstPutKnotCarriesItsIncrement) {
    const CubicSpline m = cubic(dict({{"ref_vol", 40.0}, {"p05", 3.0}, {"p10", 1.0}}));
    for (const double ttx : {0.1, 0.9, 2.0}) {
        const double k = 100.0 * std::exp(-0.5 * std::sqrt(ttx) * 40.0 / 100.0);
        EXPECT_NEAR(m.get_vol_single(ttx, 100.0, k), 0.43, 1e-12) << ttx;
    }
}

TEST(CubicSpline, TailVarianceIsLinearAndNegativeVarianceIsNaN) {
    const CubicSpline m = cubic(dict({{"p25", -1.0}}));
    const auto var = [&](double x) { return std::pow(vol_at(m, x), 2); };
    EXPECT_LT(var(-5.0), var(-2.5));
    EXPECT_NEAR(var(-6.0) - var(-7.0), (0.25 - 0.49 * 0.49) / 2.5, 1e-12);
    EXPECT_NEAR(var(-7.0) - var(-8.0), (0.25 - 0.49 * 0.49) / 2.5, 1e-12);
    EXPECT_TRUE(std::isnan(vol_at(m, -70.0)));
    EXPECT_EQ(cubic(dict({{"c25", 1.0}})).get_vol_single(0.25, 100.0, kInf), kInf);
}

TEST(CubicSpline, LocalMaximumKnotIsFlat) {
    const CubicSpline m = cubic(dict({{"p05", 2.0}, {"p10", -2.0}}));
    const double peak = vol_at(m, -0.5);
    EXPECT_NEAR(peak, 0.52, 1e-12);
    for (const double eps : {1e-4, -1e-4}) {
        // Second order: a sloped curve would move by about 0.04 * eps.
        EXPECT_LE(vol_at(m, -0.5 + eps), peak);
        EXPECT_LT(peak - vol_at(m, -0.5 + eps), 1e-3 * std::fabs(eps));
    }
}

TEST(CubicSpline, AtTheMoneyFollowsTheSpot) {
    const ParamMap shaped = dict({{"p05", 2.0}, {"c05", 1.0}});
    EXPECT_NEAR(cubic(shaped).get_vol_single(0.25, 90.0, 90.0), 0.515, 5e-4);
    EXPECT_NEAR(cubic(shaped).get_vol_single(0.25, 90.0, 90.0), 0.5152, 5e-5);  // atm ~ 51.52
    EXPECT_LT(cubic(shaped).get_vol_single(4.0, 90.0, 90.0), 0.5);
    ParamMap still = shaped;
    still.insert_or_assign("vpr", 0.0);
    EXPECT_EQ(cubic(still).get_vol_single(0.25, 90.0, 90.0), 0.5);
}

TEST(CubicSpline, AtUnitTimeTheAnchoredSmileStaysFinite) {
    const CubicSpline m = cubic(dict({{"p05", 2.0}, {"c05", 1.0}, {"c10", 1.0}}));
    EXPECT_EQ(m.get_vol_single(1.0, 100.0, 100.0), 0.5);
    for (const double v : m.get_vol(1.0, 100.0, std::vector{70.0, 95.0, 130.0})) {
        EXPECT_TRUE(std::isfinite(v) && v > 0.5);
    }
    // Away from the anchor the shift term is used as written and diverges.
    EXPECT_FALSE(std::isfinite(m.get_vol_single(1.0, 90.0, 90.0)));
}

class CubicArbFree : public ::testing::TestWithParam<ArbCase> {};

TEST_P(CubicArbFree, Bounds) {
    EXPECT_EQ(cubic(dict({{GetParam().param, GetParam().value}})).arb_free(),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CubicArbFree,
    ::testing::Values(ArbCase{"p25", -0.01, false}, ArbCase{"c25", -0.01, false},
                      ArbCase{"ref_vol", 1.0, false}, ArbCase{"ref_vol", 1.000001, true},
                      ArbCase{"p25", kNaN, false}, ArbCase{"c25", kNaN, false},
                      ArbCase{"ref_vol", kNaN, false}, ArbCase{"p05", -30.0, true},
                      ArbCase{"c20", kNaN, true}));

}  // namespace
}  // namespace korvex
