// The Black call in normalised form, for the exact implied volatility.
//
// With x = ln(F/K) <= 0 (out of the money) and s = sigma sqrt(T) the total volatility, the
// undiscounted call divided by sqrt(F K) is
//   b(x, s) = exp(x/2) N(x/s + s/2) - exp(-x/2) N(x/s - s/2),   0 <= b < exp(x/2).
// With h = x/s and t = s/2, both terms share the factor n(h+t) exp(x/2) = exp(-(h^2+t^2)/2)/sqrt(2pi),
// which is also the vega db/ds; in terms of Y = N/n,
//   b = vega * (Y(h+t) - Y(h-t))               below the inflection point s_c = sqrt(-2x),
//   exp(x/2) - b = vega * (Y(-h-t) + Y(h-t))   above it,
// each Y at a non-positive argument, so nothing underflows and the common exponent is rounded
// once for both terms.
#pragma once

namespace korvex::normalised {

struct BlackPoint {
    double log_vega;  // ln(db/ds)
    double vega;      // db/ds, which may underflow to 0 where log_vega does not
    double ratio;     // b / vega below the inflection point, (exp(x/2) - b) / vega above it
    bool above;       // whether s lies above the inflection point (ratio holds the complement)
    double curve1;    // b'' / b'
    double curve2;    // b''' / b'
};

// x <= 0 finite, s > 0 finite.
BlackPoint black_point(double x, double s);

}  // namespace korvex::normalised
