// The exact implied volatility: any six doubles give NaN, 0, +inf or a finite positive vol, by
// the rules on the given doubles (NaN and out-of-range inputs, the price's two bounds), never a
// NaN for a price strictly between the bounds, and always in a bounded number of steps.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_check.hpp"
#include "fuzz_input.hpp"
#include "option_pricing/implied_vol.hpp"

namespace {

using korvex::fuzz::check;

std::string describe(double ttx, double fwd, double strike, double price, double df, bool call) {
    char text[200];
    std::snprintf(text, sizeof text, "%s ttx=%a fwd=%a strike=%a price=%a df=%a", call ? "call" : "put", ttx, fwd,
                  strike, price, df);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    korvex::fuzz::Input in(data, size);
    const bool call = in.byte() % 2 == 0;
    const double ttx = in.real(0.0, 5.0);
    const double fwd = std::exp(in.real(-10.0, 15.0));
    const double strike = fwd * std::exp(in.real(-8.0, 8.0));
    const double df = in.real(0.5, 1.0);
    const double intrinsic = call ? std::fmax(fwd - strike, 0.0) : std::fmax(strike - fwd, 0.0);
    const double ceiling = call ? fwd : strike;
    // The price anywhere between the bounds, at them, or (raw) anything.
    const double share = in.real(-0.1, 1.1);
    const double price = df * (intrinsic + share * (ceiling - intrinsic));

    const double vol = korvex::implied_vol(call ? korvex::OptionType::call : korvex::OptionType::put, ttx, fwd,
                                           strike, price, df);
    const std::string what = describe(ttx, fwd, strike, price, df, call);
    check(std::isnan(vol) || vol >= 0.0, "negative vol", what);

    const bool bad = !(ttx > 0.0 && fwd > 0.0 && strike > 0.0 && df > 0.0) || std::isinf(ttx) || std::isinf(fwd) ||
                     std::isinf(strike) || std::isinf(df) || !std::isfinite(price);
    if (bad) {
        check(std::isnan(vol), "a vol for inputs that have none", what);
        return 0;
    }
    const double lowest = df * intrinsic;
    const double highest = df * ceiling;
    if (price < lowest || price > highest) {
        check(std::isnan(vol), "a vol for a price outside its bounds", what);
    } else if (price == lowest) {
        check(vol == 0.0, "not 0 at the lower bound", what);
    } else if (price == highest) {
        check(vol == INFINITY, "not +inf at the upper bound", what);
    } else {
        check(!std::isnan(vol), "NaN for a price strictly between the bounds", what);
    }
    return 0;
}
