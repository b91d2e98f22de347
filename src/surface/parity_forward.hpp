// The forward and discount factor implied by put-call parity, C - P = D F - D K, fitted by
// unweighted least squares over the strikes quoted on both sides.
#pragma once

#include <span>

#include "common/result.hpp"

namespace korvex {

struct ParityForward {
    double forward;
    double df;
};

// Rows where the strike, the call or the put is NaN or infinite are left out. Fails on sequences
// of different lengths, fewer than two usable strikes (or all of them equal), or a fitted df or
// forward that is not positive.
Result<ParityForward> parity_forward(std::span<const double> strikes, std::span<const double> calls,
                                     std::span<const double> puts);

}  // namespace korvex
