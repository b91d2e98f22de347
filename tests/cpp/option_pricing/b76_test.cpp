#include "option_pricing/b76.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace korvex {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr auto call = OptionType::call;
constexpr auto put = OptionType::put;

// The reference option and the put-call parity pair of docs/pricing.md.
TEST(B76, FiguresOfThePricingGuide) {
    EXPECT_NEAR(b76::fairvalue(call, 100, 100, 1, 0.5, 1), 19.7412651366, 5e-11);
    EXPECT_NEAR(b76::fairvalue(put, 100, 100, 1, 0.5, 1), 19.7412651366, 5e-11);
    EXPECT_NEAR(b76::vega(100, 100, 1, 0.5, 1), 38.6668116803, 5e-11);
    EXPECT_NEAR(b76::gamma(100, 100, 1, 0.5, 1), 7.733362336e-05, 5e-15);
    EXPECT_NEAR(b76::delta(call, 100, 100, 1, 0.5, 1), 0.007733362336, 5e-13);
    EXPECT_NEAR(b76::delta(put, 100, 100, 1, 0.5, 1), -0.007733362336, 5e-13);
    const double c = b76::fairvalue(call, 100, 120, 0.25, 0.8, 0.99);
    const double p = b76::fairvalue(put, 100, 120, 0.25, 0.8, 0.99);
    EXPECT_NEAR(c, 9.0962137624, 5e-11);
    EXPECT_NEAR(p, 28.8962137624, 5e-11);
    EXPECT_NEAR(c - p, -19.8, 1e-12);
}

TEST(B76, ExpiryGuardGivesDiscountedIntrinsic) {
    for (const auto& [t, v] : {std::pair{0.0, 0.5}, {-1.0, 0.5}, {1.0, 0.0}, {1.0, -0.2}}) {
        EXPECT_EQ(b76::fairvalue(call, 110, 100, t, v, 1), 10.0);
        EXPECT_EQ(b76::fairvalue(put, 110, 100, t, v, 1), 0.0);
        EXPECT_EQ(b76::fairvalue(call, 110, 100, t, v, 0.5), 5.0);
        EXPECT_EQ(b76::vega(110, 100, t, v, 1), 0.0);
        EXPECT_EQ(b76::gamma(110, 100, t, v, 1), 0.0);
        EXPECT_EQ(b76::delta(put, 110, 100, t, v, 1), 0.0);
    }
    // fmax semantics: a NaN difference counts as worthless.
    EXPECT_EQ(b76::fairvalue(call, kNaN, 100, 0, 0.5, 1), 0.0);
}

TEST(B76, NaNTimeOrVolatilityFlowsThrough) {
    for (const auto& [t, v] : {std::pair{kNaN, 0.5}, {1.0, kNaN}}) {
        EXPECT_TRUE(std::isnan(b76::fairvalue(call, 100, 100, t, v, 1)));
        EXPECT_TRUE(std::isnan(b76::vega(100, 100, t, v, 1)));
        EXPECT_TRUE(std::isnan(b76::gamma(100, 100, t, v, 1)));
        EXPECT_TRUE(std::isnan(b76::delta(call, 100, 100, t, v, 1)));
    }
}

TEST(B76, ZeroForwardOrStrikeFollowIeeeLimits) {
    EXPECT_EQ(b76::fairvalue(call, 0, 100, 1, 0.5, 0.9), 0.0);
    EXPECT_DOUBLE_EQ(b76::fairvalue(put, 0, 100, 1, 0.5, 0.9), 90.0);
    EXPECT_DOUBLE_EQ(b76::fairvalue(call, 100, 0, 1, 0.5, 0.9), 90.0);
    EXPECT_EQ(b76::fairvalue(put, 100, 0, 1, 0.5, 0.9), 0.0);
    EXPECT_TRUE(std::isnan(b76::fairvalue(call, -100, 100, 1, 0.5, 1)));
}

TEST(B76, VegaAgreesWithCentralDifferenceOfValue) {
    const double h = 1e-6;
    for (const double k : {60.0, 100.0, 150.0}) {
        const double fd = (b76::fairvalue(call, 100, k, 0.7, 0.6 + h, 0.97) -
                           b76::fairvalue(call, 100, k, 0.7, 0.6 - h, 0.97)) / (2 * h);
        EXPECT_NEAR(b76::vega(100, k, 0.7, 0.6, 0.97), fd, 1e-6);
    }
}

}  // namespace
}  // namespace korvex
