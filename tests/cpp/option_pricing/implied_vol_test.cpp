#include "option_pricing/implied_vol.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>

#include "option_pricing/b76.hpp"
#include "option_pricing/normal_tails.hpp"

namespace korvex {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kEps = 0x1p-52;
constexpr auto call = OptionType::call;
constexpr auto put = OptionType::put;

// The Black-76 value and its pieces in 64-bit-mantissa arithmetic, eleven bits beyond double:
// a reference whose own error is well under the bound checked below.
struct Reference {
    long double value, vega, terms;  // terms = F N(q d1) + K N(q d2), undiscounted
};

long double normal_cdf_ld(long double z) { return 0.5L * std::erfc(-z / std::sqrt(2.0L)); }

Reference reference(OptionType type, double T, double F, double K, double sigma, double D) {
    const long double s = static_cast<long double>(sigma) * std::sqrt(static_cast<long double>(T));
    const long double x = std::log(static_cast<long double>(F) / K);
    const long double d1 = x / s + s / 2, d2 = d1 - s;
    const long double q = type == call ? 1.0L : -1.0L;
    const long double n1 = normal_cdf_ld(q * d1), n2 = normal_cdf_ld(q * d2);
    const long double value = q * (F * n1 - K * n2);
    const long double vega = F * std::exp(-d1 * d1 / 2) / std::sqrt(2 * 3.14159265358979323846L) * std::sqrt((long double)T);
    return {D * value, D * vega, F * n1 + K * n2};
}

// The vol error against the exact inverse of the double price, over the bound
// eps (sigma + (2 P + F N(q d1) + K N(q d2)) / vega), P the undiscounted price.
double error_over_bound(OptionType type, double T, double F, double K, double sigma, double D) {
    const double price = static_cast<double>(reference(type, T, F, K, sigma, D).value);
    const double iv = implied_vol(type, T, F, K, price, D);
    const Reference at = reference(type, T, F, K, iv, D);
    const long double vol_error = std::fabs(at.value - price) / at.vega;
    const long double bound = kEps * (iv + (2 * price / D + at.terms) / (at.vega / D));
    return static_cast<double>(vol_error / bound);
}

class ImpliedVolBound : public testing::TestWithParam<std::tuple<double, double, OptionType>> {};

// Total vols 1e-4..6 against log-moneyness up to 7 total vols (or 6), at most 36, as the
// prices stay above 1e-290.
TEST_P(ImpliedVolBound, StaysWithinFourTimesTheAttainableError) {
    const auto [total_vol, moneyness_share, type] = GetParam();
    for (const double T : {1.0 / 8760, 0.3, 5.0})
        for (const double F : {1e-2, 1.0, 1e6}) {
            const double reach = std::fmin(std::fmax(7 * std::fmax(total_vol, 0.01), 6.0), 36.0);
            const double x = moneyness_share * reach;
            const double K = F * std::exp(-x);
            const double sigma = total_vol / std::sqrt(T);
            const double D = 0.9;
            // The time value must be a double and survive rounding the price: otherwise the
            // price is the intrinsic bound and its exact inverse is 0.
            const long double intrinsic = D * std::fmax(type == call ? F - K : K - F, 0.0);
            const long double time_value = reference(type, T, F, K, sigma, D).value - intrinsic;
            if (time_value < 1e-290L || time_value < 1e-6L * intrinsic) continue;
            EXPECT_LE(error_over_bound(type, T, F, K, sigma, D), 4.0)
                << "T=" << T << " F=" << F << " K=" << K << " sigma=" << sigma;
        }
}

INSTANTIATE_TEST_SUITE_P(Grid, ImpliedVolBound,
                         testing::Combine(testing::Values(1e-4, 3e-3, 0.05, 0.3, 1.0, 2.5, 6.0),
                                          testing::Values(-1.0, -0.5, -0.1, -1e-3, 0.0, 1e-6, 0.02, 0.3, 0.8, 1.0),
                                          testing::Values(call, put)));

// The inflection point s = sqrt(-2x) ends both middle branches: starting values there may round
// a hair outside their branch, and the steps must still land on the root.
TEST(ImpliedVol, ConvergesAtTheInflectionPoint) {
    for (const double x : {-1e-3, -0.5, -2.0, -18.0, -50.0}) {
        const long double s = std::sqrt(-2.0L * x), h = x / s, t = s / 2;
        double beta = static_cast<double>(std::exp(x / 2.0L) * normal_cdf_ld(h + t) -
                                          std::exp(-x / 2.0L) * normal_cdf_ld(h - t));
        for (int i = 0; i < 8; ++i) beta = std::nextafter(beta, 0.0);
        for (int i = 0; i < 16; ++i, beta = std::nextafter(beta, 1.0))
            EXPECT_NEAR(normalised_implied_total_vol(x, beta), static_cast<double>(s), 1e-12 * s) << x << ' ' << i;
    }
}

TEST(ImpliedVol, RecoversTheVolatilityThatPricedTheOption) {
    for (const auto type : {call, put})
        for (const double k : {60.0, 99.0, 100.0, 101.0, 180.0})
            for (const double v : {0.3, 1.0, 2.0}) {
                const double price = b76::fairvalue(type, 100, k, 0.5, v, 0.97);
                EXPECT_NEAR(implied_vol(type, 0.5, 100, k, price, 0.97), v, 1e-12 * v) << k << ' ' << v;
            }
}

TEST(ImpliedVolSpecialValues, TheBoundsOfThePriceGiveZeroAndInfinity) {
    EXPECT_EQ(implied_vol(call, 1, 110, 100, 0.9 * 10.0, 0.9), 0.0);
    EXPECT_EQ(implied_vol(put, 1, 90, 100, 0.9 * 10.0, 0.9), 0.0);
    EXPECT_EQ(implied_vol(call, 1, 90, 100, 0.0, 0.9), 0.0);
    EXPECT_EQ(implied_vol(call, 1, 90, 100, 0.9 * 90.0, 0.9), kInf);
    EXPECT_EQ(implied_vol(put, 1, 90, 100, 0.9 * 100.0, 0.9), kInf);
}

TEST(ImpliedVolSpecialValues, PricesOutsideTheBoundsGiveNaN) {
    EXPECT_TRUE(std::isnan(implied_vol(call, 1, 110, 100, std::nextafter(9.0, 0.0), 0.9)));
    EXPECT_TRUE(std::isnan(implied_vol(call, 1, 90, 100, -1e-300, 1)));
    EXPECT_TRUE(std::isnan(implied_vol(call, 1, 90, 100, std::nextafter(81.0, 100.0), 0.9)));
    EXPECT_TRUE(std::isnan(implied_vol(put, 1, 90, 100, std::nextafter(100.0, 200.0), 1)));
}

TEST(ImpliedVolSpecialValues, PricesJustInsideTheBoundsAreNeverNaN) {
    for (const auto type : {call, put})
        for (const double F : {90.0, 100.0, 110.0, 1e-2, 1e6})
            for (const double D : {1.0, 0.8, 0.93}) {
                const double K = 100.0;
                const double low = D * (type == call ? std::fmax(F - K, 0.0) : std::fmax(K - F, 0.0));
                const double high = D * (type == call ? F : K);
                const double above_low = std::nextafter(low, kInf), below_high = std::nextafter(high, 0.0);
                const double iv_low = implied_vol(type, 1, F, K, above_low, D);
                const double iv_high = implied_vol(type, 1, F, K, below_high, D);
                EXPECT_FALSE(std::isnan(iv_low)) << F << ' ' << D;
                EXPECT_FALSE(std::isnan(iv_high)) << F << ' ' << D;
                EXPECT_GE(iv_low, 0.0);
                EXPECT_GE(iv_high, iv_low);
            }
}

TEST(ImpliedVolSpecialValues, BadInputsGiveNaN) {
    const double ok[] = {1.0, 100.0, 100.0, 5.0, 1.0};
    for (int i = 0; i < 5; ++i)
        for (const double bad : {kNaN, kInf, -kInf, 0.0, -1.0}) {
            if (i == 3 && (bad == 0.0 || bad == -kInf || bad == -1.0)) continue;  // price: bounds
            double a[5] = {ok[0], ok[1], ok[2], ok[3], ok[4]};
            a[i] = bad;
            EXPECT_TRUE(std::isnan(implied_vol(call, a[0], a[1], a[2], a[3], a[4]))) << i << ' ' << bad;
        }
    EXPECT_TRUE(std::isnan(implied_vol(call, 1, 100, 100, -kInf, 1)));
}

TEST(NormalTails, ScaledErfcMatchesItsDefinitionAndItsSeries) {
    for (const double u : {0.0, 0.3, 0.5, 1.0, 3.0, 10.0})
        EXPECT_NEAR(erfcx_nonnegative(u), std::exp(u * u) * std::erfc(u), 1e-14 * std::exp(u * u) * std::erfc(u));
    // Both sides of the switch to the series agree, and the series tends to 1/(u sqrt(pi)).
    EXPECT_NEAR(erfcx_nonnegative(std::nextafter(12.0, 0.0)) / erfcx_nonnegative(12.0), 1.0, 4e-16);
    EXPECT_NEAR(erfcx_nonnegative(1e8) * 1e8 * std::sqrt(M_PI), 1.0, 1e-15);
}

}  // namespace
}  // namespace korvex
