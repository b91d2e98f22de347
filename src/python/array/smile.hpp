// korvex_array.Smile: an immutable, picklable snapshot of a korvex smile model (its class,
// expiry and parameters) that evaluates volatilities and Jacobians over arrays.
#pragma once

#include "python/frame/python.hpp"

namespace korvex::py {

PyObject* smile_type();

}  // namespace korvex::py
