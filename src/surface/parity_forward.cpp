#include "surface/parity_forward.hpp"

#include <cmath>
#include <cstddef>
#include <string>

#include "surface/number_text.hpp"

namespace korvex {

Result<ParityForward> parity_forward(std::span<const double> strikes, std::span<const double> calls,
                                     std::span<const double> puts) {
    if (calls.size() != strikes.size() || puts.size() != strikes.size()) {
        return fail("strikes, calls and puts differ in length: " + std::to_string(strikes.size()) + ", " +
                    std::to_string(calls.size()) + " and " + std::to_string(puts.size()));
    }
    auto usable = [&](std::size_t i) {
        return std::isfinite(strikes[i]) && std::isfinite(calls[i]) && std::isfinite(puts[i]);
    };
    // Centred sums: the slope is -D, and the line passes through the means.
    std::size_t count = 0;
    double mean_k = 0.0, mean_y = 0.0;
    for (std::size_t i = 0; i < strikes.size(); ++i) {
        if (!usable(i)) continue;
        ++count;
        mean_k += strikes[i];
        mean_y += calls[i] - puts[i];
    }
    if (count < 2) {
        return fail("parity_forward needs at least two strikes quoted on both sides, got " + std::to_string(count));
    }
    mean_k /= static_cast<double>(count);
    mean_y /= static_cast<double>(count);
    double sxx = 0.0, sxy = 0.0;
    for (std::size_t i = 0; i < strikes.size(); ++i) {
        if (!usable(i)) continue;
        const double dk = strikes[i] - mean_k;
        sxx += dk * dk;
        sxy += dk * (calls[i] - puts[i] - mean_y);
    }
    if (!(sxx > 0.0)) return fail("parity_forward needs at least two different strikes quoted on both sides");
    const double df = -sxy / sxx;
    if (!(df > 0.0) || !std::isfinite(df)) {
        return fail("the fitted discount factor is not positive: " + number_text(df));
    }
    // D F - D K through the means: F = mean K + mean (C - P) / D.
    const double forward = mean_k + mean_y / df;
    if (!(forward > 0.0) || !std::isfinite(forward)) {
        return fail("the fitted forward is not positive: " + number_text(forward));
    }
    return ParityForward{forward, df};
}

}  // namespace korvex
