#include "volmodel/gvv_spline.hpp"

#include <cmath>
#include <cstddef>
#include <limits>

#include "volmodel/param_record.hpp"

namespace korvex {
namespace {

constexpr std::array<ParamField<GvvParams>, 8> kFields{{
    {"vpr", &GvvParams::vpr},
    {"ref_spot", &GvvParams::ref_spot},
    {"ref_vol", &GvvParams::ref_vol},
    {"skew", &GvvParams::skew},
    {"smile", &GvvParams::smile},
    {"pwing", &GvvParams::pwing},
    {"cwing", &GvvParams::cwing},
    {"offset", &GvvParams::offset},
}};

constexpr std::array<std::string_view, 3> kFittingParams{"ref_vol", "skew", "smile"};

// Written so that a NaN in any tested field fails.

}  // namespace

ParamMap GvvParams::to_map() const { return table_to_map(GVVSpline::fields(), *this); }

ParamFields<GvvParams> GVVSpline::fields() { return kFields; }

std::span<const std::string_view> GVVSpline::fitting_params() { return kFittingParams; }

void GVVSpline::smile(const GvvParams& p, double ttx, double /*spot: not used by this smile*/,
                       std::span<const double> strikes, std::span<double> out) {
    const double r = std::sqrt(ttx);
    const double sigma0 = p.ref_vol / 100.0;
    const double s = p.skew / 100.0;
    const double m = p.smile / 100.0;
    const double pw = p.pwing / 100.0;
    const double cw = p.cwing / 100.0;
    for (std::size_t i = 0; i < strikes.size(); ++i) {
        const double y = std::log(strikes[i] / p.ref_spot) / r;
        // Damped moneyness: about y / 2 near the money, y far from it.
        const double x = (1.0 - 0.5 * std::exp(-(y * y))) * y;
        const double b = ((s + s) * x) * sigma0 + sigma0 * sigma0;
        const double v = 0.5 * (std::sqrt(((m * x) * x) * 4.0 + b * b) + b);
        const double t = 6.0 * std::tanh(x / std::sqrt(v) / 6.0);
        const double w = (t * t) * (t * t);
        // x == 0 or NaN takes neither wing.
        double var = v;
        if (x < 0.0) {
            var = pw * w + v;
        } else if (x > 0.0) {
            var = cw * w + v;
        }
        const double sigma = std::sqrt(var);
        out[i] = std::isfinite(sigma) ? sigma : std::numeric_limits<double>::quiet_NaN();
    }
}

bool GVVSpline::admissible(const GvvParams& p) {
    return p.pwing >= 0.0 && p.cwing >= 0.0 && p.smile >= 1.0 && p.ref_vol > 10.0;
}

Interval GVVSpline::admissible_box(std::string_view name) {
    if (name == "pwing" || name == "cwing") return {0.0};
    if (name == "smile") return {1.0};
    if (name == "ref_vol") return {above(10.0)};
    return {};
}

}  // namespace korvex
