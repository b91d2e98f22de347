#include "volmodel/cubic_spline.hpp"

#include <cmath>
#include <cstddef>

#include "volmodel/param_record.hpp"

namespace korvex {
namespace {

constexpr std::array<ParamField<CubicParams>, 13> kFields{{
    {"vpr", &CubicParams::vpr},
    {"ref_spot", &CubicParams::ref_spot},
    {"ref_vol", &CubicParams::ref_vol},
    {"p05", &CubicParams::p05},
    {"p10", &CubicParams::p10},
    {"p15", &CubicParams::p15},
    {"p20", &CubicParams::p20},
    {"p25", &CubicParams::p25},
    {"c05", &CubicParams::c05},
    {"c10", &CubicParams::c10},
    {"c15", &CubicParams::c15},
    {"c20", &CubicParams::c20},
    {"c25", &CubicParams::c25},
}};

// Left to right along the knots.
constexpr std::array<std::string_view, 11> kFittingParams{
    "ref_vol", "p25", "p20", "p15", "p10", "p05", "c05", "c10", "c15", "c20", "c25"};

// At-the-money volatility in points after the spot has moved from ref_spot.
double shifted_atm(const CubicParams& p, double ttx, double spot) {
    const double log_moneyness = std::log(spot / p.ref_spot);
    // At ttx == 1 the time term ln(ttx) is zero; with the spot at its anchor there is no
    // move to scale, so the level stays at ref_vol instead of turning 0/0 into NaN.
    if (ttx == 1.0 && log_moneyness == 0.0) return p.ref_vol + 0.0;
    return p.ref_vol + ((((p.p05 - p.c05) / 0.1) * 100.0) *
                        ((log_moneyness / std::log(ttx)) / p.ref_vol)) *
                           p.vpr;
}

}  // namespace

ParamMap CubicParams::to_map() const { return table_to_map(CubicSpline::fields(), *this); }

ParamFields<CubicParams> CubicSpline::fields() { return kFields; }

std::span<const std::string_view> CubicSpline::fitting_params() { return kFittingParams; }

void CubicSpline::smile(const CubicParams& p, double ttx, double spot, std::span<const double> strikes,
           std::span<double> out) {
    const double atm = shifted_atm(p, ttx, spot);

    const double P1 = p.p05, P2 = P1 + p.p10, P3 = P2 + p.p15, P4 = P3 + p.p20, P5 = P4 + p.p25;
    const double C1 = p.c05, C2 = C1 + p.c10, C3 = C2 + p.c15, C4 = C3 + p.c20, C5 = C4 + p.c25;
    const std::array<double, 11> vols{
        (P5 + atm) / 100.0, (P4 + atm) / 100.0, (P3 + atm) / 100.0, (P2 + atm) / 100.0,
        (P1 + atm) / 100.0, atm / 100.0,        (C1 + atm) / 100.0, (C2 + atm) / 100.0,
        (C3 + atm) / 100.0, (C4 + atm) / 100.0, (C5 + atm) / 100.0};
    std::array<double, 11> variances;
    for (std::size_t k = 0; k < vols.size(); ++k) variances[k] = vols[k] * vols[k];
    std::array<double, 11> slopes;
    pchip_slopes(kCubicKnots, variances, slopes);

    const double sqrt_t = std::sqrt(ttx);
    for (std::size_t i = 0; i < strikes.size(); ++i) {
        const double x = ((std::log(strikes[i] / spot) / sqrt_t) / atm) * 100.0;
        // A negative variance gives NaN: no clamping.
        out[i] = std::sqrt(pchip_eval(kCubicKnots, variances, slopes, x));
    }
}

bool CubicSpline::admissible(const CubicParams& p) { return p.p25 >= 0.0 && p.c25 >= 0.0 && p.ref_vol > 1.0; }

Interval CubicSpline::admissible_box(std::string_view name) {
    if (name == "p25" || name == "c25") return {0.0};
    if (name == "ref_vol") return {above(1.0)};
    return {};
}

}  // namespace korvex
