// GVVSpline: a smile in damped log-moneyness from an at-the-money level, a skew, a
// curvature and two wing weights. The spot argument does not enter the smile.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "calendar/utc_instant.hpp"
#include "volmodel/param_map.hpp"
#include "volmodel/vol_model.hpp"

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

class GVVSpline final : public VolSlice {
public:
    static constexpr std::string_view kName = "GVVSpline";

    explicit GVVSpline(UtcInstant expiry, const GvvParams& params = {});
    static GVVSpline with_params(UtcInstant expiry, ParamMap params);
    const GvvParams& params() const { return params_; }

    std::vector<double> get_vol(double ttx, double spot,
                                std::span<const double> strikes) const override;
    bool arb_free() const override;
    std::optional<double> get_parameter(std::string_view param) const override;
    void set_param(std::string_view param, double value) override;
    ParamMap get_param_dict() const override;
    std::span<const std::string_view> get_fitting_params() const override;
    const UtcInstant& expiry() const override { return expiry_; }
    std::unique_ptr<VolSlice> clone_and_bump(const ParamMap& bumps) const override;
    void reanchor(double spot, double ttx) override;

private:
    void vol_into(double ttx, double spot, std::span<const double> strikes,
                  std::span<double> out) const override;
    void bumped_vol_into(std::string_view param, double d_value, double ttx, double spot,
                         std::span<const double> strikes, std::span<double> out) const override;
    bool bumped_arb_free(std::string_view param, double d_value) const override;

    UtcInstant expiry_;
    GvvParams params_;
};

}  // namespace korvex
