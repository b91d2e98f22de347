// Fitting a smile to quotes: a bounded Levenberg-Marquardt least-squares fit of chosen
// parameters of any VolSlice, minimising sum w * (vol(K) - quote)^2 over the quotes given.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "common/result.hpp"
#include "volmodel/interval.hpp"
#include "volmodel/vol_model.hpp"

namespace korvex {

// The quotes that count, already filtered: finite positive strikes, finite vols (fractions),
// finite positive weights; three spans of one length.
struct FitQuotes {
    std::span<const double> strikes;
    std::span<const double> vols;
    std::span<const double> weights;
};

struct FitRequest {
    double ttx = 0.0;
    double spot = 0.0;
    std::vector<std::string_view> names;  // the parameters varied, distinct
    std::vector<Interval> bounds;         // one per name; the whole line when unbounded
    int max_iterations = 100;
};

enum class FitStatus { converged, max_iterations, too_few_quotes, cancelled };

struct FitOutcome {
    FitStatus status = FitStatus::converged;
    int iterations = 0;          // trial steps taken, accepted or not
    std::vector<double> values;  // one per name; the start's (moved into the box) unless fitted
};

// Polled between iterations, without the caller's locks; true stops the fit as cancelled.
struct CancelHook {
    bool (*poll)(void* context) = nullptr;
    void* context = nullptr;
    bool operator()() const { return poll != nullptr && poll(context); }
};

// Fails, before any fitting, on a name the model lacks or gives twice, a bound with lo > hi or
// a NaN end, a bound with no admissible value, a start whose parameters are not finite or not
// admissible once moved into the bounds, and a start giving a non-finite vol at a quote.
// Fewer quotes than names gives too_few_quotes with the start's values. Deterministic.
Result<FitOutcome> fit_slice(const VolSlice& start, const FitQuotes& quotes, const FitRequest& request,
                             CancelHook cancel = {});

}  // namespace korvex
