// VolGeo: closed-form smile whose squared volatility is the larger root of a quadratic in
// log-moneyness per root of time, from an at-the-money level, a vol of vol and a
// correlation. The at-the-money level moves with the spot along the at-the-money slope.
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

class VolGeo final : public VolSlice {
public:
    static constexpr std::string_view kName = "VolGeo";

    explicit VolGeo(UtcInstant expiry, const VolGeoParams& params = {});
    static VolGeo with_params(UtcInstant expiry, ParamMap params);
    const VolGeoParams& params() const { return params_; }

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
    VolGeoParams params_;
};

}  // namespace korvex
