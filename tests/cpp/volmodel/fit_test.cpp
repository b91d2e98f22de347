// The smile fit: recovery of known parameters, bounds and admissibility, quotes that do not
// reach a parameter, refusals, determinism and cancellation, against each of the three models.
#include "volmodel/fit.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "volmodel/cubic_spline.hpp"
#include "volmodel/gvv_spline.hpp"
#include "volmodel/vol_geo.hpp"
#include "volmodel_test_support.hpp"

namespace korvex {
namespace {

using namespace korvex::testing;

constexpr double kTtx = 0.1;
constexpr double kSpot = 100.0;

struct Slice {
    std::vector<double> strikes, vols, weights;
    FitQuotes quotes() const { return {strikes, vols, weights}; }
};

// Strikes evenly spread in log-moneyness over `sds` at-the-money standard deviations each side.
Slice quotes_of(const VolSlice& truth, int count, double sds, double atm = 0.5) {
    Slice s;
    for (int i = 0; i < count; ++i) {
        const double x = -sds + 2.0 * sds * i / (count - 1);
        s.strikes.push_back(kSpot * std::exp(x * atm * std::sqrt(kTtx)));
    }
    s.vols = truth.get_vol(kTtx, kSpot, s.strikes);
    s.weights.assign(s.strikes.size(), 1.0);
    return s;
}

FitRequest request_for(const VolSlice& model) {
    FitRequest r{kTtx, kSpot, {}, {}, 100};
    for (const auto name : model.get_fitting_params()) {
        r.names.push_back(name);
        r.bounds.emplace_back();
    }
    return r;
}

double rmse(const VolSlice& model, const std::vector<std::string_view>& names, const std::vector<double>& values,
            const Slice& s) {
    auto fitted = model.clone_and_bump({});
    for (std::size_t j = 0; j < names.size(); ++j) fitted->set_param(names[j], values[j]);
    const auto vols = fitted->get_vol(kTtx, kSpot, s.strikes);
    double sum = 0.0;
    for (std::size_t i = 0; i < vols.size(); ++i) sum += (vols[i] - s.vols[i]) * (vols[i] - s.vols[i]);
    return std::sqrt(sum / static_cast<double>(vols.size()));
}

struct RandomModel {
    std::string label;
    std::function<std::unique_ptr<VolSlice>(std::mt19937_64&)> draw;  // admissible, ref_spot = spot
    std::function<std::unique_ptr<VolSlice>()> start;                 // the defaults, ref_spot = spot
};
void PrintTo(const RandomModel& c, std::ostream* os) { *os << c.label; }

double uniform(std::mt19937_64& rng, double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng);
}

const std::vector<RandomModel> kRandomModels{
    {"GVVSpline",
     [](std::mt19937_64& g) -> std::unique_ptr<VolSlice> {
         return std::make_unique<GVVSpline>(GVVSpline::with_params(
             kExpiry, dict({{"ref_spot", kSpot}, {"ref_vol", uniform(g, 30, 90)}, {"skew", uniform(g, -6, 6)},
                            {"smile", uniform(g, 2, 20)}})));
     },
     [] { return std::unique_ptr<VolSlice>(new GVVSpline(GVVSpline::with_params(kExpiry, dict({{"ref_spot", kSpot}})))); }},
    {"VolGeo",
     [](std::mt19937_64& g) -> std::unique_ptr<VolSlice> {
         return std::make_unique<VolGeo>(VolGeo::with_params(
             kExpiry, dict({{"ref_spot", kSpot}, {"ref_vol", uniform(g, 30, 90)}, {"corr", uniform(g, -0.8, 0.8)},
                            {"vvol", uniform(g, 5, 60)}})));
     },
     [] { return std::unique_ptr<VolSlice>(new VolGeo(VolGeo::with_params(kExpiry, dict({{"ref_spot", kSpot}})))); }},
    {"CubicSpline",
     [](std::mt19937_64& g) -> std::unique_ptr<VolSlice> {
         ParamMap p = dict({{"ref_spot", kSpot}, {"ref_vol", uniform(g, 40, 70)}});
         for (const char* name : {"p05", "p10", "p15", "p20", "p25", "c05", "c10", "c15", "c20", "c25"}) {
             p.insert_or_assign(name, uniform(g, 0.2, 6.0));
         }
         return std::make_unique<CubicSpline>(CubicSpline::with_params(kExpiry, p));
     },
     [] { return std::unique_ptr<VolSlice>(new CubicSpline(CubicSpline::with_params(kExpiry, dict({{"ref_spot", kSpot}})))); }},
};

class FitRecovery : public ::testing::TestWithParam<RandomModel> {};

TEST_P(FitRecovery, RecoversRandomParametersFromTheDefaultStart) {
    std::mt19937_64 rng(17);
    int recovered = 0;
    for (int trial = 0; trial < 12; ++trial) {
        const auto truth = GetParam().draw(rng);
        const double atm = truth->get_vol_single(kTtx, kSpot, kSpot);
        const Slice s = quotes_of(*truth, 40, 6.0, atm);  // every CubicSpline knot has strikes beyond it
        const auto start = GetParam().start();
        const FitRequest request = request_for(*start);
        const auto outcome = fit_slice(*start, s.quotes(), request);
        ASSERT_TRUE(outcome.has_value()) << outcome.error().message;
        const double error = rmse(*start, request.names, outcome->values, s);
        if (outcome->status == FitStatus::converged && error < 1e-7) ++recovered;
    }
    EXPECT_GE(recovered, 11);
}

INSTANTIATE_TEST_SUITE_P(Models, FitRecovery, ::testing::ValuesIn(kRandomModels),
                         [](const auto& info) { return info.param.label; });

GVVSpline gvv(ParamMap p) { return GVVSpline::with_params(kExpiry, std::move(p)); }

TEST(Fit, BestFitBeyondABoundEndsExactlyOnIt) {
    const GVVSpline truth = gvv(dict({{"ref_spot", kSpot}, {"ref_vol", 60.0}, {"skew", -3.0}, {"smile", 8.0}}));
    const Slice s = quotes_of(truth, 30, 3.0);
    const GVVSpline start = gvv(dict({{"ref_spot", kSpot}}));
    FitRequest request = request_for(start);
    request.bounds[0] = {40.0, 55.0};   // ref_vol's best value, 60, is above
    request.bounds[1] = {-1.0, kInf};   // skew's, -3, is below
    const auto outcome = fit_slice(start, s.quotes(), request);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->status, FitStatus::converged);
    EXPECT_EQ(outcome->values[0], 55.0);
    EXPECT_EQ(outcome->values[1], -1.0);
    EXPECT_GE(outcome->values[2], 1.0);
}

