#include "volmodel/vol_model.hpp"

#include <cstddef>
#include <unordered_set>

namespace korvex {

VolSlice::~VolSlice() = default;

double VolSlice::get_vol_single(double ttx, double spot, double strike) const {
    double vol = 0.0;
    vol_into(ttx, spot, std::span<const double>(&strike, 1), std::span<double>(&vol, 1));
    return vol;
}

bool VolSlice::vol_derivatives_into(double, double, std::span<const double>, std::span<const std::string_view>,
                                    std::span<double>) const {
    return false;
}

double VolSlice::offset() const { return get_parameter("offset").value_or(0.0); }

void VolSlice::bump_param(std::string_view param, double d_value) {
    if (!bumped_arb_free(param, d_value)) return;
    if (const auto current = get_parameter(param)) set_param(param, *current + d_value);
}

Jacobian VolSlice::get_jacobian(double ttx, double spot, std::span<const double> strikes,
                                std::span<const std::string_view> params) const {
    const std::vector<double> base = get_vol(ttx, spot, strikes);
    Jacobian jacobian;
    jacobian.reserve(params.size());
    // A repeated name would only recompute the column it already has. Hashed: callers pass
    // tens of thousands of names.
    std::unordered_set<std::string_view> seen;
    seen.reserve(params.size());
    for (const std::string_view name : params) {
        if (!seen.insert(name).second) continue;
        JacobianColumn column{std::string(name), std::vector<double>(strikes.size())};
        bumped_vol_into(name, kJacobianBump, ttx, spot, strikes, column.values);
        for (std::size_t i = 0; i < base.size(); ++i) {
            column.values[i] = (column.values[i] - base[i]) / kJacobianBump;
        }
        jacobian.push_back(std::move(column));
    }
    return jacobian;
}

}  // namespace korvex
