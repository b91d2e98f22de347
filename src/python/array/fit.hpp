// korvex_array.fit_smile: a smile model fitted to one expiry's quotes in the core, without the
// interpreter lock.
#pragma once

#include <span>

#include "python/frame/python.hpp"

namespace korvex::py {

std::span<PyMethodDef> array_fit_functions();

}  // namespace korvex::py