TEST(Fit, AdmissibilityLimitsActAsBoundsAndTheStartIsMovedInside) {
    // Quotes of a smile flatter than smile >= 1 allows, from a start below the limit.
    const GVVSpline truth = gvv(dict({{"ref_spot", kSpot}, {"ref_vol", 50.0}, {"smile", 0.2}}));
    const Slice s = quotes_of(truth, 25, 2.0);
    const GVVSpline start = gvv(dict({{"ref_spot", kSpot}, {"smile", 0.5}}));
    ASSERT_FALSE(start.arb_free());
    const FitRequest request = request_for(start);
    const auto outcome = fit_slice(start, s.quotes(), request);
    ASSERT_TRUE(outcome.has_value()) << outcome.error().message;
    EXPECT_EQ(outcome->values[2], 1.0);
    auto fitted = start.clone_and_bump({});
    for (std::size_t j = 0; j < 3; ++j) fitted->set_param(request.names[j], outcome->values[j]);
    EXPECT_TRUE(fitted->arb_free());
}

TEST(Fit, TooFewQuotesKeepsTheStartAsItIs) {
    const GVVSpline start = gvv(dict({{"ref_spot", kSpot}, {"smile", 0.5}, {"skew", 2.0}}));
    Slice s = quotes_of(start, 2, 1.0);
    const auto outcome = fit_slice(start, s.quotes(), request_for(start));
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->status, FitStatus::too_few_quotes);
    EXPECT_EQ(outcome->iterations, 0);
    EXPECT_EQ(outcome->values, (std::vector<double>{50.0, 2.0, 0.5}));
}

