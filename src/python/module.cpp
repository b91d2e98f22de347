// The module definition and its one execution step: classes first, then functions, each added
// as an attribute and appended to __all__, in a fixed order.
#include <span>

#include "python/classes.hpp"
#include "python/frame/border.hpp"
#include "python/frame/handle.hpp"
#include "python/pricing.hpp"

namespace korvex::py {
namespace {

int add_name(PyObject* module, const char* name, Ref value) {
    if (!value) return -1;
    Ref all = Ref::steal(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
        PyErr_Clear();
        all = Ref::steal(PyList_New(0));
        if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return -1;
    }
    Ref text = Ref::steal(PyUnicode_FromString(name));
    if (!text || PyList_Append(all.get(), text.get()) < 0) return -1;
    return PyModule_AddObjectRef(module, name, value.get());
}

// The types and the few interpreter objects the module caches are made once per process and
// belong to the interpreter that made them; a sub-interpreter (which may be destroyed, taking
// them along) must not be the one. Isolated ones would refuse the module anyway, legacy ones
// do not check, so the step checks for itself.
bool in_main_interpreter() {
    if (PyInterpreterState_GetID(PyInterpreterState_Get()) == 0) return true;
    PyErr_SetString(PyExc_ImportError, "korvex can only be imported in the main interpreter");
    return false;
}

int register_names(PyObject* module) {
    throw_if_probed("korvex");
    for (const ClassEntry& entry : registered_classes()) {
        if (add_name(module, entry.name, Ref::borrow(entry.type())) < 0) return -1;
    }
    Ref module_name = Ref::steal(PyModule_GetNameObject(module));
    if (!module_name) return -1;
    for (PyMethodDef& def : pricing_functions()) {
        if (add_name(module, def.ml_name, Ref::steal(PyCMethod_New(&def, module, module_name.get(), nullptr))) < 0) {
            return -1;
        }
    }
    return 0;
}

int exec_module(PyObject* module) {
    if (!PyModule_Check(module)) {
        PyErr_SetString(PyExc_TypeError, "korvex can only initialise a module object");
        return -1;
    }
    if (!in_main_interpreter()) return -1;
    return at_border([module] { return register_names(module); }, -1);
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&exec_module)},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "korvex",  // m_name
    "",        // m_doc
    0,         // m_size: no per-module state
    nullptr,   // m_methods: functions are added by the execution step
    module_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace
}  // namespace korvex::py

PyMODINIT_FUNC PyInit_korvex() { return PyModuleDef_Init(&korvex::py::module_def); }
