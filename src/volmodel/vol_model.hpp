// The interface shared by the volatility-slice models, and the operations written once
// against it (single-strike evaluation, offset, guarded bumping, Jacobians).
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/utc_instant.hpp"
#include "volmodel/interval.hpp"
#include "volmodel/param_map.hpp"

namespace korvex {

struct JacobianColumn {
    std::string name;
    std::vector<double> values;  // one per strike
};
using Jacobian = std::vector<JacobianColumn>;  // unique names, in order of first appearance

// Forward-difference step of get_jacobian, absolute, in each parameter's stored unit.
inline constexpr double kJacobianBump = 0.01;

class VolSlice {
public:
    virtual ~VolSlice();

    // Volatilities as fractions, one per strike, in order.
    virtual std::vector<double> get_vol(double ttx, double spot,
                                        std::span<const double> strikes) const = 0;
    double get_vol_single(double ttx, double spot, double strike) const;
    // get_vol into caller storage (out.size() == strikes.size()), bit for bit.
    void get_vol_into(double ttx, double spot, std::span<const double> strikes, std::span<double> out) const {
        vol_into(ttx, spot, strikes, out);
    }
    virtual bool arb_free() const = 0;
    // The values of `param` that arb_free allows when every other parameter is admissible
    // (arb_free is a box); the whole line for a name it does not test or does not know.
    virtual Interval admissible_interval(std::string_view param) const = 0;
    virtual std::optional<double> get_parameter(std::string_view param) const = 0;
    // Unknown names are ignored; values are stored unchecked.
    virtual void set_param(std::string_view param, double value) = 0;
    virtual ParamMap get_param_dict() const = 0;
    virtual std::span<const std::string_view> get_fitting_params() const = 0;
    virtual const UtcInstant& expiry() const = 0;
    // The "offset" parameter, or 0.0 for a model without one.
    double offset() const;
    // A new model of the same kind with each known name increased by its increment.
    virtual std::unique_ptr<VolSlice> clone_and_bump(const ParamMap& bumps) const = 0;
    // Applied only when the bumped model passes arb_free; silently dropped otherwise.
    void bump_param(std::string_view param, double d_value);
    Jacobian get_jacobian(double ttx, double spot, std::span<const double> strikes,
                          std::span<const std::string_view> params) const;
    // ref_vol := 100 * vol at strike == spot (old parameters), then ref_spot := spot.
    virtual void reanchor(double spot, double ttx) = 0;
    // The exact derivatives of the vols at `strikes` with respect to `params`, row-major (one row
    // of params.size() per strike) into `out`, from the model's own formulas. False, with `out`
    // unspecified, for a model or a name without them: the caller then takes differences.
    virtual bool vol_derivatives_into(double ttx, double spot, std::span<const double> strikes,
                                      std::span<const std::string_view> params, std::span<double> out) const;

protected:
    VolSlice() = default;
    VolSlice(const VolSlice&) = default;
    VolSlice(VolSlice&&) = default;
    VolSlice& operator=(const VolSlice&) = default;
    VolSlice& operator=(VolSlice&&) = default;

private:
    // get_vol into caller storage (out.size() == strikes.size()), so that a single strike
    // and the Jacobian columns need no scratch allocation.
    virtual void vol_into(double ttx, double spot, std::span<const double> strikes,
                          std::span<double> out) const = 0;
    // vol_into of clone_and_bump({param: d_value}), bit for bit, without building the copy
    // on the heap.
    virtual void bumped_vol_into(std::string_view param, double d_value, double ttx, double spot,
                                 std::span<const double> strikes, std::span<double> out) const = 0;
    // clone_and_bump({param: d_value})->arb_free(), on a copy of the parameter record: the
    // guard of bump_param without a dictionary round trip or a model on the heap.
    virtual bool bumped_arb_free(std::string_view param, double d_value) const = 0;
};

}  // namespace korvex
