#include "volmodel/gvv_spline.hpp"

#include <cmath>
#include <cstddef>
#include <limits>

#include "volmodel/param_record.hpp"

namespace korvex {
namespace {

constexpr ParamTable<GvvParams, 8> kFields{{
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

void smile(const GvvParams& p, double ttx, std::span<const double> strikes,
           std::span<double> out) {
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

// Written so that a NaN in any tested field fails.
bool admissible(const GvvParams& p) {
    return p.pwing >= 0.0 && p.cwing >= 0.0 && p.smile >= 1.0 && p.ref_vol > 10.0;
}

}  // namespace

ParamMap GvvParams::to_map() const { return table_to_map(kFields, *this); }

GVVSpline::GVVSpline(UtcInstant expiry, const GvvParams& params)
    : expiry_(expiry), params_(params) {}

GVVSpline GVVSpline::with_params(UtcInstant expiry, ParamMap params) {
    return GVVSpline(expiry, table_from_map(kFields, params));
}

std::vector<double> GVVSpline::get_vol(double ttx, double spot,
                                       std::span<const double> strikes) const {
    std::vector<double> out(strikes.size());
    vol_into(ttx, spot, strikes, out);
    return out;
}

void GVVSpline::vol_into(double ttx, double /*spot*/, std::span<const double> strikes,
                         std::span<double> out) const {
    smile(params_, ttx, strikes, out);
}

void GVVSpline::bumped_vol_into(std::string_view param, double d_value, double ttx,
                                double /*spot*/, std::span<const double> strikes,
                                std::span<double> out) const {
    GvvParams bumped = params_;
    add_to_field(kFields, bumped, param, d_value);
    smile(bumped, ttx, strikes, out);
}

bool GVVSpline::arb_free() const { return admissible(params_); }

bool GVVSpline::bumped_arb_free(std::string_view param, double d_value) const {
    GvvParams bumped = params_;
    add_to_field(kFields, bumped, param, d_value);
    return admissible(bumped);
}

std::optional<double> GVVSpline::get_parameter(std::string_view param) const {
    return read_field(kFields, params_, param);
}

void GVVSpline::set_param(std::string_view param, double value) {
    write_field(kFields, params_, param, value);
}

ParamMap GVVSpline::get_param_dict() const { return params_.to_map(); }

std::span<const std::string_view> GVVSpline::get_fitting_params() const { return kFittingParams; }

std::unique_ptr<VolSlice> GVVSpline::clone_and_bump(const ParamMap& bumps) const {
    return std::make_unique<GVVSpline>(
        with_params(expiry_, add_increments(get_param_dict(), bumps)));
}

void GVVSpline::reanchor(double spot, double ttx) {
    const double v = get_vol_single(ttx, spot, spot);
    params_.ref_vol = 100.0 * v;
    params_.ref_spot = spot;
}

}  // namespace korvex
