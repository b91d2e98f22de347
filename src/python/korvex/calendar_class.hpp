// The Python class Calendar: business time between datetimes for an underlying.
#pragma once

#include "python/frame/python.hpp"

namespace korvex::py {

PyObject* calendar_type();

}  // namespace korvex::py
