#include "surface/variance_index.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <numeric>
#include <vector>

#include "option_pricing/b76.hpp"
#include "surface/gauss_kronrod.hpp"
#include "surface/number_text.hpp"

namespace korvex {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::size_t kMaxPanels = 4000;

// Panel edges in log-moneyness: the money itself (where the integrand has a kink, puts giving way
// to calls), then doublings of the slice's at-the-money total vol, so that a narrow smile is seen
// by the first panels however short the expiry.
std::vector<double> breakpoints(double scale) {
    std::vector<double> right;
    if (std::isfinite(scale) && scale > 0.0) {
        for (double edge = scale / 4.0; edge < kVarianceIndexReach; edge *= 2.0) right.push_back(edge);
    }
    right.push_back(kVarianceIndexReach);
    std::vector<double> edges;
    edges.reserve(2 * right.size() + 1);
    for (auto it = right.rbegin(); it != right.rend(); ++it) edges.push_back(-*it);
    edges.push_back(0.0);
    edges.insert(edges.end(), right.begin(), right.end());
    return edges;
}

}  // namespace

double slice_variance(const SurfaceSlice& slice) {
    if (!(slice.calendar_time > 0.0)) return kNaN;
    const double forward = slice.forward, tau = slice.business_time;
    // Q(K)/K^2 dK = Q(K)/K dk with K = F e^k.
    auto integrand = [&](double k) {
        const double strike = forward * std::exp(k);
        const OptionType type = k < 0.0 ? OptionType::put : OptionType::call;
        return b76::fairvalue(type, forward, strike, tau, slice.vol(strike), 1.0) / strike;
    };
    const double scale = slice.vol(forward) * std::sqrt(tau);
    if (std::isnan(scale)) return kNaN;
    const std::vector<double> edges = breakpoints(scale);
    const QuadratureResult integral =
        integrate(integrand, edges, QuadratureSettings{kVarianceIndexTolerance, kMaxPanels});
    return 2.0 * integral.value / slice.calendar_time;
}

Result<double> variance_index(const Surface& surface, double days) {
    if (!(days > 0.0) || !std::isfinite(days)) {
        return fail("days must be a finite positive number, got " + number_text(days));
    }
    const double target = days / 365.0;
    const std::span<const SurfaceSlice> slices = surface.slices();
    // A NaN calendar time has no place in the calendar order below (nor a variance).
    for (const SurfaceSlice& slice : slices) {
        if (std::isnan(slice.calendar_time)) return kNaN;
    }
    // Calendar order; business order almost always agrees, but need not around a clock change.
    std::vector<std::size_t> order(slices.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return slices[a].calendar_time < slices[b].calendar_time;
    });
    const SurfaceSlice& first = slices[order.front()];
    const SurfaceSlice& last = slices[order.back()];
    double variance;
    if (target <= first.calendar_time) {
        variance = slice_variance(first);
    } else if (target >= last.calendar_time) {
        variance = slice_variance(last);
    } else {
        std::size_t after = 1;
        while (slices[order[after]].calendar_time <= target) ++after;
        const SurfaceSlice& a = slices[order[after - 1]];
        const SurfaceSlice& b = slices[order[after]];
        const double w_a = slice_variance(a) * a.calendar_time;
        const double w_b = slice_variance(b) * b.calendar_time;
        const double w = w_a + (w_b - w_a) * (target - a.calendar_time) / (b.calendar_time - a.calendar_time);
        variance = w / target;
    }
    return 100.0 * std::sqrt(variance);
}

}  // namespace korvex
