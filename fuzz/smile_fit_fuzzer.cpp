// The smile fit: any start, quotes, bounds and choice of parameters give either a refusal with a
// message or an outcome in a bounded number of steps; a fitted outcome lies inside the bounds,
// is admissible and gives finite vols at every quote.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.hpp"
#include "fuzz_input.hpp"
#include "fuzz_models.hpp"
#include "volmodel/fit.hpp"

namespace {

using namespace korvex;
using korvex::fuzz::check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    korvex::fuzz::Input in(data, size);
    std::unique_ptr<VolSlice> start = korvex::fuzz::default_model(in.byte());

    // The start: each parameter kept, or moved to a value around its default.
    const ParamMap defaults = start->get_param_dict();
    std::vector<std::string> all;
    for (const auto& [name, value] : defaults) {
        all.push_back(name);
        if (in.byte() % 2 == 0) start->set_param(name, value + in.real(-20.0, 20.0));
    }
    const double spot = defaults.find("ref_spot").value_or(100.0) * std::exp(in.real(-0.5, 0.5));
    const double ttx = std::exp(in.real(-8.0, 1.5));

    // The parameters fitted: a subset of every name and one the model lacks, else the fitting ones.
    all.push_back("no_such_parameter");
    FitRequest request;
    request.ttx = ttx;
    request.spot = spot;
    for (const std::string& name : all) {
        if (in.byte() % 4 == 0) request.names.push_back(name);
    }
    if (request.names.empty()) {
        for (std::string_view name : start->get_fitting_params()) request.names.push_back(name);
    }
    for (std::size_t j = 0; j < request.names.size(); ++j) {
        Interval bound;
        if (in.byte() % 3 == 0) bound = {in.real(-50.0, 50.0), in.real(-50.0, 100.0)};
        request.bounds.push_back(bound);
    }
    request.max_iterations = in.byte() % 40;

    // Quotes, filtered as the binding filters them.
    std::vector<double> strikes, vols, weights;
    const int count = in.byte() % 48;
    for (int i = 0; i < count; ++i) {
        const double strike = spot * std::exp(in.real(-1.5, 1.5));
        const double vol = in.real(0.01, 3.0);
        const double weight = in.byte() % 4 == 0 ? in.real(0.0, 10.0) : 1.0;
        if (std::isfinite(strike) && strike > 0.0 && std::isfinite(vol) && std::isfinite(weight) && weight > 0.0) {
            strikes.push_back(strike);
            vols.push_back(vol);
            weights.push_back(weight);
        }
    }

    const Result<FitOutcome> outcome = fit_slice(*start, FitQuotes{strikes, vols, weights}, request);
    if (!outcome) {
        check(!outcome.error().message.empty(), "a refusal without a message");
        return 0;
    }
    check(outcome->values.size() == request.names.size(), "one value per fitted name");
    check(outcome->iterations <= request.max_iterations, "more iterations than allowed");
    check(outcome->status != FitStatus::cancelled, "cancelled without a hook");
    if (strikes.size() < request.names.size()) {
        check(outcome->status == FitStatus::too_few_quotes, "fitted from fewer quotes than parameters");
        return 0;
    }
    check(outcome->status != FitStatus::too_few_quotes, "too few quotes reported with enough");
    std::unique_ptr<VolSlice> fitted = start->clone_and_bump({});
    for (std::size_t j = 0; j < request.names.size(); ++j) {
        const double value = outcome->values[j];
        const std::string what = std::string(request.names[j]) + " = " + std::to_string(value);
        check(std::isfinite(value), "a fitted value not finite", what);
        check(value >= request.bounds[j].lo && value <= request.bounds[j].hi, "a fitted value out of bounds", what);
        fitted->set_param(request.names[j], value);
    }
    check(fitted->arb_free(), "the fitted model is not admissible");
    for (const double vol : fitted->get_vol(ttx, spot, strikes)) {
        check(std::isfinite(vol), "a fitted vol at a quote not finite");
    }
    return 0;
}
