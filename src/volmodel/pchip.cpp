#include "volmodel/pchip.hpp"

#include <algorithm>
#include <cstddef>
#include <limits>

namespace korvex {

void pchip_slopes(std::span<const double> xs, std::span<const double> ys, std::span<double> ds) {
    const std::size_t n = xs.size();
    if (n < 2 || ys.size() != n || ds.size() != n) return;
    // The secant of interval i, recomputed where needed: the knot count is small.
    const auto h = [&](std::size_t i) { return xs[i + 1] - xs[i]; };
    const auto delta = [&](std::size_t i) { return (ys[i + 1] - ys[i]) / h(i); };
    ds[0] = delta(0);
    ds[n - 1] = delta(n - 2);
    for (std::size_t k = 1; k + 1 < n; ++k) {
        const double left = delta(k - 1);
        const double right = delta(k);
        // A NaN product is not <= 0 and goes to the mean, which then carries the NaN.
        if (left * right <= 0.0) {
            ds[k] = 0.0;
            continue;
        }
        const double w1 = 2.0 * h(k) + h(k - 1);
        const double w2 = h(k) + 2.0 * h(k - 1);
        ds[k] = (w1 + w2) / (w1 / left + w2 / right);
    }
}

double pchip_eval(std::span<const double> xs, std::span<const double> ys,
                  std::span<const double> ds, double x) {
    const std::size_t n = xs.size();
    if (n < 2 || ys.size() != n || ds.size() != n) return std::numeric_limits<double>::quiet_NaN();
    if (x <= xs[0]) return (x - xs[0]) * ((ys[1] - ys[0]) / (xs[1] - xs[0])) + ys[0];
    if (x >= xs[n - 1]) {
        return ((ys[n - 1] - ys[n - 2]) / (xs[n - 1] - xs[n - 2])) * (x - xs[n - 1]) + ys[n - 1];
    }
    // Knots at or below x; a NaN x counts none and falls into the first interval.
    const auto below = std::ranges::partition_point(xs, [x](double knot) { return knot <= x; });
    const std::size_t count = static_cast<std::size_t>(below - xs.begin());
    const std::size_t i = std::clamp<std::size_t>(count == 0 ? 0 : count - 1, 0, n - 2);

    const double hh = xs[i + 1] - xs[i];
    const double t = (x - xs[i]) / hh;
    const double t2 = t * t;
    const double t3 = t2 * t;
    const double h00 = 2.0 * t3 - 3.0 * t2 + 1.0;
    const double h01 = 3.0 * t2 - 2.0 * t3;
    const double h10 = t3 - 2.0 * t2 + t;
    const double h11 = t3 - t2;
    return ((h10 * hh * ds[i] + h00 * ys[i]) + h01 * ys[i + 1]) + h11 * hh * ds[i + 1];
}

}  // namespace korvex
