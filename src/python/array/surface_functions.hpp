// The module functions that go with the surface: forwards from put-call parity, and calendars
// registered for other underlyings.
#pragma once

#include <span>

#include "python/frame/python.hpp"

namespace korvex::py {

std::span<PyMethodDef> array_surface_functions();

}  // namespace korvex::py
