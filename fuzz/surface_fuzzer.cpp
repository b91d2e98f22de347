// The surface: any slices (admissible or not), forwards and times give a surface or a refusal;
// every figure read off it is a number or NaN in bounded time, a query at a slice's own time is
// that slice's vol bit for bit, and parity forwards of any rows are fitted or refused.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "fuzz_check.hpp"
#include "fuzz_input.hpp"
#include "fuzz_models.hpp"
#include "option_pricing/option_type.hpp"
#include "surface/arbitrage.hpp"
#include "surface/marks.hpp"
#include "surface/parity_forward.hpp"
#include "surface/surface.hpp"
#include "surface/variance_index.hpp"

namespace {

using namespace korvex;
using korvex::fuzz::check;
using korvex::fuzz::same;

std::unique_ptr<VolSlice> slice_model(korvex::fuzz::Input& in) {
    std::unique_ptr<VolSlice> model = korvex::fuzz::default_model(in.byte());
    for (const auto& [name, value] : model->get_param_dict()) {
        if (in.byte() % 3 == 0) model->set_param(name, value + in.real(-30.0, 30.0));
    }
    return model;
}

void parity_rows(korvex::fuzz::Input& in) {
    const int rows = in.byte() % 12;
    std::vector<double> strikes, calls, puts;
    const double forward = in.real(1.0, 1e5), df = in.real(0.5, 1.0);
    for (int i = 0; i < rows; ++i) {
        const double strike = forward * in.real(0.5, 1.5);
        const double noise = in.real(-0.01, 0.01) * forward;
        const double put = in.real(0.0, 0.2) * forward;
        strikes.push_back(strike);
        puts.push_back(put);
        calls.push_back(put + df * (forward - strike) + noise);
    }
    const auto fitted = parity_forward(strikes, calls, puts);
    if (fitted) {
        check(fitted->forward > 0.0 && fitted->df > 0.0, "a parity forward or df not positive");
    } else {
        check(!fitted.error().message.empty(), "a parity refusal without a message");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    korvex::fuzz::Input in(data, size);
    parity_rows(in);

    const int count = in.byte() % 6;
    std::vector<std::unique_ptr<VolSlice>> models;
    std::vector<SliceInput> inputs;
    for (int i = 0; i < count; ++i) {
        models.push_back(slice_model(in));
        const double business = std::exp(in.real(-7.0, 1.0));
        const double calendar = in.byte() % 4 == 0 ? in.real(-0.1, 3.0) : business * in.real(0.8, 1.2);
        inputs.push_back({models.back().get(), std::exp(in.real(-3.0, 12.0)), business, calendar});
    }
    const Result<Surface> built = Surface::build(inputs);
    if (!built) {
        check(!built.error().message.empty(), "a surface refused without a message");
        return 0;
    }
    const Surface& surface = *built;
    check(surface.size() == inputs.size(), "a slice lost");

    const double forward = std::exp(in.real(-3.0, 12.0));
    for (const SurfaceSlice& slice : surface.slices()) {
        const double strike = forward * std::exp(in.real(-2.0, 2.0));
        const bool valid = std::isfinite(forward) && forward > 0.0 && std::isfinite(strike) && strike > 0.0;
        const double expected = valid ? slice.vol(strike * (slice.forward / forward)) : NAN;
        check(same(surface.vol(slice.business_time, forward, strike), expected),
              "a query at a slice's time differs from the slice's vol");
    }
    const double tau = std::exp(in.real(-8.0, 2.0));
    const double strike = forward * std::exp(in.real(-3.0, 3.0));
    const double vol = surface.vol(tau, forward, strike);
    check(std::isnan(vol) || vol >= 0.0, "a negative vol");

    const double delta = in.real(-1.0, 1.0);
    const OptionType type = in.byte() % 2 ? OptionType::call : OptionType::put;
    (void)atm_vol(surface, tau, forward);
    const double k = delta_strike(surface, tau, forward, delta, type);
    check(std::isnan(k) || k > 0.0, "a delta strike not positive");
    (void)risk_reversal(surface, tau, forward, std::fabs(delta));
    (void)butterfly(surface, tau, forward, std::fabs(delta));

    const auto index = variance_index(surface, in.real(0.0, 800.0));
    if (index) check(std::isnan(*index) || *index >= 0.0, "a negative variance index");

    std::optional<std::vector<double>> grid;
    if (in.byte() % 2) {
        grid.emplace();
        const int points = in.byte() % 8;
        for (int i = 0; i < points; ++i) grid->push_back(in.real(-3.0, 3.0));
    }
    const auto report = grid ? arbitrage(surface, std::span<const double>(*grid)) : arbitrage(surface);
    if (report) {
        check(report->min_density.size() == surface.size(), "one density figure per slice");
        check(report->min_calendar_spread.size() == surface.size() - 1, "one calendar figure per pair");
    }
    return 0;
}
