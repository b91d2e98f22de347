// GVVSpline: a smile in damped log-moneyness from an at-the-money level, a skew, a
// curvature and two wing weights. The spot argument does not enter the smile.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "common/utc_instant.hpp"
#include "volmodel/param_map.hpp"
#include "volmodel/parametric_slice.hpp"

namespace korvex {

// skew, smile and the wings are in hundredths, ref_vol in volatility points.
// vpr and offset are carried along; the smile does not use them.
struct GvvParams {
    double vpr = 1.0;
    double ref_spot = 100.0;
    double ref_vol = 50.0;
    double skew = 0.0;
    double smile = 5.0;
    double pwing = 0.0;  // strikes below ref_spot
    double cwing = 0.0;  // strikes above ref_spot
    double offset = 0.0;

    ParamMap to_map() const;
};

class GVVSpline final : public ParametricSlice<GVVSpline, GvvParams> {
public:
    static constexpr std::string_view kName = "GVVSpline";
    using ParametricSlice::ParametricSlice;

    // The model's own parts, which ParametricSlice builds every operation from.
    static ParamFields<GvvParams> fields();
    static std::span<const std::string_view> fitting_params();
    static void smile(const GvvParams& p, double ttx, double spot, std::span<const double> strikes,
                      std::span<double> out);
    static bool admissible(const GvvParams& p);
    static Interval admissible_box(std::string_view name);
    // Exact derivatives of the vol at one strike (smile_derivatives.cpp), for the fit.
    static constexpr std::size_t kDerivatives = 5;
    static int derivative_index(std::string_view name);
    static void smile_derivatives(const GvvParams& p, double ttx, double spot, double strike,
                                  std::span<double, kDerivatives> row);
};

}  // namespace korvex
