// Constant-maturity figures read off a surface at a business time and a forward: the at-the-money
// vol and the strikes, vols, risk reversals and butterflies of a given undiscounted forward delta.
#pragma once

#include "option_pricing/option_type.hpp"
#include "surface/surface.hpp"

namespace korvex {

// Half-width of the delta search in units of the at-the-money total vol, and its cells per side.
inline constexpr double kDeltaSearchWidth = 10.0;
inline constexpr int kDeltaSearchCells = 40;

double atm_vol(const Surface& surface, double tau, double forward);

// The strike whose forward delta, N(d1) for a call and N(d1) - 1 for a put, at the surface's own
// vol there, is `delta`. The search runs over k = ln(K/F) in [-10 s, 10 s], s the at-the-money
// vol times sqrt(tau), cell by cell outward from the money, so that of several roots the one
// nearest the money is found (two roots inside one cell, 1/40 of the half-width, are not seen).
// NaN where no strike in the bracket has that delta, where delta is outside (0, 1) for a call or
// (-1, 0) for a put, or where a vol met before the root is NaN.
double delta_strike(const Surface& surface, double tau, double forward, double delta, OptionType type);
double delta_vol(const Surface& surface, double tau, double forward, double delta, OptionType type);
// delta_vol(call, delta) - delta_vol(put, -delta).
double risk_reversal(const Surface& surface, double tau, double forward, double delta);
// (delta_vol(call, delta) + delta_vol(put, -delta)) / 2 - atm_vol.
double butterfly(const Surface& surface, double tau, double forward, double delta);

}  // namespace korvex
