// The no-arbitrage report of a surface: per slice the least risk-neutral density (butterfly
// arbitrage where negative), per adjacent pair of slices the least growth of total variance in
// business time at equal forward moneyness (calendar arbitrage where negative), and where each
// least value lies.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "common/result.hpp"
#include "surface/surface.hpp"

namespace korvex {

// The default grid: kDefaultGridPoints log-moneyness points evenly over +-kDefaultGridReach s_i,
// s_i the slice's at-the-money vol times sqrt(tau_i).
inline constexpr int kDefaultGridPoints = 201;
inline constexpr double kDefaultGridReach = 5.0;

struct ArbitrageReport {
    std::vector<double> min_density;          // per slice: d2C/dK2 per unit strike, least over the interior
    std::vector<double> density_k;            // the k = ln(K/F_i) where it lies
    std::vector<double> min_calendar_spread;  // per pair (i, i+1): least w_{i+1}(k) - w_i(k)
    std::vector<double> calendar_k;           // the k where it lies, on slice i+1's grid
};

// The default grid of one slice.
std::vector<double> default_grid(const SurfaceSlice& slice);

// With a grid, that grid of k serves every slice; it needs three or more finite increasing values.
// A NaN vol on a slice's grid makes its figures (and those of the pairs it is in) NaN.
Result<ArbitrageReport> arbitrage(const Surface& surface, std::optional<std::span<const double>> grid = std::nullopt);

}  // namespace korvex
