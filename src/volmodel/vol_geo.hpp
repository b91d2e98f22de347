// VolGeo: closed-form smile whose squared volatility is the larger root of a quadratic in
// log-moneyness per root of time, from an at-the-money level, a vol of vol and a
// correlation. The at-the-money level moves with the spot along the at-the-money slope.
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

// ref_vol, vvol and offset in volatility points; the correlation used is tanh(corr).
// offset is carried along; the smile does not use it.
struct VolGeoParams {
    double vpr = 1.0;
    double ref_spot = 100.0;
    double ref_vol = 50.0;
    double corr = 0.0;
    double vvol = 20.0;
    double offset = 0.0;

    ParamMap to_map() const;
};

class VolGeo final : public ParametricSlice<VolGeo, VolGeoParams> {
public:
    static constexpr std::string_view kName = "VolGeo";
    using ParametricSlice::ParametricSlice;

    // The model's own parts, which ParametricSlice builds every operation from.
    static ParamFields<VolGeoParams> fields();
    static std::span<const std::string_view> fitting_params();
    static void smile(const VolGeoParams& p, double ttx, double spot, std::span<const double> strikes,
                      std::span<double> out);
    static bool admissible(const VolGeoParams& p);
    static Interval admissible_box(std::string_view name);
    // Exact derivatives of the vol at one strike (smile_derivatives.cpp), for the fit.
    static constexpr std::size_t kDerivatives = 3;
    static int derivative_index(std::string_view name);
    static void smile_derivatives(const VolGeoParams& p, double ttx, double spot, double strike,
                                  std::span<double, kDerivatives> row);
};

}  // namespace korvex
