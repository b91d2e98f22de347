#include "surface/arbitrage.hpp"

#include <cmath>
#include <cstddef>
#include <limits>

#include "option_pricing/b76.hpp"
#include "surface/number_text.hpp"

namespace korvex {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The least of a run of values and where it lies; NaN for both once any value is NaN.
class LeastValue {
public:
    void see(double value, double k) {
        if (std::isnan(value) || std::isnan(least_)) {
            least_ = kNaN;
            at_ = kNaN;
        } else if (!seen_ || value < least_) {
            least_ = value;
            at_ = k;
        }
        seen_ = true;
    }
    double value() const { return seen_ ? least_ : kNaN; }
    double at() const { return seen_ ? at_ : kNaN; }

private:
    bool seen_ = false;
    double least_ = 0.0;
    double at_ = 0.0;
};

Result<void> check_grid(std::span<const double> grid) {
    if (grid.size() < 3) {
        return fail("grid must hold at least three log-moneyness values, got " + std::to_string(grid.size()));
    }
    for (std::size_t j = 0; j < grid.size(); ++j) {
        if (!std::isfinite(grid[j])) return fail("grid[" + std::to_string(j) + "] is not finite: " + number_text(grid[j]));
        if (j > 0 && !(grid[j] > grid[j - 1])) {
            return fail("grid must be strictly increasing, but grid[" + std::to_string(j) + "] = " +
                        number_text(grid[j]) + " follows " + number_text(grid[j - 1]));
        }
    }
    return {};
}

// A slice's strikes and vols over a grid of k.
struct SliceOnGrid {
    std::vector<double> strikes, vols;
    SliceOnGrid(const SurfaceSlice& slice, std::span<const double> grid) : strikes(grid.size()), vols(grid.size()) {
        for (std::size_t j = 0; j < grid.size(); ++j) {
            strikes[j] = slice.forward * std::exp(grid[j]);
            vols[j] = slice.vol(strikes[j]);
        }
    }
};

// The second strike-difference of undiscounted Black-76 values over the grid's interior, by the
// three-point formula for uneven spacing. Below the forward it differences puts, whose values keep
// their digits there where a call's would be mostly forward - strike: by parity the difference is
// the calls' own. Each point is priced only as the kinds of the differences that use it.
LeastValue least_density(const SurfaceSlice& slice, const SliceOnGrid& on, std::span<const double> grid) {
    const std::size_t n = grid.size();
    const std::vector<double>& strikes = on.strikes;
    std::vector<double> calls(n), puts(n);
    for (std::size_t j = 0; j < n; ++j) {
        const bool put_centre_near = (j > 0 && strikes[j - 1] < slice.forward) || strikes[j] < slice.forward ||
                                     (j + 1 < n && strikes[j + 1] < slice.forward);
        const bool call_centre_near = (j > 0 && !(strikes[j - 1] < slice.forward)) ||
                                      !(strikes[j] < slice.forward) || (j + 1 < n && !(strikes[j + 1] < slice.forward));
        if (put_centre_near) {
            puts[j] = b76::fairvalue(OptionType::put, slice.forward, strikes[j], slice.business_time, on.vols[j], 1.0);
        }
        if (call_centre_near) {
            calls[j] = b76::fairvalue(OptionType::call, slice.forward, strikes[j], slice.business_time, on.vols[j], 1.0);
        }
    }
    LeastValue least;
    for (std::size_t j = 1; j + 1 < n; ++j) {
        const std::vector<double>& value = strikes[j] < slice.forward ? puts : calls;
        const double h1 = strikes[j] - strikes[j - 1], h2 = strikes[j + 1] - strikes[j];
        const double density =
            2.0 * (h1 * value[j + 1] - (h1 + h2) * value[j] + h2 * value[j - 1]) / (h1 * h2 * (h1 + h2));
        least.see(density, grid[j]);
    }
    return least;
}

// w_later(k) - w_earlier(k) over the later slice's grid, w = vol^2 tau at strike F e^k.
LeastValue least_calendar_spread(const SurfaceSlice& earlier, const SurfaceSlice& later, const SliceOnGrid& on_later,
                                 std::span<const double> grid) {
    LeastValue least;
    for (std::size_t j = 0; j < grid.size(); ++j) {
        const double vol = earlier.vol(earlier.forward * std::exp(grid[j]));
        const double w_later = on_later.vols[j] * on_later.vols[j] * later.business_time;
        least.see(w_later - vol * vol * earlier.business_time, grid[j]);
    }
    return least;
}

}  // namespace

std::vector<double> default_grid(const SurfaceSlice& slice) {
    const double s = slice.vol(slice.forward) * std::sqrt(slice.business_time);
    const int half = (kDefaultGridPoints - 1) / 2;
    std::vector<double> grid(kDefaultGridPoints);
    for (int j = 0; j < kDefaultGridPoints; ++j) grid[j] = kDefaultGridReach * s * (j - half) / half;
    return grid;
}

Result<ArbitrageReport> arbitrage(const Surface& surface, std::optional<std::span<const double>> grid) {
    if (grid) {
        if (Result<void> checked = check_grid(*grid); !checked) return std::unexpected(checked.error());
    }
    const std::span<const SurfaceSlice> slices = surface.slices();
    ArbitrageReport report;
    report.min_density.reserve(slices.size());
    report.density_k.reserve(slices.size());
    std::vector<double> own;
    for (std::size_t i = 0; i < slices.size(); ++i) {
        if (!grid) own = default_grid(slices[i]);
        const std::span<const double> points = grid ? *grid : std::span<const double>(own);
        const SliceOnGrid on(slices[i], points);
        const LeastValue density = least_density(slices[i], on, points);
        report.min_density.push_back(density.value());
        report.density_k.push_back(density.at());
        if (i > 0) {
            const LeastValue spread = least_calendar_spread(slices[i - 1], slices[i], on, points);
            report.min_calendar_spread.push_back(spread.value());
            report.calendar_k.push_back(spread.at());
        }
    }
    return report;
}

}  // namespace korvex
