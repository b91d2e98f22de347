// The desk functions of korvex_array: every textbook Black-76 sensitivity in one pass, and the
// premium, greeks and implied volatility of coin-settled options.
#pragma once

#include <span>

#include "python/frame/python.hpp"

namespace korvex::py {

std::span<PyMethodDef> array_desk_functions();

}  // namespace korvex::py
