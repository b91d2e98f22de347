// Exact derivatives of the GVVSpline and VolGeo smiles with respect to their shape parameters,
// by the chain rule through each formula's intermediate quantities (named as in the smile).
// A fit needs one evaluation for a whole Jacobian instead of one per parameter. A derivative
// that is not finite (a vol that is not) is given as 0, as a difference quotient would be.
#include <cmath>
#include <cstddef>
#include <span>
#include <string_view>

#include "volmodel/gvv_spline.hpp"
#include "volmodel/vol_geo.hpp"

namespace korvex {
namespace {

double finite_or_zero(double x) { return std::isfinite(x) ? x : 0.0; }

}  // namespace

int GVVSpline::derivative_index(std::string_view name) {
    if (name == "ref_vol") return 0;
    if (name == "skew") return 1;
    if (name == "smile") return 2;
    if (name == "pwing") return 3;
    if (name == "cwing") return 4;
    return -1;
}

void GVVSpline::smile_derivatives(const GvvParams& p, double ttx, double /*spot*/, double strike,
                                  std::span<double, kDerivatives> row) {
    const double sigma0 = p.ref_vol / 100.0;
    const double s = p.skew / 100.0;
    const double m = p.smile / 100.0;
    const double y = std::log(strike / p.ref_spot) / std::sqrt(ttx);
    const double x = (1.0 - 0.5 * std::exp(-(y * y))) * y;
    const double b = 2.0 * s * x * sigma0 + sigma0 * sigma0;
    const double root = std::sqrt(4.0 * m * x * x + b * b);
    const double v = 0.5 * (root + b);
    const double u = x / std::sqrt(v) / 6.0;
    const double tanh_u = std::tanh(u);
    const double t = 6.0 * tanh_u;
    const double w = (t * t) * (t * t);
    const double wing = x < 0.0 ? p.pwing / 100.0 : (x > 0.0 ? p.cwing / 100.0 : 0.0);
    const double sigma = std::sqrt(wing * w + v);

    const double dsigma_dvar = 0.5 / sigma;
    // t depends on v through u = x / sqrt(v) / 6.
    const double dt_dv = (1.0 - tanh_u * tanh_u) * (-0.5 * x / (v * std::sqrt(v)));
    const double dvar_dv = wing * (4.0 * t * t * t * dt_dv) + 1.0;
    const double dv_db = 0.5 * (b / root + 1.0);
    const double dv_dm = x * x / root;
    const double chain = dsigma_dvar * dvar_dv;
    row[0] = finite_or_zero(chain * dv_db * (2.0 * s * x + 2.0 * sigma0) / 100.0);
    row[1] = finite_or_zero(chain * dv_db * (2.0 * x * sigma0) / 100.0);
    row[2] = finite_or_zero(chain * dv_dm / 100.0);
    row[3] = x < 0.0 ? finite_or_zero(dsigma_dvar * w / 100.0) : 0.0;
    row[4] = x > 0.0 ? finite_or_zero(dsigma_dvar * w / 100.0) : 0.0;
}

int VolGeo::derivative_index(std::string_view name) {
    if (name == "ref_vol") return 0;
    if (name == "corr") return 1;
    if (name == "vvol") return 2;
    return -1;
}

void VolGeo::smile_derivatives(const VolGeoParams& p, double ttx, double spot, double strike,
                               std::span<double, kDerivatives> row) {
    const double sqrt_t = std::sqrt(ttx);
    const double z = (std::log(spot / p.ref_spot) / sqrt_t) / p.ref_vol;
    const double rho = std::tanh(p.corr);
    const double a = p.vvol * rho;
    const double atm = z * a * p.vpr + p.ref_vol;
    const double sigma = atm / 100.0;
    const double s = a / 100.0;
    const double damped = 1.0 - rho * rho;
    const double b = damped * (p.vvol * p.vvol) / (100.0 * atm);
    const double e = std::log(strike / spot) / sqrt_t;
    const double f = 2.0 * s * e * sigma + sigma * sigma;
    const double root = std::sqrt(4.0 * b * e * e + f * f);
    const double vol = std::sqrt(0.5 * (root + f));

    // d vol = (e^2 / root * db + (f / root + 1) / 2 * df) / (2 vol), df from ds and dsigma.
    const double dw_db = e * e / root;
    const double dw_df = 0.5 * (f / root + 1.0);
    const auto derivative = [&](double da, double datm, double ddamped, double dvvol) {
        const double dsigma = datm / 100.0;
        const double ds = da / 100.0;
        const double db = (ddamped * p.vvol * p.vvol + damped * 2.0 * p.vvol * dvvol) / (100.0 * atm) - b * datm / atm;
        const double df = 2.0 * e * (ds * sigma + s * dsigma) + 2.0 * sigma * dsigma;
        return finite_or_zero((dw_db * db + dw_df * df) / (2.0 * vol));
    };
    const double drho = damped;  // d tanh(corr) / d corr
    row[0] = derivative(0.0, 1.0 - a * p.vpr * z / p.ref_vol, 0.0, 0.0);
    row[1] = derivative(p.vvol * drho, z * p.vpr * p.vvol * drho, -2.0 * rho * drho, 0.0);
    row[2] = derivative(rho, z * p.vpr * rho, 0.0, 1.0);
}

}  // namespace korvex
