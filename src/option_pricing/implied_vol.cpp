#include "option_pricing/implied_vol.hpp"

#include <cmath>
#include <limits>

#include "option_pricing/normal_tails.hpp"
#include "option_pricing/normalised_black.hpp"
#include "option_pricing/rational_cubic.hpp"

namespace korvex {
namespace {

using normalised::black_point;
using normalised::BlackPoint;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kInvSqrtTwoPi = 0.39894228040143268;
constexpr double kSqrtHalfPi = 1.2533141373155003;
constexpr double kSqrtThree = 1.7320508075688772;
constexpr double kTwoPi = 6.2831853071795865;

// A Householder step smaller than this relative to s leaves an error far below rounding in the
// next iterate (the steps converge with order four); the cap only guards against cycling.
constexpr double kConverged = 1e-6;
constexpr int kMaxSteps = 12;
// The third-order step's error is about its distance from Halley's step times nu/s; below this
// share of s (tuned on the error grid) another evaluation would not move s by more than rounding.
constexpr double kRounding = 3e-17;

enum class Branch { lowest, middle, highest };

// What the solver knows about its target.
struct Target {
    double x;           // ln(F/K) <= 0
    double beta;        // the normalised price
    double complement;  // exp(x/2) - beta
    double log_beta;
    double log_complement;
};

// One Householder step of order three from s: the Newton step nu and the ratios of the
// objective's second and third derivatives to its first. Returns s unchanged when the objective
// is already zero.
struct Step {
    double newton;    // -g / g'
    double curve1;    // g'' / g'
    double curve2;    // g''' / g'
    bool increasing;  // whether g(s) < 0, i.e. the root lies above s
};

Step middle_step(const Target& target, const BlackPoint& p) {
    // g = b - beta, computed from whichever side's formula holds at s.
    const double g = p.above ? target.complement - p.vega * p.ratio : p.vega * p.ratio - target.beta;
    return {-g / p.vega, p.curve1, p.curve2, g < 0.0};
}

Step lowest_step(const Target& target, const BlackPoint& p) {
    // g = 1/ln b - 1/ln beta, nearly linear in s where b is tiny.
    const double log_b = p.log_vega + std::log(p.ratio);
    const double rho = 1.0 / p.ratio;  // b'/b
    const double l1 = rho;
    const double l2 = rho * (p.curve1 - rho);
    const double l3 = rho * (p.curve2 - 3.0 * rho * p.curve1 + 2.0 * rho * rho);
    const double newton = (target.log_beta - log_b) * log_b / (target.log_beta * l1);
    return {newton, l2 / l1 - 2.0 * l1 / log_b,
            l3 / l1 - 6.0 * l2 / log_b + 6.0 * l1 * l1 / (log_b * log_b), log_b < target.log_beta};
}

Step highest_step(const Target& target, const BlackPoint& p) {
    // g = ln(exp(x/2) - beta) - ln(exp(x/2) - b): the complement decays like N(-s/2).
    const double log_c = p.log_vega + std::log(p.ratio);
    const double rho = 1.0 / p.ratio;  // -c'/c
    return {(log_c - target.log_complement) * p.ratio, p.curve1 + rho,
            p.curve2 + 3.0 * rho * p.curve1 + 2.0 * rho * rho, log_c > target.log_complement};
}

Step step_at(Branch branch, const Target& target, double s) {
    const BlackPoint p = black_point(target.x, s);
    switch (branch) {
        case Branch::lowest: return lowest_step(target, p);
        case Branch::highest: return highest_step(target, p);
        default: return middle_step(target, p);
    }
}

// Householder iteration kept inside the branch's bracket [low, high] (high may be +inf).
double householder(Branch branch, const Target& target, double s, double low, double high) {
    for (int i = 0; i < kMaxSteps; ++i) {
        const Step st = step_at(branch, target, s);
        if (st.newton == 0.0) return s;
        if (st.increasing) low = std::fmax(low, s); else high = std::fmin(high, s);
        const double nu = st.newton;
        const double halley_factor = 1.0 + 0.5 * st.curve1 * nu;
        const double denominator = 1.0 + nu * (st.curve1 + nu * st.curve2 / 6.0);
        const double step = nu * halley_factor / denominator;
        double next = s + step;
        if (next == s) return s;  // a step below half an ulp of s: nothing left to correct
        bool third_order = denominator > 0.0 && next >= low && next <= high;
        if (!third_order) next = s + nu;
        if (!(next >= low && next <= high))
            next = std::isinf(high) ? 2.0 * low : (low > 0.0 ? std::sqrt(low * high) : 0.5 * high);
        const double change = std::fabs(next - s);
        s = next;
        if (change <= kConverged * s) break;
        if (third_order && std::fabs(step - nu / halley_factor) * std::fabs(nu) <= kRounding * s * s) break;
    }
    return s;
}

// The point b(x, s) with its slope, as an interpolation end for the starting value s(beta).
RationalCubicEnd end_at(double x, double s, double b_max) {
    const BlackPoint p = black_point(x, s);
    const double b = p.above ? b_max - p.vega * p.ratio : p.vega * p.ratio;
    return {b, s, 1.0 / p.vega};
}

// The inflection point s_c = sqrt(-2x), where h + t = 0 and h - t = -s_c: the vega is
// exp(x/2)/sqrt(2 pi) and b = vega (Y(0) - Y(-s_c)), so one scaled erfc and no exponential.
RationalCubicEnd centre_end(double x, double b_max) {
    const double s = std::sqrt(-2.0 * x);
    const double vega = kInvSqrtTwoPi * b_max;
    return {vega * (kSqrtHalfPi - normal_ratio_lower(-s)), s, 1.0 / vega};
}

// The lower map (Jaeckel): f(s) = A N(z)^3 with A = 2 pi |x| / (3 sqrt 3) and z = x / (sqrt 3 s)
// has the same asymptote as b for s -> 0, so f(beta) is nearly the identity on [0, b(s_low)] and
// a rational cubic through (0, 0) with slope 1 and the map's value, slope and curvature at
// s_low captures the rest; f inverts in closed form.
double lowest_start(double x, double beta, const RationalCubicEnd& low) {
    const double s_low = low.y;
    const double a = kTwoPi * -x / (3.0 * kSqrtThree);
    const double z = x / (kSqrtThree * s_low);
    const double density = kInvSqrtTwoPi * std::exp(-0.5 * z * z);
    const double cdf = density * normal_ratio_lower(z);
    const double w = -z / s_low;  // dz/ds
    const double f = a * cdf * cdf * cdf;
    const double f_s = 3.0 * a * cdf * cdf * density * w;
    const double f_ss = 3.0 * a * cdf * density * w * (2.0 * density * w - z * cdf * w - 2.0 * cdf / s_low);
    // Derivatives in beta, with db/ds = 1/slope and b''/b' = x^2/s^3 - s/4.
    const double curve1 = x * x / (s_low * s_low * s_low) - 0.25 * s_low;
    const double f_beta = f_s * low.slope;
    const double f_beta2 = (f_ss - f_s * curve1) * low.slope * low.slope;
    const double mapped = rational_cubic_fit_right({0.0, 0.0, 1.0}, {low.x, f, f_beta}, f_beta2, beta);
    const double p = std::cbrt(mapped / a);
    if (!(p > 0.0 && p < 0.5)) return kNaN;
    return x / (kSqrtThree * inverse_normal_rough(p));
}

// Upper asymptote: exp(x/2) - b ~ (exp(x/2) + exp(-x/2)) N(-s/2).
double highest_start(double x, double complement) {
    const double p = complement / (std::exp(0.5 * x) + std::exp(-0.5 * x));
    return -2.0 * inverse_normal_rough(p);
}

}  // namespace

double normalised_implied_total_vol(double x, double beta) {
    const double b_max = std::exp(0.5 * x);
    Target target{x, beta, b_max - beta, std::log(beta), std::log(b_max - beta)};
    // Inflection point: b is convex below s_c and concave above.
    RationalCubicEnd centre{0.0, 0.0, 1.0 / kInvSqrtTwoPi};
    if (x < 0.0) centre = centre_end(x, b_max);
    if (beta < centre.x) {
        const double s_low = centre.y - centre.x * centre.slope;
        const RationalCubicEnd low = end_at(x, s_low, b_max);
        if (s_low > 0.0 && beta < low.x) {
            double s = lowest_start(x, beta, low);
            if (!(s > 0.0 && s < s_low)) s = 0.5 * s_low;
            return householder(Branch::lowest, target, s, 0.0, s_low);
        }
        const double s = rational_cubic(low, centre, true, beta);
        return householder(Branch::middle, target, s, s_low, centre.y);
    }
    const double s_high = centre.y + (b_max - centre.x) * centre.slope;
    const RationalCubicEnd high = end_at(x, s_high, b_max);
    if (beta <= high.x) {
        const double s = rational_cubic(centre, high, false, beta);
        return householder(Branch::middle, target, s, centre.y, s_high);
    }
    double s = highest_start(x, target.complement);
    if (!(s > s_high)) s = s_high * 1.5;
    return householder(Branch::highest, target, s, s_high, kInf);
}

double implied_vol(OptionType type, double ttx, double fwd, double strike, double price, double df) {
    // Plain comparisons: a NaN fails them all.
    if (!(ttx > 0.0 && fwd > 0.0 && strike > 0.0 && df > 0.0)) return kNaN;
    if (std::isinf(ttx) || std::isinf(fwd) || std::isinf(strike) || std::isinf(df) || !std::isfinite(price))
        return kNaN;
    const bool call = type == OptionType::call;
    const double intrinsic = call ? std::fmax(fwd - strike, 0.0) : std::fmax(strike - fwd, 0.0);
    const double lowest = df * intrinsic;
    const double highest = df * (call ? fwd : strike);
    if (price < lowest || price > highest) return kNaN;
    if (price == lowest) return 0.0;
    if (price == highest) return kInf;
    // Out of the money by put-call parity, then normalised: a call with x = -|ln(F/K)|.
    const double otm = price / df - intrinsic;
    if (!(otm > 0.0)) return 0.0;
    const double product = fwd * strike;
    const double scale = std::isnormal(product) && std::isfinite(product) ? std::sqrt(product)
                                                                           : std::sqrt(fwd) * std::sqrt(strike);
    const double x = -std::fabs(std::log(fwd / strike));
    const double beta = otm / scale;
    if (!(beta < std::exp(0.5 * x))) return kInf;
    if (!(beta > 0.0)) return 0.0;
    return normalised_implied_total_vol(x, beta) / std::sqrt(ttx);
}

}  // namespace korvex
