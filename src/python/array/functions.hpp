// The eleven pricing functions over arrays, in the scalar module's order, and the exact
// implied volatility.
#pragma once

#include <span>

#include "python/frame/python.hpp"

namespace korvex::py {

std::span<PyMethodDef> array_pricing_functions();

}  // namespace korvex::py
