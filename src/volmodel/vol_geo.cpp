#include "volmodel/vol_geo.hpp"

#include <cmath>
#include <cstddef>

#include "volmodel/param_record.hpp"

namespace korvex {
namespace {

constexpr std::array<ParamField<VolGeoParams>, 6> kFields{{
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

}  // namespace

ParamMap VolGeoParams::to_map() const { return table_to_map(VolGeo::fields(), *this); }

ParamFields<VolGeoParams> VolGeo::fields() { return kFields; }

std::span<const std::string_view> VolGeo::fitting_params() { return kFittingParams; }

void VolGeo::smile(const VolGeoParams& p, double ttx, double spot, std::span<const double> strikes,
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

bool VolGeo::admissible(const VolGeoParams& p) { return p.vvol >= 1.0 && p.ref_vol > 1.0; }

Interval VolGeo::admissible_box(std::string_view name) {
    if (name == "vvol") return {1.0};
    if (name == "ref_vol") return {above(1.0)};
    return {};
}

}  // namespace korvex
