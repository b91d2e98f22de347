#include "option_pricing/iv_calibration.hpp"

#include <cmath>
#include <limits>

#include "option_pricing/b76.hpp"
#include "option_pricing/brent.hpp"

namespace korvex {

double calibrate_black76_iv(OptionType type, double ttx, double fwd, double strike, double price,
                            double df) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    const b76::FixedOption option(type, fwd, strike, ttx, df);
    const auto objective = [&](double vol) { return option.value(vol) - price; };
    // A NaN objective would otherwise bisect quietly down to the lower bound and look like a
    // result; check the bracket ends first (the search evaluates them first).
    const double f_low = objective(kIvLowerBound);
    const double f_high = objective(kIvUpperBound);
    if (std::isnan(f_low) || std::isnan(f_high)) return nan;
    const auto root = brent_from(objective, kIvLowerBound, f_low, kIvUpperBound, f_high,
                                 {kIvTolerance, kIvMaxIterations});
    return root ? *root : nan;
}

}  // namespace korvex
