// Adding a module's public names: each set as an attribute and appended to __all__, in order.
#pragma once

#include <span>

#include "python/frame/handle.hpp"

namespace korvex::py {

// -1 with an exception set (also when `value` is null, the failure of the call that made it).
int add_export(PyObject* module, const char* name, Ref value);

// The types and the few interpreter objects a module caches are made once per process and
// belong to the interpreter that made them; a sub-interpreter (which may be destroyed, taking
// them along) must not be the one. Isolated ones would refuse the module anyway, legacy ones
// do not check, so the execution step checks for itself: false with ImportError.
bool in_main_interpreter(const char* module_name);

// Each function of the table, bound to the module (its __module__ is the module's name).
int add_functions(PyObject* module, std::span<PyMethodDef> functions);

// A module's execution step: checks the module object and the interpreter, then adds the names
// through `register_names` at the border. 0, or -1 with an exception set.
int execute_module(PyObject* module, const char* module_name, int (*register_names)(PyObject*));

// A module definition for multi-phase initialisation: an empty docstring, no per-module state,
// no method table (the execution step adds the functions) and the given slots.
inline PyModuleDef module_definition(const char* name, PyModuleDef_Slot* slots) {
    return PyModuleDef{PyModuleDef_HEAD_INIT, name, "", 0, nullptr, slots, nullptr, nullptr, nullptr};
}

}  // namespace korvex::py
