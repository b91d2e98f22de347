#include "surface/variance_index.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "option_pricing/b76.hpp"
#include "surface_test_support.hpp"

namespace korvex {
namespace {

using namespace korvex::testing;

// (2/T) times the integral of Q/K over k in [-12, 12] by composite Simpson on a fixed fine grid,
// each side of the money apart (the integrand has a kink there).
double simpson_variance(const SurfaceSlice& slice, int intervals_per_side) {
    auto f = [&](double k) {
        const double strike = slice.forward * std::exp(k);
        const OptionType type = k < 0.0 ? OptionType::put : OptionType::call;
        return b76::fairvalue(type, slice.forward, strike, slice.business_time, slice.vol(strike), 1.0) / strike;
    };
    double total = 0.0;
    for (const double side : {-1.0, 1.0}) {
        const double h = 12.0 / intervals_per_side;
        double sum = f(0.0) + f(side * 12.0);
        for (int j = 1; j < intervals_per_side; ++j) sum += (j % 2 ? 4.0 : 2.0) * f(side * h * j);
        total += sum * h / 3.0;
    }
    return 2.0 * total / slice.calendar_time;
}

TEST(VarianceIndex, EachSlicesIntegralAgreesWithAFineFixedGrid) {
    const TermStructure term;
    const Surface surface = term.surface();
    for (const SurfaceSlice& slice : surface.slices()) {
        const double reference = simpson_variance(slice, 400000);
        EXPECT_NEAR(slice_variance(slice), reference, 1e-9 * reference) << slice.business_time;
    }
}

TEST(VarianceIndex, AFlatSmileGivesItsVolScaledByBusinessOverCalendarTime) {
    for (const double vol : {0.05, 0.6, 1.5}) {
        const FunctionSlice flat = flat_slice(vol);
        const std::vector<const VolSlice*> models{&flat};
        const std::vector<double> forwards{100.0}, taus{30.0 / 365}, calendar{40.0 / 365};
        const Surface surface = *Surface::build(models, forwards, taus, calendar);
        const double expected = 100.0 * vol * std::sqrt(taus[0] / calendar[0]);
        EXPECT_NEAR(*variance_index(surface, 30.0), expected, 1e-9 * expected) << vol;
    }
}

TEST(VarianceIndex, TotalVarianceLinearInCalendarTimeAndFlatBeyondTheEnds) {
    const TermStructure term;
    // Calendar times apart from the business ones.
    const std::vector<double> calendar{9.0 / 365, 33.0 / 365, 95.0 / 365, 1.02};
    const Surface surface = *Surface::build(term.pointers(), term.forwards, term.taus, calendar);
    std::vector<double> v;
    for (const SurfaceSlice& slice : surface.slices()) v.push_back(slice_variance(slice));
    EXPECT_NEAR(*variance_index(surface, 2.0), 100.0 * std::sqrt(v[0]), 1e-14 * 100.0);
    EXPECT_NEAR(*variance_index(surface, 9.0), 100.0 * std::sqrt(v[0]), 1e-14 * 100.0);
    EXPECT_NEAR(*variance_index(surface, 800.0), 100.0 * std::sqrt(v[3]), 1e-14 * 100.0);
    const double t = 30.0 / 365;
    const double w = v[0] * calendar[0] + (v[1] * calendar[1] - v[0] * calendar[0]) * (t - calendar[0]) /
                                              (calendar[1] - calendar[0]);
    EXPECT_NEAR(*variance_index(surface, 30.0), 100.0 * std::sqrt(w / t), 1e-13 * 100.0);
}

TEST(VarianceIndex, RefusesDaysThatAreNotAPositiveNumber) {
    const Surface surface = TermStructure().surface();
    for (const double days : {0.0, -30.0, kNaN, kInf, -kInf}) {
        const Result<double> index = variance_index(surface, days);
        ASSERT_FALSE(index) << days;
        EXPECT_EQ(index.error().message.rfind("days must be a finite positive number, got ", 0), 0u);
    }
}

TEST(VarianceIndex, NaNFromANaNVolInAUsedSliceOrANonPositiveCalendarTime) {
    const FunctionSlice good = flat_slice(0.5);
    const FunctionSlice holed([](double, double spot, double strike) { return strike > 1.3 * spot ? kNaN : 0.5; });
    const std::vector<const VolSlice*> models{&good, &holed, &good};
    const std::vector<double> forwards{100.0, 100.0, 100.0}, taus{0.05, 0.1, 0.3};
    const Surface surface = *Surface::build(models, forwards, taus, taus);
    EXPECT_TRUE(std::isnan(*variance_index(surface, 0.07 * 365)));
    EXPECT_TRUE(std::isnan(*variance_index(surface, 0.2 * 365)));
    EXPECT_TRUE(std::isfinite(*variance_index(surface, 0.01 * 365)));
    EXPECT_TRUE(std::isfinite(*variance_index(surface, 0.5 * 365)));

    const std::vector<double> calendar{0.0, 0.1, 0.3};
    const Surface instant = *Surface::build(models, forwards, taus, calendar);
    EXPECT_TRUE(std::isnan(*variance_index(instant, 0.01 * 365)));

    // A NaN calendar time: NaN at every horizon, where the search for the bracketing pair once
    // read past the last slice.
    for (const std::size_t at : {0u, 1u, 2u}) {
        std::vector<double> holed_calendar{0.05, 0.1, 0.3};
        holed_calendar[at] = kNaN;
        const Surface unordered = *Surface::build(models, forwards, taus, holed_calendar);
        for (const double days : {1.0, 0.07 * 365, 0.2 * 365, 400.0}) {
            EXPECT_TRUE(std::isnan(*variance_index(unordered, days))) << at << " " << days;
        }
    }
}

}  // namespace
}  // namespace korvex
