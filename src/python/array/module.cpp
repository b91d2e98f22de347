// korvex_array: the pricing functions, smiles and times over whole arrays. The module definition
// and its one execution step, which imports numpy and adds the names in a fixed order.
#include "python/array/desk.hpp"
#include "python/array/fit.hpp"
#include "python/array/smile.hpp"
#include "python/array/smile_fit.hpp"
#include "python/array/surface_class.hpp"
#include "python/array/surface_functions.hpp"
#include "python/array/time_functions.hpp"
#include "python/frame/array_kernel.hpp"
#include "python/frame/exports.hpp"
#include "python/frame/module_lifecycle.hpp"
#include "python/frame/numpy.hpp"
#include "python/frame/pricing_kernels.hpp"

namespace korvex::py {
namespace {

int register_names(PyObject* module) {
    if (!load_numpy()) return -1;
    if (add_export(module, "Smile", Ref::borrow(smile_type())) < 0) return -1;
    if (add_functions(module, array_functions(pricing::functions)) < 0) return -1;
    if (add_functions(module, array_functions(pricing::array_only_functions)) < 0) return -1;
    if (add_functions(module, array_desk_functions()) < 0) return -1;
    if (add_export(module, "SmileFit", Ref::borrow(smile_fit_type())) < 0) return -1;
    if (add_functions(module, array_fit_functions()) < 0) return -1;
    if (add_functions(module, array_time_functions()) < 0) return -1;
    if (add_export(module, "Surface", Ref::borrow(surface_type())) < 0) return -1;
    return add_functions(module, array_surface_functions());
}

int exec_module(PyObject* module) { return execute_module(module, "korvex_array", &register_names); }

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&exec_module)},
    // numpy's functions and the shared calendars are kept per process.
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
    {0, nullptr},
};

PyModuleDef module_def = module_definition("korvex_array", module_slots);

}  // namespace
}  // namespace korvex::py

PyMODINIT_FUNC PyInit_korvex_array() { return PyModuleDef_Init(&korvex::py::module_def); }
