// Point-in-time objects across the border: anything with a timestamp() method in, an aware UTC
// datetime out.
#pragma once

#include <optional>

#include "common/utc_instant.hpp"
#include "python/frame/python.hpp"

namespace korvex::py {

// Calls object.timestamp(); its exceptions pass through unchanged. Nothing (with an exception
// set) on failure; ValueError "Invalid timestamp" for NaN, infinities and out-of-range dates.
std::optional<UtcInstant> py_to_utc(PyObject* object);

// A new datetime with tzinfo=timezone.utc, rounded to the nearest microsecond.
PyObject* utc_to_py(const UtcInstant& instant);

}  // namespace korvex::py
