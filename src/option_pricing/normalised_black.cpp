#include "option_pricing/normalised_black.hpp"

#include <cmath>

#include "option_pricing/normal_tails.hpp"

namespace korvex::normalised {
namespace {

constexpr double kLogSqrtTwoPi = 0.91893853320467274;  // ln(sqrt(2 pi))

}  // namespace

BlackPoint black_point(double x, double s) {
    const double h = x / s;
    const double t = 0.5 * s;
    BlackPoint p{};
    p.log_vega = -0.5 * (h * h + t * t) - kLogSqrtTwoPi;
    p.vega = std::exp(p.log_vega);
    p.above = h + t > 0.0;
    p.ratio = p.above ? normal_ratio_lower(-h - t) + normal_ratio_lower(h - t)
                      : normal_ratio_lower(h + t) - normal_ratio_lower(h - t);
    // vega'/vega = x^2/s^3 - s/4, and its derivative gives the third.
    const double hh_s = h * h / s;
    p.curve1 = hh_s - 0.25 * s;
    p.curve2 = p.curve1 * p.curve1 - 3.0 * hh_s / s - 0.25;
    return p;
}

}  // namespace korvex::normalised
