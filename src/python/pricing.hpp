// The module's pricing functions, in registration order.
#pragma once

#include <span>

#include "python/frame/python.hpp"

namespace korvex::py {

std::span<PyMethodDef> pricing_functions();

}  // namespace korvex::py
