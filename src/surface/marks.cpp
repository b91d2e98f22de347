#include "surface/marks.hpp"

#include <cmath>
#include <limits>

#include "option_pricing/b76.hpp"
#include "option_pricing/brent.hpp"
#include "option_pricing/normal.hpp"

namespace korvex {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// delta(k) - target at the surface's vol, in the form that keeps precision for small deltas: a
// put's N(d1) - 1 is -N(-d1).
class DeltaGap {
public:
    DeltaGap(const Surface& surface, double tau, double forward, double delta, OptionType type)
        : surface_(surface), tau_(tau), sqrt_tau_(std::sqrt(tau)), forward_(forward), delta_(delta), type_(type) {}

    double strike(double k) const { return forward_ * std::exp(k); }

    double operator()(double k) const {
        const double strike_k = strike(k);
        const double vol = surface_.vol(tau_, forward_, strike_k);
        const double d_1 = b76::d1(std::log(forward_ / strike_k), tau_, sqrt_tau_, vol);
        return type_ == OptionType::call ? norm_cdf(d_1) - delta_ : delta_ + norm_cdf(-d_1);
    }

private:
    const Surface& surface_;
    double tau_, sqrt_tau_, forward_, delta_;
    OptionType type_;
};

bool delta_in_range(double delta, OptionType type) {
    return type == OptionType::call ? delta > 0.0 && delta < 1.0 : delta > -1.0 && delta < 0.0;
}

// A cell whose ends are both numbers of opposite sign, or one of them zero.
bool brackets(double fa, double fb) {
    if (std::isnan(fa) || std::isnan(fb)) return false;
    return fa == 0.0 || fb == 0.0 || !same_sign(fa, fb);
}

// The root inside a bracketing cell.
double refine(const DeltaGap& gap, double a, double fa, double b, double fb, double scale) {
    if (fa == 0.0) return a;
    if (fb == 0.0) return b;
    const auto root = brent_from(gap, a, fa, b, fb, BrentSettings{1e-15 * scale, 200});
    return root ? *root : kNaN;
}

}  // namespace

double atm_vol(const Surface& surface, double tau, double forward) { return surface.vol(tau, forward, forward); }

double delta_strike(const Surface& surface, double tau, double forward, double delta, OptionType type) {
    if (!delta_in_range(delta, type)) return kNaN;
    const double s = atm_vol(surface, tau, forward) * std::sqrt(tau);
    if (!(s > 0.0) || !std::isfinite(s)) return kNaN;
    const DeltaGap gap(surface, tau, forward, delta, type);
    const double step = kDeltaSearchWidth * s / kDeltaSearchCells;
    const double at_money = gap(0.0);
    if (std::isnan(at_money)) return kNaN;
    if (at_money == 0.0) return gap.strike(0.0);
    double up_k = 0.0, up_f = at_money, down_k = 0.0, down_f = at_money;
    for (int cell = 1; cell <= kDeltaSearchCells; ++cell) {
        const double next_up_k = step * cell, next_down_k = -step * cell;
        const double next_up_f = gap(next_up_k), next_down_f = gap(next_down_k);
        const bool up = brackets(up_f, next_up_f), down = brackets(next_down_f, down_f);
        if (up || down) {
            const double k_up = up ? refine(gap, up_k, up_f, next_up_k, next_up_f, s) : kNaN;
            const double k_down = down ? refine(gap, next_down_k, next_down_f, down_k, down_f, s) : kNaN;
            const double k = !down || (up && std::fabs(k_up) < std::fabs(k_down)) ? k_up : k_down;
            return gap.strike(k);
        }
        // A NaN before any root: the root nearest the money cannot be told.
        if (std::isnan(next_up_f) || std::isnan(next_down_f)) return kNaN;
        up_k = next_up_k, up_f = next_up_f, down_k = next_down_k, down_f = next_down_f;
    }
    return kNaN;
}

double delta_vol(const Surface& surface, double tau, double forward, double delta, OptionType type) {
    return surface.vol(tau, forward, delta_strike(surface, tau, forward, delta, type));
}

double risk_reversal(const Surface& surface, double tau, double forward, double delta) {
    return delta_vol(surface, tau, forward, delta, OptionType::call) -
           delta_vol(surface, tau, forward, -delta, OptionType::put);
}

double butterfly(const Surface& surface, double tau, double forward, double delta) {
    const double call = delta_vol(surface, tau, forward, delta, OptionType::call);
    const double put = delta_vol(surface, tau, forward, -delta, OptionType::put);
    return (call + put) / 2.0 - atm_vol(surface, tau, forward);
}

}  // namespace korvex
