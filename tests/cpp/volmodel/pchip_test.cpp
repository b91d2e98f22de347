#include "volmodel/pchip.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "volmodel/cubic_spline.hpp"
#include "volmodel_test_support.hpp"

namespace korvex {
namespace {

using namespace korvex::testing;

constexpr auto& kXs = kCubicKnots;
using Row = std::array<double, 11>;

Row slopes_of(const Row& ys) {
    Row ds{};
    pchip_slopes(kXs, ys, ds);
    return ds;
}

TEST(PchipEval, ReproducesACubicGivenItsDerivatives) {
    const auto f = [](double x) { return ((0.3 * x - 1.0) * x + 2.0) * x + 1.0; };
    const auto df = [](double x) { return (0.9 * x - 2.0) * x + 2.0; };
    Row ys, ds;
    for (std::size_t i = 0; i < kXs.size(); ++i) {
        ys[i] = f(kXs[i]);
        ds[i] = df(kXs[i]);
    }
    for (double x = -4.99; x < 5.0; x += 0.037) {
        EXPECT_NEAR(pchip_eval(kXs, ys, ds, x), f(x), 1e-12 * (1.0 + std::fabs(f(x)))) << x;
    }
    for (std::size_t i = 0; i < kXs.size(); ++i) EXPECT_EQ(pchip_eval(kXs, ys, ds, kXs[i]), ys[i]);
    EXPECT_TRUE(std::isnan(pchip_eval(kXs, ys, ds, kNaN)));
    EXPECT_TRUE(std::isnan(pchip_eval(kXs, ys, std::span(ds).first(10), 0.3)));  // size mismatch
}

TEST(PchipEval, ContinuesLinearlyAlongTheEndSecants) {
    const Row ys{3.0, 1.0, 0.5, 0.4, 0.3, 0.25, 0.3, 0.5, 0.7, 1.5, 2.0};
    const Row ds = slopes_of(ys);
    const double left = (1.0 - 3.0) / 2.5, right = (2.0 - 1.5) / 2.5;
    EXPECT_EQ(ds[0], left);
    EXPECT_EQ(ds[10], right);
    for (const double step : {0.5, 3.0, 100.0}) {
        EXPECT_NEAR(pchip_eval(kXs, ys, ds, -5.0 - step), 3.0 - left * step, 1e-12);
        EXPECT_NEAR(pchip_eval(kXs, ys, ds, 5.0 + step), 2.0 + right * step, 1e-12);
    }
    EXPECT_EQ(pchip_eval(kXs, ys, ds, -kInf), kInf);
}

TEST(PchipSlopes, UnevenSpacingWeighsTheSecants) {
    // At -2.5 (spacings 2.5 | 1.0, secants 0.5 | 1): 10.5 / (4.5 / 0.5 + 6 / 1) = 0.7.
    // At -1.5 (spacings 1.0 | 0.5, secants 1 | 2): 4.5 / (2 / 1 + 2.5 / 2) = 18 / 13.
    const Row ds = slopes_of(Row{-1.25, 0.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 9.0});
    EXPECT_NEAR(ds[1], 0.7, 1e-15);
    EXPECT_NEAR(ds[2], 18.0 / 13.0, 1e-15);
}

// Knot rows shaped like variance curves: monotone runs, extrema, plateaus.
class PchipShape : public ::testing::TestWithParam<Row> {};

TEST_P(PchipShape, MonotoneBetweenKnotValuesOnEachInterval) {
    const Row& ys = GetParam();
    const Row ds = slopes_of(ys);
    for (std::size_t i = 0; i + 1 < kXs.size(); ++i) {
        const double lo = std::min(ys[i], ys[i + 1]), hi = std::max(ys[i], ys[i + 1]);
        const double dir = ys[i + 1] >= ys[i] ? 1.0 : -1.0;
        double prev = ys[i];
        for (int s = 1; s <= 200; ++s) {
            const double v = pchip_eval(kXs, ys, ds, kXs[i] + (kXs[i + 1] - kXs[i]) * s / 200.0);
            EXPECT_TRUE(v >= lo - 1e-15 && v <= hi + 1e-15) << "interval " << i;
            EXPECT_GE(dir * (v - prev), -1e-15) << "interval " << i << " step " << s;
            prev = v;
        }
    }
}

TEST_P(PchipShape, ContinuouslyDifferentiableAtTheKnots) {
    const Row& ys = GetParam();
    const Row ds = slopes_of(ys);
    const double h = 1e-6;
    for (std::size_t k = 0; k < kXs.size(); ++k) {
        const double at = pchip_eval(kXs, ys, ds, kXs[k]);
        EXPECT_NEAR((at - pchip_eval(kXs, ys, ds, kXs[k] - h)) / h, ds[k], 1e-5) << k;
        EXPECT_NEAR((pchip_eval(kXs, ys, ds, kXs[k] + h) - at) / h, ds[k], 1e-5) << k;
        // Flat at an interior extremum or where a plateau begins or ends.
        if (k > 0 && k < 10 && (ys[k] - ys[k - 1]) * (ys[k + 1] - ys[k]) <= 0.0) {
            EXPECT_EQ(ds[k], 0.0) << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PchipShape,
    ::testing::Values(Row{0.29, 0.286, 0.286, 0.286, 0.27, 0.25, 0.26, 0.265, 0.265, 0.265, 0.265},
                      Row{0.4, 0.35, 0.31, 0.29, 0.27, 0.25, 0.24, 0.235, 0.236, 0.25, 0.3},
                      Row{0.2, 0.3, 0.2, 0.3, 0.2, 0.3, 0.2, 0.3, 0.2, 0.3, 0.2},
                      Row{0.1, 0.1, 0.1, 0.2, 0.5, 0.9, 1.0, 1.0, 1.2, 3.0, 9.0}));

}  // namespace
}  // namespace korvex
