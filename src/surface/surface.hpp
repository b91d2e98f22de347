// A volatility surface in business time: fitted slices, each at its own forward and business time
// to expiry, joined by total variance linear in business time, at fixed forward moneyness.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

#include "common/result.hpp"
#include "volmodel/vol_model.hpp"

namespace korvex {

// One slice as given: the model is copied. Times are years from the surface's instant: business
// time orders the slices and enters their smiles; calendar time annualises the variance index.
struct SliceInput {
    const VolSlice* model;
    double forward;
    double business_time;
    double calendar_time;
};

// A slice as held: its model evaluated as model.get_vol(business_time, forward, strikes).
struct SurfaceSlice {
    std::shared_ptr<const VolSlice> model;
    double forward;
    double business_time;
    double calendar_time;
    std::size_t input_index;  // position among the inputs, for messages

    double vol(double strike) const { return model->get_vol_single(business_time, forward, strike); }
};

class Surface {
public:
    // Slices in any order, sorted by business time. Fails (with the text the caller shows as a
    // value error) on no slices, a forward that is not finite and positive, a business time that
    // is not positive, or two equal business times. Inputs are named smiles[i] and forwards[i].
    static Result<Surface> build(std::span<const SliceInput> inputs);
    // The same from parallel sequences; their lengths must agree.
    static Result<Surface> build(std::span<const VolSlice* const> smiles, std::span<const double> forwards,
                                 std::span<const double> business_times, std::span<const double> calendar_times);

    // The vol at business time tau for a query forward and strike: the strike moves to each slice
    // at the same forward moneyness, K_i = strike * (F_i / forward). Exactly at a slice, that
    // slice's vol bit for bit; between slices, total variance linear in tau; beyond the ends, the
    // end slice's vol at its own time. NaN where tau <= 0, or a forward or strike is NaN,
    // infinite or not positive.
    double vol(double tau, double forward, double strike) const;

    // In order of business time.
    std::span<const SurfaceSlice> slices() const { return slices_; }
    std::size_t size() const { return slices_.size(); }

private:
    explicit Surface(std::vector<SurfaceSlice> slices);

    std::vector<SurfaceSlice> slices_;
    std::vector<double> business_times_;  // slices_[i].business_time, contiguous for the search
};

}  // namespace korvex
