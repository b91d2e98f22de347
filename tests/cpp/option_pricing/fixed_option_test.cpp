// b76::FixedOption serves both b76::fairvalue and the implied-volatility search: both must keep
// the bits of the Black-76 formula evaluated from scratch at every volatility.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "option_pricing/b76.hpp"
#include "option_pricing/brent.hpp"
#include "option_pricing/iv_calibration.hpp"

namespace korvex {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The formula as docs/pricing.md writes it, every part recomputed per call.
double from_scratch(OptionType type, double F, double K, double T, double sigma, double D) {
    if (T <= 0.0 || sigma <= 0.0) {
        return type == OptionType::call ? D * std::fmax(F - K, 0.0) : D * std::fmax(K - F, 0.0);
    }
    const double d1 = (std::log(F / K) + 0.5 * sigma * sigma * T) / (sigma * std::sqrt(T));
    const double d2 = d1 - sigma * std::sqrt(T);
    const auto n = [](double x) { return 0.5 * std::erfc(-x / 1.4142135623730951); };
    if (type == OptionType::call) return D * (F * n(d1) - K * n(d2));
    return D * (K * n(-d2) - F * n(-d1));
}

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

TEST(FixedOption, KeepsTheBitsOfTheFormulaAtEveryVolatility) {
    for (const auto type : {OptionType::call, OptionType::put})
        for (const double k : {50.0, 97.0, 100.0, 160.0})
            for (const double t : {-1.0, 0.0, 1e-6, 0.02, 1.0, 7.5, kNaN}) {
                const b76::FixedOption option(type, 100.0, k, t, 0.97);
                for (const double v : {0.0, 0.01, 0.2, 0.55, 3.0, 10.0, -0.1, kNaN}) {
                    const double expected = from_scratch(type, 100.0, k, t, v, 0.97);
                    EXPECT_EQ(bits(option.value(v)), bits(expected)) << k << ' ' << t << ' ' << v;
                    EXPECT_EQ(bits(b76::fairvalue(type, 100.0, k, t, v, 0.97)), bits(expected));
                }
            }
}

TEST(FixedOption, SearchReturnsWhatBrentReturnsOverTheFormula) {
    for (const auto type : {OptionType::call, OptionType::put})
        for (const double k : {60.0, 100.0, 130.0, 250.0})
            for (const double t : {1.0 / 365, 0.1, 2.0})
                for (const double v : {0.15, 0.6, 2.5}) {
                    const double price = from_scratch(type, 100.0, k, t, v, 0.99);
                    const auto objective = [&](double x) { return from_scratch(type, 100.0, k, t, x, 0.99) - price; };
                    const auto root = brent(objective, kIvLowerBound, kIvUpperBound, {kIvTolerance, kIvMaxIterations});
                    const double expected = root ? *root : kNaN;
                    EXPECT_EQ(bits(calibrate_black76_iv(type, t, 100.0, k, price, 0.99)), bits(expected))
                        << k << ' ' << t << ' ' << v;
                }
}

}  // namespace
}  // namespace korvex
