#include "python/frame/instance.hpp"

namespace korvex::py {

PyObject* create_final_type(const TypeSpec& spec, int basicsize, destructor dealloc) {
    // Slots may not be null (but the docstring), so absent members are left out.
    PyType_Slot slots[9] = {
        {Py_tp_doc, const_cast<char*>(spec.doc)},
        {Py_tp_new, reinterpret_cast<void*>(spec.constructor)},
        {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
    };
    int used = 3;
    if (spec.methods) slots[used++] = {Py_tp_methods, spec.methods};
    if (spec.getset) slots[used++] = {Py_tp_getset, spec.getset};
    if (spec.repr) slots[used++] = {Py_tp_repr, reinterpret_cast<void*>(spec.repr)};
    if (spec.richcompare) slots[used++] = {Py_tp_richcompare, reinterpret_cast<void*>(spec.richcompare)};
    if (spec.traverse) slots[used++] = {Py_tp_traverse, reinterpret_cast<void*>(spec.traverse)};
    slots[used] = {0, nullptr};
    // No Py_TPFLAGS_BASETYPE: the classes are final.
    unsigned int flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE;
    if (spec.traverse) flags |= Py_TPFLAGS_HAVE_GC;
    PyType_Spec type_spec = {
        spec.qualified_name,
        basicsize,
        0,
        flags,
        slots,
    };
    return PyType_FromSpec(&type_spec);
}

}  // namespace korvex::py
