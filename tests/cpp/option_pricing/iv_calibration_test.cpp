#include "option_pricing/iv_calibration.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "option_pricing/b76.hpp"
#include "option_pricing/brent.hpp"

namespace korvex {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr auto call = OptionType::call;
constexpr auto put = OptionType::put;

// The reference option and the out-of-the-money call of docs/pricing.md.
TEST(ImpliedVol, RecoversTheVolatilitiesOfThePricingGuide) {
    const double atm = b76::fairvalue(call, 100, 100, 1, 0.5, 1);
    EXPECT_NEAR(calibrate_black76_iv(call, 1, 100, 100, atm, 1), 0.5, 1e-4);
    EXPECT_NEAR(calibrate_black76_iv(put, 1, 100, 100, atm, 1), 0.5, 1e-4);
    const double otm = b76::fairvalue(call, 100, 120, 0.25, 0.8, 0.99);
    EXPECT_NEAR(calibrate_black76_iv(call, 0.25, 100, 120, otm, 0.99), 0.8, 1e-4);
}

TEST(ImpliedVol, RoundTripsOverAGrid) {
    for (const double t : {0.02, 0.25, 1.0, 3.0})
        for (const double k : {70.0, 95.0, 100.0, 110.0, 140.0})
            for (const double v : {0.1, 0.5, 1.2})
                for (const auto type : {call, put}) {
                    const double price = b76::fairvalue(type, 100, k, t, v, 0.98);
                    const double iv = calibrate_black76_iv(type, t, 100, k, price, 0.98);
                    // The search stops within 1e-4 in volatility or at an exact price match.
                    const double repriced = b76::fairvalue(type, 100, k, t, iv, 0.98);
                    EXPECT_TRUE(std::fabs(iv - v) <= 1e-4 ||
                                std::fabs(repriced - price) <= 1e-4 * b76::vega(100, k, t, v, 0.98) + 1e-12)
                        << t << ' ' << k << ' ' << v;
                }
}

TEST(ImpliedVol, UnbracketedPricesGiveNaN) {
    EXPECT_TRUE(std::isnan(calibrate_black76_iv(call, 1, 100, 100, 0.0, 1)));
    EXPECT_TRUE(std::isnan(calibrate_black76_iv(call, 1, 100, 100, 100.5, 1)));
    EXPECT_TRUE(std::isnan(calibrate_black76_iv(call, 0, 110, 100, 9.0, 1)));
}

TEST(ImpliedVol, BracketEndsAreReturnedExactly) {
    EXPECT_EQ(calibrate_black76_iv(call, 1, 100, 100, b76::fairvalue(call, 100, 100, 1, 10.0, 1), 1), 10.0);
    EXPECT_EQ(calibrate_black76_iv(call, 1, 100, 100, b76::fairvalue(call, 100, 100, 1, 0.01, 1), 1), 0.01);
    // At expiry every volatility prices the intrinsic value: fb = 0 at once.
    EXPECT_EQ(calibrate_black76_iv(call, 0, 110, 100, 10.0, 1), 10.0);
}

TEST(ImpliedVol, UnmatchableObjectiveGivesNaNNotTheLowerBound) {
    EXPECT_TRUE(std::isnan(calibrate_black76_iv(call, 1, 100, 100, kNaN, 1)));
    EXPECT_TRUE(std::isnan(calibrate_black76_iv(call, kNaN, 100, 100, 10.0, 1)));
    EXPECT_TRUE(std::isnan(calibrate_black76_iv(call, 1, -100, 100, 10.0, 1)));
    EXPECT_TRUE(std::isnan(calibrate_black76_iv(put, 1, 100, kNaN, 10.0, 1)));
}

TEST(ImpliedVol, TinyPricesDoNotUnderflowTheBracketTest) {
    // fa * fb underflows to zero here; the signs alone say the price is not bracketed.
    EXPECT_TRUE(std::isnan(calibrate_black76_iv(call, 0.0, 100.0, 110.0, 1e-170, 1)));
    const double tiny = 1e-170;
    const double price = b76::fairvalue(call, tiny, tiny, 1, 0.25, 1);
    EXPECT_NEAR(calibrate_black76_iv(call, 1, tiny, tiny, price, 1), 0.25, 1e-4);
}

TEST(Brent, StopsAfterTheIterationLimitWithTheLastIterate) {
    int evaluations = 0;
    const auto f = [&](double x) { ++evaluations; return x * x * x - 2.0; };
    const auto root = brent(f, 0.0, 2.0, {1e-300, 3});
    ASSERT_TRUE(root.has_value());
    EXPECT_EQ(evaluations, 2 + 3);
    EXPECT_GT(std::fabs(*root - std::cbrt(2.0)), 1e-12);
    const auto converged = brent(f, 0.0, 2.0, {1e-12, 100});
    EXPECT_NEAR(*converged, std::cbrt(2.0), 1e-12);
}

TEST(Brent, ReportsTheBracketWhenNotBracketed) {
    const auto root = brent([](double x) { return x * x + 1.0; }, 0.01, 10.0, {1e-4, 100});
    ASSERT_FALSE(root.has_value());
    EXPECT_EQ(root.error().message(), "Root not bracketed: f(0.01) = 1.0001, f(10) = 101");
}

}  // namespace
}  // namespace korvex
