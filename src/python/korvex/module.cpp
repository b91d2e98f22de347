// The module definition and its one execution step: classes first, then functions, each added
// as an attribute and appended to __all__, in a fixed order.
#include <span>

#include "python/korvex/classes.hpp"
#include "python/frame/border_probe.hpp"
#include "python/frame/exports.hpp"
#include "python/frame/module_lifecycle.hpp"
#include "python/frame/scalar_kernel.hpp"
#include "python/frame/pricing_kernels.hpp"

namespace korvex::py {
namespace {

int register_names(PyObject* module) {
    throw_if_probed("korvex");
    for (const ClassEntry& entry : registered_classes()) {
        if (add_export(module, entry.name, Ref::borrow(entry.type())) < 0) return -1;
    }
    return add_functions(module, scalar_functions(pricing::functions));
}

int exec_module(PyObject* module) { return execute_module(module, "korvex", &register_names); }

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&exec_module)},
    {0, nullptr},
};

PyModuleDef module_def = module_definition("korvex", module_slots);

}  // namespace
}  // namespace korvex::py

PyMODINIT_FUNC PyInit_korvex() { return PyModuleDef_Init(&korvex::py::module_def); }
