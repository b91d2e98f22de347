// korvex_surface_loops [QUERIES [ROUNDS]]: the surface's costs in plain C++ on a 12-slice surface of
// GVV slices a day to a year out, one line per figure:
//
//   vols NS_PER_QUERY FLOOR_NS RATIO     the query (business time from as_of, then the surface's
//                                        vol) against its floor: two slice evaluations and two
//                                        business times per query, over the same random queries
//   variance_index US                    the 30-day index
//   variance_all_slices US               every slice's integral (the index needs one or two)
//   arbitrage US                         the report on the default grid
//
// Each figure is the least over ROUNDS runs. Queries are seeded, so every run prices the same ones.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "calendar/calendar.hpp"
#include "surface/arbitrage.hpp"
#include "surface/surface.hpp"
#include "surface/variance_index.hpp"
#include "volmodel/gvv_spline.hpp"

namespace {

using namespace korvex;
using Clock = std::chrono::steady_clock;

constexpr int kSlices = 12;
const UtcInstant kAsOf{19900, 8 * 3600, 0};  // 2024-06-26 08:00 UTC

UtcInstant later_by(double days) {
    return *UtcInstant::from_unix(kAsOf.unix_seconds() + static_cast<std::int64_t>(days * 86400.0), 0);
}

struct Bench {
    Calendar calendar = *Calendar::for_underlying("BTCUSDT");
    std::vector<GVVSpline> models;
    std::vector<double> forwards, taus, calendar_times;
    Surface surface;

    static Bench make() {
        Calendar calendar = *Calendar::for_underlying("BTCUSDT");
        const double days[kSlices] = {1, 2, 3, 7, 14, 21, 30, 60, 90, 180, 270, 365};
        std::vector<GVVSpline> models;
        std::vector<double> forwards, taus, calendar_times;
        for (int i = 0; i < kSlices; ++i) {
            const UtcInstant expiry = later_by(days[i]);
            forwards.push_back(60000.0 * std::exp(0.05 * days[i] / 365));
            taus.push_back(calendar.bus_ttx_point_uncached(expiry) - calendar.bus_ttx_point_uncached(kAsOf));
            calendar_times.push_back(calendar_ttx(kAsOf, expiry));
            GvvParams p;
            p.ref_spot = forwards.back();
            p.ref_vol = 65.0 - 10.0 * std::sqrt(days[i] / 365);
            p.skew = -6.0;
            p.smile = 5.0;
            models.emplace_back(expiry, p);
        }
        std::vector<const VolSlice*> pointers;
        for (const auto& m : models) pointers.push_back(&m);
        Surface surface = *Surface::build(pointers, forwards, taus, calendar_times);
        return Bench{std::move(calendar), std::move(models), forwards, taus, calendar_times, std::move(surface)};
    }
};

template <class F>
double least_ns(int rounds, F&& run) {
    double best = 1e300;
    run();
    for (int r = 0; r < rounds; ++r) {
        const auto start = Clock::now();
        run();
        best = std::min(best, std::chrono::duration<double, std::nano>(Clock::now() - start).count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t queries = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1'000'000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
    const Bench bench = Bench::make();

    std::mt19937_64 rng(2024);
    std::uniform_real_distribution<double> day(0.5, 400.0), moneyness(0.5, 1.8);
    std::vector<UtcInstant> expiries(queries);
    std::vector<double> strikes(queries), out(queries);
    std::vector<std::size_t> slice_a(queries), slice_b(queries);
    for (std::size_t q = 0; q < queries; ++q) {
        expiries[q] = later_by(day(rng));
        strikes[q] = 60000.0 * moneyness(rng);
        // The floor's two slices: those the query lies between (the nearest pair at the ends).
        const double tau = bench.calendar.bus_ttx_point_uncached(expiries[q]) -
                           bench.calendar.bus_ttx_point_uncached(kAsOf);
        const std::size_t b = std::clamp<std::size_t>(
            std::upper_bound(bench.taus.begin(), bench.taus.end(), tau) - bench.taus.begin(), 1, kSlices - 1);
        slice_a[q] = b - 1;
        slice_b[q] = b;
    }
    const double forward = 60000.0;

    const double vols_ns = least_ns(rounds, [&] {
        for (std::size_t q = 0; q < queries; ++q) {
            const double later = bench.calendar.bus_ttx_point_uncached(expiries[q]);
            const double tau = later - bench.calendar.bus_ttx_point_uncached(kAsOf);
            out[q] = bench.surface.vol(tau, forward, strikes[q]);
        }
    }) / static_cast<double>(queries);
    const double floor_ns = least_ns(rounds, [&] {
        for (std::size_t q = 0; q < queries; ++q) {
            const SurfaceSlice& a = bench.surface.slices()[slice_a[q]];
            const SurfaceSlice& b = bench.surface.slices()[slice_b[q]];
            const double later = bench.calendar.bus_ttx_point_uncached(expiries[q]);
            const double tau = later - bench.calendar.bus_ttx_point_uncached(kAsOf);
            out[q] = a.vol(strikes[q] * (a.forward / forward)) + b.vol(strikes[q] * (b.forward / forward)) + tau;
        }
    }) / static_cast<double>(queries);
    std::printf("vols %.2f %.2f %.3f\n", vols_ns, floor_ns, vols_ns / floor_ns);

    double sink = 0.0;
    const double index_ns = least_ns(rounds, [&] { sink += *variance_index(bench.surface, 30.0); });
    std::printf("variance_index %.1f\n", index_ns / 1000.0);
    const double all_ns = least_ns(rounds, [&] {
        for (const SurfaceSlice& slice : bench.surface.slices()) sink += slice_variance(slice);
    });
    std::printf("variance_all_slices %.1f\n", all_ns / 1000.0);
    const double arbitrage_ns = least_ns(rounds, [&] { sink += arbitrage(bench.surface)->min_density[0]; });
    std::printf("arbitrage %.1f\n", arbitrage_ns / 1000.0);
    return std::isfinite(sink) ? 0 : 1;
}
