// Adding a module's public names: each set as an attribute and appended to __all__, in order.
#pragma once

#include <span>

#include "python/frame/handle.hpp"

namespace korvex::py {

// -1 with an exception set (also when `value` is null, the failure of the call that made it).
int add_export(PyObject* module, const char* name, Ref value);

// Each function of the table, bound to the module (its __module__ is the module's name).
int add_functions(PyObject* module, std::span<PyMethodDef> functions);

}  // namespace korvex::py
