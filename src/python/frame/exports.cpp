#include "python/frame/exports.hpp"

namespace korvex::py {

int add_export(PyObject* module, const char* name, Ref value) {
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

int add_functions(PyObject* module, std::span<PyMethodDef> functions) {
    Ref module_name = Ref::steal(PyModule_GetNameObject(module));
    if (!module_name) return -1;
    for (PyMethodDef& def : functions) {
        if (add_export(module, def.ml_name, Ref::steal(PyCMethod_New(&def, module, module_name.get(), nullptr))) < 0) {
            return -1;
        }
    }
    return 0;
}

}  // namespace korvex::py
