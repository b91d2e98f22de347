// korvex_array.Smile: an immutable, picklable snapshot of a korvex smile model (its class,
// expiry and parameters) that evaluates volatilities and Jacobians over arrays.
#pragma once

#include "python/array/smile_model.hpp"
#include "python/frame/python.hpp"

namespace korvex::py {

PyObject* smile_type();

// The model a Smile snapshot holds, or null (no exception set) for any other object.
const SmileModel* snapshot_model(PyObject* object);

}  // namespace korvex::py
