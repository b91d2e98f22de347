// korvex_array.Surface: fitted smiles joined into an immutable, picklable volatility surface in
// business time, with its constant-maturity marks, variance index and arbitrage report.
#pragma once

#include "python/frame/python.hpp"

namespace korvex::py {

PyObject* surface_type();

}  // namespace korvex::py
