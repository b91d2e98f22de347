#include "surface/surface.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "surface/number_text.hpp"

namespace korvex {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool finite_positive(double x) { return std::isfinite(x) && x > 0.0; }

std::string indexed(const char* name, std::size_t i) { return std::string(name) + "[" + std::to_string(i) + "]"; }

}  // namespace

Surface::Surface(std::vector<SurfaceSlice> slices) : slices_(std::move(slices)) {
    business_times_.reserve(slices_.size());
    for (const SurfaceSlice& slice : slices_) business_times_.push_back(slice.business_time);
}

Result<Surface> Surface::build(std::span<const SliceInput> inputs) {
    if (inputs.empty()) return fail("smiles is empty: a surface needs at least one slice");
    std::vector<SurfaceSlice> slices;
    slices.reserve(inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const SliceInput& in = inputs[i];
        if (!finite_positive(in.forward)) {
            return fail(indexed("forwards", i) + " must be finite and positive, got " + number_text(in.forward));
        }
        if (!(in.business_time > 0.0) || !std::isfinite(in.business_time)) {
            return fail(indexed("smiles", i) + " expires " + number_text(in.business_time) +
                        " business years after as_of: a slice's business time must be positive");
        }
        // An empty bump is a copy: the surface never shares a model its caller may change.
        slices.push_back(SurfaceSlice{std::shared_ptr<const VolSlice>(in.model->clone_and_bump(ParamMap{})),
                                      in.forward, in.business_time, in.calendar_time, i});
    }
    std::stable_sort(slices.begin(), slices.end(),
                     [](const SurfaceSlice& a, const SurfaceSlice& b) { return a.business_time < b.business_time; });
    for (std::size_t i = 1; i < slices.size(); ++i) {
        if (slices[i].business_time == slices[i - 1].business_time) {
            const auto [first, second] = std::minmax(slices[i - 1].input_index, slices[i].input_index);
            return fail(indexed("smiles", first) + " and " + indexed("smiles", second) +
                        " expire at the same business time, " + number_text(slices[i].business_time) +
                        " years: slices need distinct business times");
        }
    }
    return Surface(std::move(slices));
}

Result<Surface> Surface::build(std::span<const VolSlice* const> smiles, std::span<const double> forwards,
                               std::span<const double> business_times, std::span<const double> calendar_times) {
    if (smiles.size() != forwards.size()) {
        return fail("smiles and forwards differ in length: " + std::to_string(smiles.size()) + " and " +
                    std::to_string(forwards.size()));
    }
    if (business_times.size() != smiles.size() || calendar_times.size() != smiles.size()) {
        return fail("one business and one calendar time are needed per slice");
    }
    std::vector<SliceInput> inputs;
    inputs.reserve(smiles.size());
    for (std::size_t i = 0; i < smiles.size(); ++i) {
        inputs.push_back(SliceInput{smiles[i], forwards[i], business_times[i], calendar_times[i]});
    }
    return build(inputs);
}

double Surface::vol(double tau, double forward, double strike) const {
    if (!(tau > 0.0) || !finite_positive(forward) || !finite_positive(strike)) return kNaN;
    // The first slice later than tau: before it the surface is flat in the first slice, at or
    // after the last it is the last slice.
    const std::size_t later = static_cast<std::size_t>(
        std::upper_bound(business_times_.begin(), business_times_.end(), tau) - business_times_.begin());
    if (later == 0) {
        const SurfaceSlice& first = slices_.front();
        return first.vol(strike * (first.forward / forward));
    }
    const SurfaceSlice& a = slices_[later - 1];
    if (later == slices_.size() || tau == a.business_time) return a.vol(strike * (a.forward / forward));
    const SurfaceSlice& b = slices_[later];
    const double vol_a = a.vol(strike * (a.forward / forward));
    const double vol_b = b.vol(strike * (b.forward / forward));
    const double w_a = vol_a * vol_a * a.business_time;
    const double w_b = vol_b * vol_b * b.business_time;
    const double w = w_a + (w_b - w_a) * (tau - a.business_time) / (b.business_time - a.business_time);
    return std::sqrt(w / tau);
}

}  // namespace korvex
