#include "volmodel/vol_geo.hpp"

#include <cmath>
#include <cstddef>

#include "volmodel/param_record.hpp"

namespace korvex {
namespace {

constexpr ParamTable<VolGeoParams, 6> kFields{{
    {"vpr", &VolGeoParams::vpr},
    {"ref_spot", &VolGeoParams::ref_spot},
    {"ref_vol", &VolGeoParams::ref_vol},
    {"corr", &VolGeoParams::corr},
    {"vvol", &VolGeoParams::vvol},
    {"offset", &VolGeoParams::offset},
}};

constexpr std::array<std::string_view, 3> kFittingParams{"ref_vol", "corr", "vvol"};

// tanh through one exponential. Past corr ~ 354.9 the exponential overflows and inf/inf
// would give NaN where tanh is exactly 1.
double correlation(double corr) {
    const double e = std::exp(2.0 * corr);
    if (e == HUGE_VAL) return 1.0;
    return (e - 1.0) / (e + 1.0);
}

void smile(const VolGeoParams& p, double ttx, double spot, std::span<const double> strikes,
           std::span<double> out) {
    const double sqrt_t = std::sqrt(ttx);
    const double z = (std::log(spot / p.ref_spot) / sqrt_t) / p.ref_vol;
    const double rho = correlation(p.corr);
    const double a = p.vvol * rho;
    const double atm = ((z * a) * p.vpr) + p.ref_vol;
    const double sigma = atm / 100.0;
    const double s = a / 100.0;
    // sigma * 100 is formed again rather than reusing atm: it can differ in the last bit.
    const double b = ((1.0 - rho * rho) * (p.vvol * p.vvol)) / (sigma * 100.0) / 100.0;
    for (std::size_t i = 0; i < strikes.size(); ++i) {
        const double e = std::log(strikes[i] / spot) / sqrt_t;
        const double f = ((2.0 * s) * e) * sigma + sigma * sigma;
        const double w = (std::sqrt(((b * e) * e) * 4.0 + f * f) + f) * 0.5;
        out[i] = std::sqrt(w);
    }
}

bool admissible(const VolGeoParams& p) { return p.vvol >= 1.0 && p.ref_vol > 1.0; }

}  // namespace

ParamMap VolGeoParams::to_map() const { return table_to_map(kFields, *this); }

VolGeo::VolGeo(UtcInstant expiry, const VolGeoParams& params)
    : expiry_(expiry), params_(params) {}

VolGeo VolGeo::with_params(UtcInstant expiry, ParamMap params) {
    return VolGeo(expiry, table_from_map(kFields, params));
}

std::vector<double> VolGeo::get_vol(double ttx, double spot,
                                    std::span<const double> strikes) const {
    std::vector<double> out(strikes.size());
    vol_into(ttx, spot, strikes, out);
    return out;
}

void VolGeo::vol_into(double ttx, double spot, std::span<const double> strikes,
                      std::span<double> out) const {
    smile(params_, ttx, spot, strikes, out);
}

void VolGeo::bumped_vol_into(std::string_view param, double d_value, double ttx, double spot,
                             std::span<const double> strikes, std::span<double> out) const {
    VolGeoParams bumped = params_;
    add_to_field(kFields, bumped, param, d_value);
    smile(bumped, ttx, spot, strikes, out);
}

bool VolGeo::arb_free() const { return admissible(params_); }

bool VolGeo::bumped_arb_free(std::string_view param, double d_value) const {
    VolGeoParams bumped = params_;
    add_to_field(kFields, bumped, param, d_value);
    return admissible(bumped);
}

std::optional<double> VolGeo::get_parameter(std::string_view param) const {
    return read_field(kFields, params_, param);
}

void VolGeo::set_param(std::string_view param, double value) {
    write_field(kFields, params_, param, value);
}

ParamMap VolGeo::get_param_dict() const { return params_.to_map(); }

std::span<const std::string_view> VolGeo::get_fitting_params() const { return kFittingParams; }

std::unique_ptr<VolSlice> VolGeo::clone_and_bump(const ParamMap& bumps) const {
    return std::make_unique<VolGeo>(with_params(expiry_, add_increments(get_param_dict(), bumps)));
}

void VolGeo::reanchor(double spot, double ttx) {
    const double v = get_vol_single(ttx, spot, spot);
    params_.ref_vol = 100.0 * v;
    params_.ref_spot = spot;
}

}  // namespace korvex
