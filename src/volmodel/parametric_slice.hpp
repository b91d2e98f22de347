// What the three models share: a parameter record read and written by name through one table,
// a fixed expiry, and a smile formula evaluated on the record. A model derives from
// ParametricSlice<Model, Params> and supplies, as static members, its table `fields()`, its
// `fitting_params()`, `smile(record, ttx, spot, strikes, out)`, `admissible(record)` and the box it tests,
// `admissible_box(name)` per parameter; and optionally the exact derivatives of its smile,
// `kDerivatives`, `derivative_index(name)` and `smile_derivatives(record, ttx, spot, strike, row)`.
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
#include "volmodel/param_record.hpp"
#include "volmodel/vol_model.hpp"

namespace korvex {

template <class Model, class Params>
class ParametricSlice : public VolSlice {
public:
    explicit ParametricSlice(UtcInstant expiry, const Params& params = {})
        : expiry_(expiry), params_(params) {}

    // Names the model has take the given values, missing ones their defaults; others are ignored.
    static Model with_params(UtcInstant expiry, ParamMap params) {
        return Model(expiry, table_from_map(Model::fields(), params));
    }
    const Params& params() const { return params_; }
    // The record after a dictionary round trip that adds d_value to `param`, without the trip
    // (what get_jacobian's columns are evaluated on).
    Params bumped(std::string_view param, double d_value) const {
        Params record = params_;
        add_to_field(Model::fields(), record, param, d_value);
        return record;
    }

    std::vector<double> get_vol(double ttx, double spot, std::span<const double> strikes) const override {
        std::vector<double> out(strikes.size());
        Model::smile(params_, ttx, spot, strikes, out);
        return out;
    }
    bool arb_free() const override { return Model::admissible(params_); }
    Interval admissible_interval(std::string_view param) const override { return Model::admissible_box(param); }
    std::optional<double> get_parameter(std::string_view param) const override {
        return read_field(Model::fields(), params_, param);
    }
    void set_param(std::string_view param, double value) override {
        write_field(Model::fields(), params_, param, value);
    }
    ParamMap get_param_dict() const override { return params_.to_map(); }
    std::span<const std::string_view> get_fitting_params() const override { return Model::fitting_params(); }
    const UtcInstant& expiry() const override { return expiry_; }
    std::unique_ptr<VolSlice> clone_and_bump(const ParamMap& bumps) const override {
        return std::make_unique<Model>(with_params(expiry_, add_increments(get_param_dict(), bumps)));
    }
    // Through Model::derivative_index and Model::smile_derivatives where the model has them.
    bool vol_derivatives_into(double ttx, double spot, std::span<const double> strikes,
                              std::span<const std::string_view> names, std::span<double> out) const override {
        if constexpr (requires { Model::kDerivatives; }) {
            std::array<int, Model::kDerivatives> index{};
            if (names.size() > index.size()) return false;
            for (std::size_t j = 0; j < names.size(); ++j) {
                index[j] = Model::derivative_index(names[j]);
                if (index[j] < 0) return false;
            }
            std::array<double, Model::kDerivatives> row{};
            for (std::size_t i = 0; i < strikes.size(); ++i) {
                Model::smile_derivatives(params_, ttx, spot, strikes[i], row);
                for (std::size_t j = 0; j < names.size(); ++j) out[i * names.size() + j] = row[index[j]];
            }
            return true;
        } else {
            return VolSlice::vol_derivatives_into(ttx, spot, strikes, names, out);
        }
    }
    void reanchor(double spot, double ttx) override {
        const double v = get_vol_single(ttx, spot, spot);
        params_.ref_vol = 100.0 * v;
        params_.ref_spot = spot;
    }

private:
    void vol_into(double ttx, double spot, std::span<const double> strikes,
                  std::span<double> out) const override {
        Model::smile(params_, ttx, spot, strikes, out);
    }
    void bumped_vol_into(std::string_view param, double d_value, double ttx, double spot,
                         std::span<const double> strikes, std::span<double> out) const override {
        Model::smile(bumped(param, d_value), ttx, spot, strikes, out);
    }
    bool bumped_arb_free(std::string_view param, double d_value) const override {
        return Model::admissible(bumped(param, d_value));
    }

    UtcInstant expiry_;
    Params params_;
};

}  // namespace korvex
