#include "option_pricing/binary.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace korvex {
namespace {

constexpr auto call = OptionType::call;
constexpr auto put = OptionType::put;

TEST(Binary, AtTheMoneyFigures) {
    EXPECT_EQ(binary::fairvalue(call, 100, 100, 1, 0.5, 1), 0.5);
    EXPECT_EQ(binary::fairvalue(put, 100, 100, 1, 0.5, 1), 0.5);
    EXPECT_NEAR(binary::delta(call, 100, 100, 1, 0.5, 1), 0.007978845608, 5e-13);
    EXPECT_NEAR(binary::delta(put, 100, 100, 1, 0.5, 1), -0.007978845608, 5e-13);
    EXPECT_NEAR(binary::gamma(call, 100, 100, 1, 0.5, 1), -7.978845608e-05, 5e-15);
    EXPECT_NEAR(binary::speed(call, 100, 100, 1, 0.5, 1), -1.595769122e-06, 5e-16);
    EXPECT_EQ(binary::theta(call, 100, 100, 1, 0.5, 1), 0.0);
    EXPECT_EQ(binary::vega(call, 100, 100, 1, 0.5, 1), 0.0);
}

TEST(Binary, InTheMoneyFiguresAndPutSymmetry) {
    const double F = 110, K = 100, T = 0.5, v = 0.4, D = 0.98;
    struct Row { double (*fn)(OptionType, double, double, double, double, double); double call_value; double tol; };
    const Row rows[] = {
        {binary::delta, 0.0118724763, 5e-11},     {binary::gamma, -0.0002365188585, 5e-14},
        {binary::speed, -5.402946639e-06, 5e-16}, {binary::theta, 0.1244724636, 5e-11},
        {binary::vega, -0.3111811589, 5e-11},
    };
    for (const auto& row : rows) {
        EXPECT_NEAR(row.fn(call, F, K, T, v, D), row.call_value, row.tol);
        EXPECT_EQ(row.fn(put, F, K, T, v, D), -row.fn(call, F, K, T, v, D));
    }
    const double c = binary::fairvalue(call, F, K, T, v, D), p = binary::fairvalue(put, F, K, T, v, D);
    EXPECT_NEAR(c, 0.6192925137, 5e-11);
    EXPECT_NEAR(p, 0.3607074863, 5e-11);
    EXPECT_NEAR(c + p, D, 1e-15);
}

TEST(Binary, SensitivitiesMatchCentralDifferences) {
    const double F = 95, K = 100, T = 0.3, v = 0.45, D = 0.97;
    const auto value = [&](double f, double t, double s) { return binary::fairvalue(call, f, K, t, s, D); };
    const double h = 1e-3;
    EXPECT_NEAR(binary::delta(call, F, K, T, v, D), (value(F + h, T, v) - value(F - h, T, v)) / (2 * h), 1e-8);
    EXPECT_NEAR(binary::gamma(call, F, K, T, v, D),
                (binary::delta(call, F + h, K, T, v, D) - binary::delta(call, F - h, K, T, v, D)) / (2 * h), 1e-9);
    EXPECT_NEAR(binary::speed(call, F, K, T, v, D),
                (binary::gamma(call, F + h, K, T, v, D) - binary::gamma(call, F - h, K, T, v, D)) / (2 * h), 1e-10);
    const double ht = 1e-6;
    EXPECT_NEAR(binary::theta(call, F, K, T, v, D), -(value(F, T + ht, v) - value(F, T - ht, v)) / (2 * ht), 1e-7);
    EXPECT_NEAR(binary::vega(call, F, K, T, v, D), (value(F, T, v + ht) - value(F, T, v - ht)) / (2 * ht), 1e-7);
}

TEST(Binary, ExpiryGuard) {
    EXPECT_DOUBLE_EQ(binary::fairvalue(call, 110, 100, 0, 0.4, 0.9), 0.9);
    EXPECT_EQ(binary::fairvalue(put, 110, 100, 0, 0.4, 0.9), 0.0);
    EXPECT_EQ(binary::fairvalue(call, 100, 100, -1, 0.4, 0.9), 0.0);
    EXPECT_EQ(binary::fairvalue(put, 100, 100, 1, 0.0, 0.9), 0.0);
    for (auto fn : {binary::delta, binary::gamma, binary::speed, binary::theta, binary::vega}) {
        EXPECT_EQ(fn(call, 110, 100, 0, 0.4, 0.9), 0.0);
        EXPECT_EQ(fn(put, 110, 100, 1, 0, 0.9), 0.0);
    }
}

}  // namespace
}  // namespace korvex
