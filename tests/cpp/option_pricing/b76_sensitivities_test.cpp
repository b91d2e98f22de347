#include "option_pricing/b76_sensitivities.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "option_pricing/b76.hpp"
#include "option_test_support.hpp"

namespace korvex {
namespace {

using testing::kEps;
using testing::same_bits;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr auto call = OptionType::call;
constexpr auto put = OptionType::put;

using Case = testing::OptionCase;

// A chain around F = 100: deep out of to deep in the money, short to long dated, two volatilities.
std::vector<Case> chain() {
    return testing::chain({60.0, 95.0, 100.0, 130.0, 250.0}, {0.05, 0.6, 3.0}, {0.3, 0.9}, 0.97);
}

b76::Sensitivities at(const Case& c) { return b76::sensitivities(c.type, c.F, c.K, c.T, c.sigma, c.D); }

// One value is good to a few ulps of each of its two products D F N(d1) and D K N(d2): erfc is
// good to an ulp, and the few ulps of error in d move N by at most phi(d) times that.
double value_noise(const Case& c) { return 16.0 * kEps * c.D * (c.F + c.K); }

// Checks a figure against an estimate, and that the derived tolerance is tight enough to mean
// something: 1e-5 of the value's scale divided by the variable's, per order (a wrong formula
// is off by the order of the figure itself).
void expect_matches(const char* name, const Case& c, double figure, testing::Estimate e, double scale) {
    EXPECT_NEAR(figure, e.value, e.tolerance)
        << name << " K=" << c.K << " T=" << c.T << " sigma=" << c.sigma << " put=" << (c.type == put);
    EXPECT_LT(e.tolerance, 1e-5 * scale) << name;
}

TEST(B76Sensitivities, EveryFigureIsACentralDifferenceOfTheValue) {
    for (const Case& c : chain()) {
        const auto s = at(c);
        const double noise = value_noise(c);
        const double size = c.D * (c.F + c.K);
        const auto in_f = [&](double f) { return b76::fairvalue(c.type, f, c.K, c.T, c.sigma, c.D); };
        const auto in_k = [&](double k) { return b76::fairvalue(c.type, c.F, k, c.T, c.sigma, c.D); };
        const auto in_t = [&](double t) { return b76::fairvalue(c.type, c.F, c.K, t, c.sigma, c.D); };
        const auto in_v = [&](double v) { return b76::fairvalue(c.type, c.F, c.K, c.T, v, c.D); };
        const auto in_fv = [&](double f, double v) { return b76::fairvalue(c.type, f, c.K, c.T, v, c.D); };
        const double hf = c.F * testing::kFirstStep, hk = c.K * testing::kFirstStep;
        const double hv = c.sigma * testing::kFirstStep, ht = c.T * testing::kFirstStep;
        const double sf = c.F * testing::kSecondStep, sk = c.K * testing::kSecondStep;
        const double sv = c.sigma * testing::kSecondStep;
        expect_matches("delta", c, s.delta, testing::first_difference(in_f, c.F, hf, noise), size / c.F);
        expect_matches("gamma", c, s.gamma, testing::second_difference(in_f, c.F, sf, noise), size / (c.F * c.F));
        expect_matches("vega", c, s.vega, testing::first_difference(in_v, c.sigma, hv, noise), size / c.sigma);
        auto dt = testing::first_difference(in_t, c.T, ht, noise);
        expect_matches("theta", c, s.theta, {-dt.value, dt.tolerance}, size / c.T);
        expect_matches("vanna", c, s.vanna, testing::mixed_difference(in_fv, c.F, c.sigma, sf, sv, noise),
                       size / (c.F * c.sigma));
        expect_matches("volga", c, s.volga, testing::second_difference(in_v, c.sigma, sv, noise),
                       size / (c.sigma * c.sigma));
        const auto dk = testing::first_difference(in_k, c.K, hk, noise);
        expect_matches("dual_delta", c, s.dual_delta, dk, size / c.K);
        expect_matches("dual_gamma", c, s.dual_gamma, testing::second_difference(in_k, c.K, sk, noise),
                       size / (c.K * c.K));
        // The probability of finishing in the money is the undiscounted strike sensitivity.
        const double sign = c.type == call ? -1.0 : 1.0;
        expect_matches("itm_probability", c, s.itm_probability, {sign * dk.value / c.D, dk.tolerance / c.D},
                       size / (c.K * c.D));
    }
}

TEST(B76Sensitivities, AgreeWithTheScalarFigures) {
    for (const Case& c : chain()) {
        const auto s = at(c);
        EXPECT_TRUE(same_bits(s.value, b76::fairvalue(c.type, c.F, c.K, c.T, c.sigma, c.D)));
        // The textbook gamma is the scalar delta of a call, and F times the scalar gamma.
        EXPECT_TRUE(same_bits(s.gamma, b76::delta(call, c.F, c.K, c.T, c.sigma, c.D)));
        EXPECT_TRUE(testing::within_relative(s.gamma, c.F * b76::gamma(c.F, c.K, c.T, c.sigma, c.D), 1e-15));
        EXPECT_TRUE(same_bits(s.vega, b76::vega(c.F, c.K, c.T, c.sigma, c.D)));
        EXPECT_TRUE(testing::within_relative(s.theta, -c.sigma * s.vega / (2.0 * c.T), 1e-15));
        // K^2 dual gamma = F^2 gamma, since K phi(d2) = F phi(d1).
        EXPECT_TRUE(testing::within_relative(c.K * c.K * s.dual_gamma, c.F * c.F * s.gamma, 2e-15));
        // V is homogeneous of degree one in (F, K): V = F dV/dF + K dV/dK.
        EXPECT_NEAR(s.value, c.F * s.delta + c.K * s.dual_delta, 4.0 * kEps * c.D * (c.F + c.K));
    }
}

// Any input at all, NaN and infinities included: the value is fairvalue's to the last bit, even
// the sign of a NaN.
TEST(B76Sensitivities, ValueKeepsEveryBitOfFairvalue) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const double specials[] = {0.0, -0.0, kInf, -kInf, kNaN, -kNaN, 5e-324, 1e300, -1.0, 0.5, 100.0};
    for (const auto type : {call, put})
        for (const double F : specials)
            for (const double K : {100.0, 0.0, kNaN, kInf})
                for (const double T : specials)
                    for (const double sigma : specials)
                        for (const double D : {0.9, kNaN}) {
                            const double value = b76::sensitivities(type, F, K, T, sigma, D).value;
                            EXPECT_TRUE(same_bits(value, b76::fairvalue(type, F, K, T, sigma, D)))
                                << F << ' ' << K << ' ' << T << ' ' << sigma << ' ' << D;
                        }
}

TEST(B76Sensitivities, PutCallParity) {
    for (const Case& c : chain()) {
        if (c.type == put) continue;
        const auto k = at(c);
        const auto p = b76::sensitivities(put, c.F, c.K, c.T, c.sigma, c.D);
        const double d = c.D;
        EXPECT_NEAR(k.value - p.value, d * (c.F - c.K), 4.0 * kEps * d * (c.F + c.K));
        EXPECT_NEAR(k.delta - p.delta, d, 2.0 * kEps);
        EXPECT_NEAR(k.dual_delta - p.dual_delta, -d, 2.0 * kEps);
        EXPECT_NEAR(k.itm_probability + p.itm_probability, 1.0, 2.0 * kEps);
        for (const auto member : {&b76::Sensitivities::gamma, &b76::Sensitivities::vega, &b76::Sensitivities::theta,
                                  &b76::Sensitivities::vanna, &b76::Sensitivities::volga,
                                  &b76::Sensitivities::dual_gamma})
            EXPECT_TRUE(same_bits(k.*member, p.*member));
    }
}

// Puts come from the put formula: far out of the money a put's delta is tiny and keeps its
// relative precision, where call-minus-parity would leave rounding noise of size D * eps.
TEST(B76Sensitivities, FarOutOfTheMoneyPutsKeepRelativePrecision) {
    const auto p = b76::sensitivities(put, 100.0, 20.0, 0.25, 0.4, 1.0);
    const double d1 = (std::log(5.0) + 0.5 * 0.4 * 0.4 * 0.25) / (0.4 * 0.5), d2 = d1 - 0.4 * 0.5;
    EXPECT_LT(p.itm_probability, 1e-14);
    EXPECT_NEAR(p.delta, -0.5 * std::erfc(d1 / std::sqrt(2.0)), 1e-13 * std::abs(p.delta));
    EXPECT_NEAR(p.itm_probability, 0.5 * std::erfc(d2 / std::sqrt(2.0)), 1e-13 * p.itm_probability);
    EXPECT_GT(p.value, 0.0);
}

TEST(B76Sensitivities, ExpiryGuardGivesTheLimitsAsTimeRunsOut) {
    const double D = 0.9;
    for (const auto& [T, sigma] : {std::pair{0.0, 0.5}, {-1.0, 0.5}, {1.0, 0.0}, {1.0, -0.2}}) {
        struct Row { OptionType type; double F, step; };
        for (const auto& [type, F, step] : {Row{call, 110, 1}, {call, 90, 0}, {call, 100, 0.5},
                                            Row{put, 110, 0}, {put, 90, 1}, {put, 100, 0.5}}) {
            const auto s = b76::sensitivities(type, F, 100, T, sigma, D);
            const double sign = type == call ? 1.0 : -1.0;
            EXPECT_TRUE(same_bits(s.value, b76::fairvalue(type, F, 100, T, sigma, D)));
            EXPECT_EQ(s.delta, sign * D * step);
            EXPECT_EQ(s.dual_delta, -sign * D * step);
            EXPECT_EQ(s.itm_probability, step);
            for (const double zero : {s.gamma, s.vega, s.theta, s.vanna, s.volga, s.dual_gamma}) EXPECT_EQ(zero, 0.0);
            // The steps are the limits of the live figures, at F = K too, where N(+-sigma sqrt(T) / 2)
            // is within phi(0) sigma sqrt(T) / 2 < sigma sqrt(T) of one half.
            const double t = 1e-14, vol = 0.5;
            const auto near = b76::sensitivities(type, F, 100, t, vol, D);
            EXPECT_NEAR(near.delta, s.delta, vol * std::sqrt(t));
            EXPECT_NEAR(near.itm_probability, s.itm_probability, vol * std::sqrt(t));
        }
    }
    // Without a forward there is no step to take; the value keeps the scalar rule (fmax).
    const auto s = b76::sensitivities(call, kNaN, 100, 0, 0.5, D);
    EXPECT_EQ(s.value, 0.0);
    EXPECT_TRUE(std::isnan(s.delta) && std::isnan(s.dual_delta) && std::isnan(s.itm_probability));
}

TEST(B76Sensitivities, NoNaNAtTheEndsOfTheRange) {
    // sigma^2 T can overflow to inf for tiny T and enormous sigma, making d1 infinite; the
    // density is then 0 and must not meet an infinite factor.
    for (const auto type : {call, put})
        for (const double F : {1e-6, 1.0, 1e9})
            for (const double K : {1e-6, 1.0, 1e9})
                for (const double T : {5e-324, 1e-300, 1e-8, 1.0, 100.0})
                    for (const double s : {1e-8, 1.0, 10.0}) {
                        const auto r = b76::sensitivities(type, F, K, T, s / std::sqrt(T), 1.0);
                        for (const double x : {r.value, r.delta, r.gamma, r.vega, r.theta, r.vanna, r.volga,
                                               r.dual_delta, r.dual_gamma, r.itm_probability})
                            EXPECT_FALSE(std::isnan(x)) << F << ' ' << K << ' ' << T << ' ' << s;
                    }
}

TEST(B76Sensitivities, TinyVarianceAtTheMoneyTakesTheSmallSigmaLimits) {
    // sigma^2 T underflows (1e-170 squared is below the smallest normal double, 1e-300 squared
    // below every double): d1 = s / 2 and d2 = -s / 2, so vanna = D phi(0) sqrt(T) / 2, not twice that.
    const double D = 0.9, T = 10.0, phi0 = 1.0 / std::sqrt(2.0 * std::acos(-1.0));
    for (const auto type : {call, put})
        for (const double sigma : {1e-170, 1e-300, 5e-324}) {
            const auto s = b76::sensitivities(type, 100, 100, T, sigma, D);
            const double sign = type == call ? 1.0 : -1.0;
            EXPECT_NEAR(s.vanna, D * phi0 * std::sqrt(T) / 2, 4 * kEps) << sigma;
            EXPECT_NEAR(s.vega, D * 100 * phi0 * std::sqrt(T), 4 * kEps * 100) << sigma;
            EXPECT_EQ(s.delta, sign * D * 0.5);
            EXPECT_EQ(s.dual_delta, -sign * D * 0.5);
            EXPECT_EQ(s.itm_probability, 0.5);
            EXPECT_EQ(s.volga, 0.0);
            EXPECT_TRUE(same_bits(s.value, b76::fairvalue(type, 100, 100, T, sigma, D)));
        }
    // Just above the underflow the formula itself gives the same limit.
    const auto live = b76::sensitivities(call, 100, 100, T, 1e-150, D);
    EXPECT_NEAR(live.vanna, D * phi0 * std::sqrt(T) / 2, 4 * kEps);
}

TEST(B76Sensitivities, VanishingSigmaSqrtTKeepsTheLimitsAtTheMoney) {
    // sigma sqrt(T) = 1e-300 * 1e-25 rounds to 0 while sigma and T are positive: the live
    // figures' limits, not NaN (gamma and dual gamma grow without bound); the value is fairvalue's,
    // which is 0 / 0 there.
    const double D = 0.9, T = 1e-50, sigma = 1e-300, phi0 = 1.0 / std::sqrt(2.0 * std::acos(-1.0));
    ASSERT_EQ(sigma * std::sqrt(T), 0.0);
    for (const auto type : {call, put}) {
        const auto s = b76::sensitivities(type, 100, 100, T, sigma, D);
        const double sign = type == call ? 1.0 : -1.0;
        EXPECT_EQ(s.delta, sign * D * 0.5);
        EXPECT_EQ(s.dual_delta, -sign * D * 0.5);
        EXPECT_EQ(s.itm_probability, 0.5);
        EXPECT_NEAR(s.vega, D * 100 * phi0 * std::sqrt(T), 4 * kEps * 100 * std::sqrt(T));
        EXPECT_NEAR(s.vanna, D * phi0 * std::sqrt(T) / 2, 4 * kEps * std::sqrt(T));
        EXPECT_EQ(s.gamma, std::numeric_limits<double>::infinity());
        EXPECT_EQ(s.dual_gamma, std::numeric_limits<double>::infinity());
        EXPECT_EQ(s.volga, 0.0);
        EXPECT_FALSE(std::isnan(s.theta));
        EXPECT_TRUE(same_bits(s.value, b76::fairvalue(type, 100, 100, T, sigma, D)));
    }
    // Away from the money the steps were already right.
    const auto out = b76::sensitivities(call, 90, 100, T, sigma, D);
    EXPECT_EQ(out.delta, 0.0);
    EXPECT_EQ(out.vanna, 0.0);
}

TEST(B76Sensitivities, NaNTimeOrVolatilityFlowsThrough) {
    for (const auto& [T, sigma] : {std::pair{kNaN, 0.5}, {1.0, kNaN}}) {
        const auto s = b76::sensitivities(call, 100, 100, T, sigma, 1);
        for (const double x : {s.value, s.delta, s.gamma, s.vega, s.dual_delta, s.itm_probability})
            EXPECT_TRUE(std::isnan(x));
    }
}

}  // namespace
}  // namespace korvex