struct Refusal {
    std::string label;
    std::function<void(FitRequest&)> change;
    ParamMap start;
    std::string message;
};
void PrintTo(const Refusal& c, std::ostream* os) { *os << c.label; }

class FitRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(FitRefusal, FailsBeforeFitting) {
    ParamMap params = GetParam().start;
    params.insert_or_assign("ref_spot", kSpot);
    const GVVSpline start = gvv(params);
    const Slice s = quotes_of(gvv(dict({{"ref_spot", kSpot}})), 20, 2.0);
    FitRequest request = request_for(start);
    GetParam().change(request);
    const auto outcome = fit_slice(start, s.quotes(), request);
    ASSERT_FALSE(outcome.has_value());
    EXPECT_EQ(outcome.error().message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FitRefusal,
    ::testing::Values(
        Refusal{"unknown", [](FitRequest& r) { r.names[1] = "skw"; }, {}, "The model has no parameter 'skw'."},
        Refusal{"twice", [](FitRequest& r) { r.names[2] = "skew"; }, {}, "Parameter 'skew' is named twice."},
        Refusal{"reversed", [](FitRequest& r) { r.bounds[1] = {1.0, -1.0}; }, {},
                "Bounds of 'skew': need lo <= hi, neither NaN."},
        Refusal{"nan", [](FitRequest& r) { r.bounds[1] = {kNaN, 1.0}; }, {},
                "Bounds of 'skew': need lo <= hi, neither NaN."},
        Refusal{"inadmissible", [](FitRequest& r) { r.bounds[0] = {0.0, 10.0}; }, {},
                "Bounds of 'ref_vol' contain no admissible value."},
        Refusal{"not_fitted", [](FitRequest&) {}, dict({{"pwing", -1.0}}),
                "The start is not admissible (arb_free) in a parameter that is not fitted."},
        Refusal{"not_finite", [](FitRequest&) {}, dict({{"skew", kNaN}}), "The start's 'skew' is not finite."},
        Refusal{"count", [](FitRequest& r) { r.bounds.pop_back(); }, {}, "one bound per fitted parameter is needed"}),
    [](const auto& info) { return info.param.label; });

TEST(Fit, StartWithANonFiniteVolAtAQuoteIsRefused) {
    // The caller filters strikes; one it let through gives NaN at every start.
    const GVVSpline start = gvv(dict({{"ref_spot", kSpot}}));
    Slice s = quotes_of(start, 10, 2.0);
    s.strikes[4] = -1.0;
    const auto outcome = fit_slice(start, s.quotes(), request_for(start));
    ASSERT_FALSE(outcome.has_value());
    EXPECT_EQ(outcome.error().message, "The start gives a non-finite vol at strike -1.000000.");
}

TEST(Fit, KnotsBeyondTheOutermostStrikesStayNearTheirStart) {
    // Strikes within 1.2 standard deviations: p15 .. p25 and c15 .. c25 are barely reached.
    std::mt19937_64 rng(5);
    std::normal_distribution<double> noise(0.0, 0.003);
    const auto truth = kRandomModels[2].draw(rng);
    const auto start = kRandomModels[2].start();
    const double atm = truth->get_vol_single(kTtx, kSpot, kSpot);
    Slice s = quotes_of(*truth, 40, 1.2, atm);
    for (double& v : s.vols) v += noise(rng);
    const FitRequest request = request_for(*start);
    const auto outcome = fit_slice(*start, s.quotes(), request);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_LT(rmse(*start, request.names, outcome->values, s), 0.004);
    for (std::size_t j = 0; j < request.names.size(); ++j) {
        if (request.names[j] == "p25" || request.names[j] == "c25") {
            EXPECT_LT(std::abs(outcome->values[j]), 1.0) << request.names[j];
        }
    }
}

TEST(Fit, SameInputsGiveTheSameBits) {
    std::mt19937_64 rng(9);
    const auto truth = kRandomModels[1].draw(rng);
    Slice s = quotes_of(*truth, 40, 3.0);
    std::normal_distribution<double> noise(0.0, 0.002);
    for (double& v : s.vols) v += noise(rng);
    const auto start = kRandomModels[1].start();
    const auto a = fit_slice(*start, s.quotes(), request_for(*start));
    const auto b = fit_slice(*start, s.quotes(), request_for(*start));
    ASSERT_TRUE(a.has_value() && b.has_value());
    EXPECT_TRUE(same_bits(a->values, b->values));
    EXPECT_EQ(a->iterations, b->iterations);
}

TEST(Fit, CancelHookStopsTheFitBetweenIterations) {
    const GVVSpline truth = gvv(dict({{"ref_spot", kSpot}, {"ref_vol", 70.0}, {"skew", 3.0}}));
    const Slice s = quotes_of(truth, 20, 2.0);
    const GVVSpline start = gvv(dict({{"ref_spot", kSpot}}));
    int polls = 0;
    const CancelHook hook{[](void* c) { return ++*static_cast<int*>(c) > 2; }, &polls};
    const auto outcome = fit_slice(start, s.quotes(), request_for(start), hook);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->status, FitStatus::cancelled);
    EXPECT_EQ(outcome->iterations, 2);
}

