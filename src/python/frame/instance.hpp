// Python objects that own one core value by value, with the borrow word that guards it, and the
// heap type that holds them (final: created without the subclassing flag).
#pragma once

#include <new>
#include <span>
#include <string_view>
#include <utility>

#include "python/frame/border.hpp"
#include "python/frame/borrow.hpp"
#include "python/frame/errors.hpp"
#include "python/frame/handle.hpp"

namespace korvex::py {

template <class Core>
struct Instance {
    PyObject_HEAD
    BorrowFlag borrow;
    Core core;
};

struct TypeSpec {
    const char* qualified_name;  // "builtins.<Name>": __module__ reads "builtins"
    const char* doc;             // the constructor's text signature
    PyMethodDef* methods;
    PyGetSetDef* getset;
    newfunc constructor;
    // Optional: __repr__ and the comparisons (a class without them keeps object's).
    reprfunc repr = nullptr;
    richcmpfunc richcompare = nullptr;
};

PyObject* create_final_type(const TypeSpec& spec, int basicsize, destructor dealloc);

// One Python class per core type. `Spec` supplies `static TypeSpec spec()` and `name`.
template <class Core, class Spec>
struct ClassOf {
    using Object = Instance<Core>;

    // Created on first use and kept for the life of the process; a failed creation is tried
    // again on the next use.
    static PyObject* type() {
        static PyObject* type = nullptr;
        if (!type) {
            type = at_border([] {
                throw_if_probed("create_type");
                return create_final_type(Spec::spec(), static_cast<int>(sizeof(Object)), &dealloc);
            }, nullptr);
        }
        return type;
    }

    // The receiver as an instance, or null with TypeError naming the class.
    static Object* instance(PyObject* self) {
        PyObject* t = type();
        if (!t) return nullptr;
        if (!self || !PyObject_TypeCheck(self, reinterpret_cast<PyTypeObject*>(t))) {
            raise_not_instance(self ? self : Py_None, Spec::name);
            return nullptr;
        }
        return reinterpret_cast<Object*>(self);
    }

    // A new instance of `subtype` (the class itself: it cannot be subclassed) owning `core`.
    static PyObject* wrap(PyTypeObject* subtype, Core&& core) {
        auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(subtype, Py_tp_alloc));
        PyObject* self = alloc(subtype, 0);
        if (!self) return nullptr;
        auto* object = reinterpret_cast<Object*>(self);
        new (&object->borrow) BorrowFlag();
        new (&object->core) Core(std::move(core));
        return self;
    }
    static PyObject* wrap(Core&& core) {
        PyObject* t = type();
        return t ? wrap(reinterpret_cast<PyTypeObject*>(t), std::move(core)) : nullptr;
    }

private:
    static void dealloc(PyObject* self) {
        PyTypeObject* tp = Py_TYPE(self);
        auto* object = reinterpret_cast<Object*>(self);
        object->core.~Core();
        object->borrow.~BorrowFlag();
        auto free_slot = reinterpret_cast<freefunc>(PyType_GetSlot(tp, Py_tp_free));
        free_slot(self);
        Py_DECREF(tp);  // instances of heap types own a reference to their type
    }
};

}  // namespace korvex::py
