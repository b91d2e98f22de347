// The call/put choice shared by every pricing operation.
#pragma once

namespace korvex {

enum class OptionType { call = 0, put = 1 };

// Every pricing operation degenerates to its expiry value when no time or no volatility is
// left. Plain comparisons on purpose: a NaN T or sigma fails both and flows into the formulas.
inline bool at_expiry(double ttx, double vol) { return ttx <= 0.0 || vol <= 0.0; }

}  // namespace korvex
