#include "python/frame/module_lifecycle.hpp"

#include "python/frame/border.hpp"

namespace korvex::py {

bool in_main_interpreter(const char* module_name) {
    if (PyInterpreterState_GetID(PyInterpreterState_Get()) == 0) return true;
    PyErr_Format(PyExc_ImportError, "%s can only be imported in the main interpreter", module_name);
    return false;
}

int execute_module(PyObject* module, const char* module_name, int (*register_names)(PyObject*)) {
    if (!PyModule_Check(module)) {
        PyErr_Format(PyExc_TypeError, "%s can only initialise a module object", module_name);
        return -1;
    }
    if (!in_main_interpreter(module_name)) return -1;
    return at_border([module, register_names] { return register_names(module); }, -1);
}

}  // namespace korvex::py
