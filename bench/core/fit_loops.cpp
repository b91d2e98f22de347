// korvex_fit_loops [ROUNDS]: the smile fit in plain C++ on the 40-quote slices of bench_fit.py
// (seeded noise), one line per model:
//
//   MODEL COLD_US WARM_US COLD_MODEL_US WARM_MODEL_US COLD_ITERATIONS WARM_ITERATIONS
//
// COLD from the model's default start, WARM from the cold fit on quotes moved by about 0.1 %.
// The *_MODEL_US figures are the part of each fit spent evaluating the model: the smile and
// derivative evaluations the fit makes (counted through a wrapper) times their own cost (timed
// apart, on the fitted model); the rest is the solver's own work. Least over ROUNDS runs.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "volmodel/cubic_spline.hpp"
#include "volmodel/fit.hpp"
#include "volmodel/gvv_spline.hpp"
#include "volmodel/vol_geo.hpp"

namespace {

using namespace korvex;
using Clock = std::chrono::steady_clock;

constexpr double kTtx = 30.0 / 365.0;
constexpr double kSpot = 100.0;
constexpr int kQuotes = 40;
const UtcInstant kExpiry{20000, 8 * 3600, 0};

struct Counts {
    long vols = 0;         // smile evaluations, and the strikes they covered
    long vol_strikes = 0;
    long derivatives = 0;  // exact-derivative evaluations, and their strikes
    long derivative_strikes = 0;
};

// A model that counts the evaluations the fit makes of the one it wraps.
class Counted final : public VolSlice {
public:
    Counted(std::unique_ptr<VolSlice> inner, Counts* counts) : inner_(std::move(inner)), counts_(counts) {}

    std::vector<double> get_vol(double ttx, double spot, std::span<const double> strikes) const override {
        count_vols(strikes.size());
        return inner_->get_vol(ttx, spot, strikes);
    }
    bool arb_free() const override { return inner_->arb_free(); }
    Interval admissible_interval(std::string_view param) const override { return inner_->admissible_interval(param); }
    std::optional<double> get_parameter(std::string_view param) const override { return inner_->get_parameter(param); }
    void set_param(std::string_view param, double value) override { inner_->set_param(param, value); }
    ParamMap get_param_dict() const override { return inner_->get_param_dict(); }
    std::span<const std::string_view> get_fitting_params() const override { return inner_->get_fitting_params(); }
    const UtcInstant& expiry() const override { return inner_->expiry(); }
    std::unique_ptr<VolSlice> clone_and_bump(const ParamMap& bumps) const override {
        return std::make_unique<Counted>(inner_->clone_and_bump(bumps), counts_);
    }
    void reanchor(double spot, double ttx) override { inner_->reanchor(spot, ttx); }
    bool vol_derivatives_into(double ttx, double spot, std::span<const double> strikes,
                              std::span<const std::string_view> params, std::span<double> out) const override {
        const bool exact = inner_->vol_derivatives_into(ttx, spot, strikes, params, out);
        if (exact) {
            ++counts_->derivatives;
            counts_->derivative_strikes += static_cast<long>(strikes.size());
        }
        return exact;
    }

private:
    void count_vols(std::size_t strikes) const {
        ++counts_->vols;
        counts_->vol_strikes += static_cast<long>(strikes);
    }
    void vol_into(double ttx, double spot, std::span<const double> strikes, std::span<double> out) const override {
        count_vols(strikes.size());
        inner_->get_vol_into(ttx, spot, strikes, out);
    }
    void bumped_vol_into(std::string_view param, double d_value, double ttx, double spot,
                         std::span<const double> strikes, std::span<double> out) const override {
        ParamMap bump;
        bump.insert_or_assign(param, d_value);
        inner_->clone_and_bump(bump)->get_vol_into(ttx, spot, strikes, out);
    }
    bool bumped_arb_free(std::string_view param, double d_value) const override {
        ParamMap bump;
        bump.insert_or_assign(param, d_value);
        return inner_->clone_and_bump(bump)->arb_free();
    }