TEST(Fit, MaxIterationsIsReportedWhenTheBudgetRunsOut) {
    const GVVSpline truth = gvv(dict({{"ref_spot", kSpot}, {"ref_vol", 70.0}, {"skew", 3.0}}));
    const Slice s = quotes_of(truth, 20, 2.0);
    const GVVSpline start = gvv(dict({{"ref_spot", kSpot}}));
    FitRequest request = request_for(start);
    request.max_iterations = 1;
    const auto outcome = fit_slice(start, s.quotes(), request);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->status, FitStatus::max_iterations);
    EXPECT_EQ(outcome->iterations, 1);
}

TEST(Fit, WeightsOfTheSameRatioGiveTheSameFit) {
    // Only the weights' ratios matter to the minimiser; doubling all of them is a check that
    // they enter as weights of squares, not of residuals.
    const GVVSpline truth = gvv(dict({{"ref_spot", kSpot}, {"ref_vol", 60.0}, {"skew", -2.0}, {"smile", 9.0}}));
    Slice s = quotes_of(truth, 30, 2.5);
    s.vols[3] += 0.01;
    const GVVSpline start = gvv(dict({{"ref_spot", kSpot}}));
    const auto one = fit_slice(start, s.quotes(), request_for(start));
    for (double& w : s.weights) w = 4.0;
    const auto four = fit_slice(start, s.quotes(), request_for(start));
    ASSERT_TRUE(one.has_value() && four.has_value());
    for (std::size_t j = 0; j < 3; ++j) EXPECT_NEAR(one->values[j], four->values[j], 1e-6 * std::abs(one->values[j]) + 1e-9);
}

class AdmissibleInterval : public ::testing::TestWithParam<RandomModel> {};

// The interval each model reports is exactly what arb_free tests: its ends pass, the doubles
// just outside fail.
TEST_P(AdmissibleInterval, MatchesArbFreeAtBothEnds) {
    std::mt19937_64 rng(1);
    const auto model = GetParam().draw(rng);
    for (const auto& [name, value] : model->get_param_dict()) {
        const Interval box = model->admissible_interval(name);
        for (const double end : {box.lo, box.hi}) {
            if (!std::isfinite(end)) continue;
            auto copy = model->clone_and_bump({});
            copy->set_param(name, end);
            EXPECT_TRUE(copy->arb_free()) << name;
            copy->set_param(name, end == box.lo ? std::nextafter(end, -kInf) : std::nextafter(end, kInf));
            EXPECT_FALSE(copy->arb_free()) << name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Models, AdmissibleInterval, ::testing::ValuesIn(kRandomModels),
                         [](const auto& info) { return info.param.label; });

}  // namespace
}  // namespace korvex
