// A module's life: its definition for multi-phase initialisation and its execution step.
#pragma once

#include "python/frame/python.hpp"

namespace korvex::py {

// The types and the few interpreter objects a module caches are made once per process and
// belong to the interpreter that made them; a sub-interpreter (which may be destroyed, taking
// them along) must not be the one. Isolated ones would refuse the module anyway, legacy ones
// do not check, so the execution step checks for itself: false with ImportError.
bool in_main_interpreter(const char* module_name);

// A module's execution step: checks the module object and the interpreter, then adds the names
// through `register_names` at the border. 0, or -1 with an exception set.
int execute_module(PyObject* module, const char* module_name, int (*register_names)(PyObject*));

// A module definition for multi-phase initialisation: an empty docstring, no per-module state,
// no method table (the execution step adds the functions) and the given slots.
inline PyModuleDef module_definition(const char* name, PyModuleDef_Slot* slots) {
    return PyModuleDef{PyModuleDef_HEAD_INIT, name, "", 0, nullptr, slots, nullptr, nullptr, nullptr};
}

}  // namespace korvex::py
