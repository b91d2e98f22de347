// CubicSpline: the variance rate interpolated by PCHIP across eleven fixed knots of
// log-moneyness in at-the-money standard deviations, linear beyond the outer knots.
// The at-the-money level moves with the spot by the first put/call increment difference.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "common/utc_instant.hpp"
#include "volmodel/param_map.hpp"
#include "volmodel/pchip.hpp"
#include "volmodel/parametric_slice.hpp"

namespace korvex {

// ref_vol and the ten increments are in volatility points. Each increment is measured from
// the knot inside it: p05 from the money to -0.5, p10 from -0.5 to -1.0, ..., p25 from
// -2.5 to -5.0; likewise c05 .. c25 on the call side.
struct CubicParams {
    double vpr = 1.0;
    double ref_spot = 100.0;
    double ref_vol = 50.0;
    double p05 = 0.0;
    double p10 = 0.0;
    double p15 = 0.0;
    double p20 = 0.0;
    double p25 = 0.0;
    double c05 = 0.0;
    double c10 = 0.0;
    double c15 = 0.0;
    double c20 = 0.0;
    double c25 = 0.0;

    ParamMap to_map() const;
};

// Knot positions, ascending, shared by every instance.
inline constexpr std::array<double, 11> kCubicKnots{-5.0, -2.5, -1.5, -1.0, -0.5, 0.0,
                                                    0.5,  1.0,  1.5,  2.5,  5.0};

class CubicSpline final : public ParametricSlice<CubicSpline, CubicParams> {
public:
    static constexpr std::string_view kName = "CubicSpline";
    using ParametricSlice::ParametricSlice;

    // The model's own parts, which ParametricSlice builds every operation from.
    static ParamFields<CubicParams> fields();
    static std::span<const std::string_view> fitting_params();
    static void smile(const CubicParams& p, double ttx, double spot, std::span<const double> strikes,
                      std::span<double> out);
    static bool admissible(const CubicParams& p);
    static Interval admissible_box(std::string_view name);
};

}  // namespace korvex