    std::unique_ptr<VolSlice> inner_;
    Counts* counts_;
};

struct Case {
    std::string name;
    std::unique_ptr<VolSlice> truth, start;
    double sds;
};

std::vector<Case> cases() {
    std::vector<Case> out;
    GvvParams g;
    g.ref_spot = kSpot, g.ref_vol = 58.0, g.skew = -2.5, g.smile = 9.0;
    GvvParams g0;
    g0.ref_spot = kSpot;
    out.push_back({"GVVSpline", std::make_unique<GVVSpline>(kExpiry, g), std::make_unique<GVVSpline>(kExpiry, g0), 2.5});
    VolGeoParams v;
    v.ref_spot = kSpot, v.ref_vol = 58.0, v.corr = -0.35, v.vvol = 40.0;
    VolGeoParams v0;
    v0.ref_spot = kSpot;
    out.push_back({"VolGeo", std::make_unique<VolGeo>(kExpiry, v), std::make_unique<VolGeo>(kExpiry, v0), 2.5});
    CubicParams c;
    c.ref_spot = kSpot, c.ref_vol = 58.0, c.p05 = 2, c.p10 = 1.5, c.p15 = 1, c.p20 = 1, c.p25 = 1;
    c.c05 = 1, c.c10 = 1, c.c15 = 0.5, c.c20 = 0.5, c.c25 = 0.5;
    CubicParams c0;
    c0.ref_spot = kSpot;
    out.push_back({"CubicSpline", std::make_unique<CubicSpline>(kExpiry, c), std::make_unique<CubicSpline>(kExpiry, c0),
                   6.0});
    return out;
}

double least_us(int rounds, const std::function<void()>& work) {
    double best = HUGE_VAL;
    for (int r = 0; r < rounds; ++r) {
        const auto t0 = Clock::now();
        work();
        best = std::min(best, std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    return best;
}

FitRequest request_for(const VolSlice& model) {
    FitRequest request;
    request.ttx = kTtx;
    request.spot = kSpot;
    for (const std::string_view name : model.get_fitting_params()) request.names.push_back(name);
    request.bounds.assign(request.names.size(), Interval{});
    return request;
}

// The part of one fit spent in the model: its counted evaluations times their own cost.
double model_us(const VolSlice& fitted, const FitQuotes& quotes, const FitRequest& request, const Counts& counts,
                int rounds) {
    constexpr int kRepeats = 200;
    std::vector<double> out(quotes.strikes.size() * request.names.size());
    const double vol_us = least_us(rounds, [&] {
        for (int i = 0; i < kRepeats; ++i) fitted.get_vol_into(kTtx, kSpot, quotes.strikes, std::span(out).first(quotes.strikes.size()));
    }) / kRepeats / static_cast<double>(quotes.strikes.size());
    double derivative_us = 0.0;
    if (counts.derivatives > 0) {
        derivative_us = least_us(rounds, [&] {
            for (int i = 0; i < kRepeats; ++i) fitted.vol_derivatives_into(kTtx, kSpot, quotes.strikes, request.names, out);
        }) / kRepeats / static_cast<double>(quotes.strikes.size());
    }
    return vol_us * static_cast<double>(counts.vol_strikes) + derivative_us * static_cast<double>(counts.derivative_strikes);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    std::mt19937_64 rng(7);
    std::normal_distribution<double> noise(0.0, 0.002), move(0.0, 0.001);
    for (const Case& c : cases()) {
        std::vector<double> strikes(kQuotes), weights(kQuotes, 1.0), moved(kQuotes);
        for (int i = 0; i < kQuotes; ++i) {
            strikes[i] = kSpot * std::exp((-c.sds + 2.0 * c.sds * i / (kQuotes - 1)) * 0.58 * std::sqrt(kTtx));
        }
        std::vector<double> vols = c.truth->get_vol(kTtx, kSpot, strikes);
        for (double& v : vols) v += noise(rng);
        for (int i = 0; i < kQuotes; ++i) moved[i] = vols[i] * (1.0 + move(rng));
        const FitRequest request = request_for(*c.start);
        const FitQuotes cold_quotes{strikes, vols, weights}, warm_quotes{strikes, moved, weights};

        Counts cold_counts, warm_counts;
        const Counted counted_start(c.start->clone_and_bump({}), &cold_counts);
        const auto cold = fit_slice(counted_start, cold_quotes, request);
        if (!cold) {
            std::fprintf(stderr, "%s: the cold fit failed\n", c.name.c_str());
            return 1;
        }
        std::unique_ptr<VolSlice> fitted = c.start->clone_and_bump({});
        for (std::size_t j = 0; j < request.names.size(); ++j) fitted->set_param(request.names[j], cold->values[j]);
        const Counted counted_fitted(fitted->clone_and_bump({}), &warm_counts);
        const auto warm = fit_slice(counted_fitted, warm_quotes, request);
        if (!warm) {
            std::fprintf(stderr, "%s: the warm fit failed\n", c.name.c_str());
            return 1;
        }
        if (std::getenv("KORVEX_FIT_COUNTS")) {
            std::fprintf(stderr, "%s cold %ld/%ld vols %ld/%ld derivatives, warm %ld/%ld vols %ld/%ld derivatives\n",
                         c.name.c_str(), cold_counts.vols, cold_counts.vol_strikes, cold_counts.derivatives,
                         cold_counts.derivative_strikes, warm_counts.vols, warm_counts.vol_strikes,
                         warm_counts.derivatives, warm_counts.derivative_strikes);
        }
        const double cold_us = least_us(rounds, [&] { (void)fit_slice(*c.start, cold_quotes, request); });
        const double warm_us = least_us(rounds, [&] { (void)fit_slice(*fitted, warm_quotes, request); });
        std::printf("%s %.3f %.3f %.3f %.3f %d %d\n", c.name.c_str(), cold_us, warm_us,
                    model_us(*fitted, cold_quotes, request, cold_counts, rounds),
                    model_us(*fitted, warm_quotes, request, warm_counts, rounds), cold->iterations, warm->iterations);
    }
    return 0;
}
