// Slices and surfaces shared by the surface tests.
#pragma once

#include <bit>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "surface/surface.hpp"
#include "volmodel/gvv_spline.hpp"

namespace korvex::testing {

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
inline constexpr double kInf = std::numeric_limits<double>::infinity();
inline const UtcInstant kExpiry{20000, 8 * 3600, 0};

inline bool same_bits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

// A slice whose smile is any function of (ttx, spot, strike): for shapes no fitted model takes.
class FunctionSlice final : public VolSlice {
public:
    using Smile = std::function<double(double ttx, double spot, double strike)>;
    explicit FunctionSlice(Smile smile) : smile_(std::move(smile)) {}

    std::vector<double> get_vol(double ttx, double spot, std::span<const double> strikes) const override {
        std::vector<double> out(strikes.size());
        vol_into(ttx, spot, strikes, out);
        return out;
    }
    bool arb_free() const override { return true; }
    Interval admissible_interval(std::string_view) const override { return {}; }
    std::optional<double> get_parameter(std::string_view) const override { return std::nullopt; }
    void set_param(std::string_view, double) override {}
    ParamMap get_param_dict() const override { return {}; }
    std::span<const std::string_view> get_fitting_params() const override { return {}; }
    const UtcInstant& expiry() const override { return kExpiry; }
    std::unique_ptr<VolSlice> clone_and_bump(const ParamMap&) const override {
        return std::make_unique<FunctionSlice>(smile_);
    }
    void reanchor(double, double) override {}

private:
    void vol_into(double ttx, double spot, std::span<const double> strikes, std::span<double> out) const override {
        for (std::size_t i = 0; i < strikes.size(); ++i) out[i] = smile_(ttx, spot, strikes[i]);
    }
    void bumped_vol_into(std::string_view, double, double ttx, double spot, std::span<const double> strikes,
                         std::span<double> out) const override {
        vol_into(ttx, spot, strikes, out);
    }
    bool bumped_arb_free(std::string_view, double) const override { return true; }

    Smile smile_;
};

inline FunctionSlice flat_slice(double vol) {
    return FunctionSlice([vol](double, double, double) { return vol; });
}

// A skewed, smiling slice centred on its forward; ref_vol in vol points.
inline GVVSpline gvv_slice(double forward, double ref_vol, double skew = -8.0, double smile = 6.0) {
    GvvParams p;
    p.ref_spot = forward;
    p.ref_vol = ref_vol;
    p.skew = skew;
    p.smile = smile;
    return GVVSpline(kExpiry, p);
}

// Four GVV slices a week to a year out (business and calendar time alike), forwards rising with
// carry and vol falling with the term: total variance grows, so the surface is free of arbitrage.
struct TermStructure {
    std::vector<GVVSpline> models;
    std::vector<double> forwards{60500.0, 61000.0, 62000.0, 64000.0};
    std::vector<double> taus{7.0 / 365, 30.0 / 365, 90.0 / 365, 1.0};
    TermStructure() {
        const double vols[] = {62.0, 58.0, 55.0, 52.0};
        for (std::size_t i = 0; i < forwards.size(); ++i) models.push_back(gvv_slice(forwards[i], vols[i]));
    }
    std::vector<const VolSlice*> pointers() const {
        std::vector<const VolSlice*> out;
        for (const auto& m : models) out.push_back(&m);
        return out;
    }
    Surface surface() const { return *Surface::build(pointers(), forwards, taus, taus); }
};

}  // namespace korvex::testing
