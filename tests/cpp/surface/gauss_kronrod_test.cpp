#include "surface/gauss_kronrod.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace korvex {
namespace {

struct Known {
    const char* name;
    double (*f)(double);
    std::vector<double> edges;
    double value;
};

class GaussKronrod : public ::testing::TestWithParam<Known> {};

TEST_P(GaussKronrod, IntegratesToTheAskedRelativeAccuracy) {
    const Known& c = GetParam();
    const QuadratureResult r = integrate(c.f, c.edges, QuadratureSettings{1e-12, 4000});
    EXPECT_TRUE(r.converged);
    EXPECT_NEAR(r.value, c.value, 1e-12 * std::fabs(c.value));
}

INSTANTIATE_TEST_SUITE_P(
    Integrals, GaussKronrod,
    ::testing::Values(
        Known{"exp", [](double x) { return std::exp(x); }, {0.0, 1.0}, std::exp(1.0) - 1.0},
        // A peak far narrower than the first panel: found only by refining.
        Known{"narrow_peak", [](double x) { return 1.0 / (1e-4 + (x - 0.3) * (x - 0.3)); }, {0.0, 1.0},
              (std::atan(0.7 / 1e-2) + std::atan(0.3 / 1e-2)) / 1e-2},
        Known{"kink_at_an_edge", [](double x) { return std::fabs(x); }, {-1.0, 0.0, 2.0}, 2.5},
        Known{"sqrt_endpoint", [](double x) { return std::sqrt(x); }, {0.0, 1.0}, 2.0 / 3.0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GaussKronrodStops, OnANaNOrAnExhaustedBudget) {
    const QuadratureResult nan = integrate([](double x) { return x > 0.5 ? std::nan("") : 1.0; },
                                           std::vector{0.0, 1.0}, QuadratureSettings{1e-12, 100});
    EXPECT_FALSE(nan.converged);
    EXPECT_TRUE(std::isnan(nan.value));
    const QuadratureResult rough = integrate([](double x) { return std::sin(1.0 / (x + 1e-9)); },
                                             std::vector{0.0, 1.0}, QuadratureSettings{1e-15, 8});
    EXPECT_FALSE(rough.converged);
}

}  // namespace
}  // namespace korvex
