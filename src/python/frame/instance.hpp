// Python objects that own one core value by value, with the borrow word that guards it, and the
// heap type that holds them (final: created without the subclassing flag).
//
// A core that holds Python objects (a Ref) says so with a member
//   int traverse(visitproc visit, void* arg) const   (Py_VISIT of each object it holds)
// and its class takes part in cyclic garbage collection; other cores hold none.
#pragma once

#include <concepts>
#include <new>
#include <span>
#include <type_traits>
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
    // Set by ClassOf for a core that holds Python objects: the class is then collected.
    traverseproc traverse = nullptr;
};

PyObject* create_final_type(const TypeSpec& spec, int basicsize, destructor dealloc);

// One Python class per core type. `Spec` supplies `static TypeSpec spec()` and `name`.
template <class Core>
concept HoldsPythonObjects = requires(const Core& core, visitproc visit, void* arg) {
    { core.traverse(visit, arg) } -> std::same_as<int>;
};

template <class Core, class Spec>
struct ClassOf {
    using Object = Instance<Core>;
    static constexpr bool kCollected = HoldsPythonObjects<Core>;

    // Created on first use and kept for the life of the process; a failed creation is tried
    // again on the next use.
    static PyObject* type() {
        static PyObject* type = nullptr;
        if (!type) {
            type = at_border([] {
                throw_if_probed("create_type");
                TypeSpec spec = Spec::spec();
                if constexpr (kCollected) spec.traverse = &traverse;
                return create_final_type(spec, static_cast<int>(sizeof(Object)), &dealloc);
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

    // A new instance of `subtype` (the class itself: it cannot be subclassed) owning `core`. The
    // memory is freed again if moving the core in throws; the collector sees the instance only
    // once it is whole.
    static PyObject* wrap(PyTypeObject* subtype, Core&& core) {
        auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(subtype, Py_tp_alloc));
        PyObject* self = alloc(subtype, 0);
        if (!self) return nullptr;
        if constexpr (kCollected) PyObject_GC_UnTrack(self);
        auto* object = reinterpret_cast<Object*>(self);
        new (&object->borrow) BorrowFlag();
        if constexpr (std::is_nothrow_move_constructible_v<Core>) {
            new (&object->core) Core(std::move(core));
        } else {
            try {
                new (&object->core) Core(std::move(core));
            } catch (...) {
                free_memory(self);
                throw;
            }
        }
        if constexpr (kCollected) PyObject_GC_Track(self);
        return self;
    }
    static PyObject* wrap(Core&& core) {
        PyObject* t = type();
        return t ? wrap(reinterpret_cast<PyTypeObject*>(t), std::move(core)) : nullptr;
    }

private:
    static void dealloc(PyObject* self) {
        if constexpr (kCollected) PyObject_GC_UnTrack(self);
        auto* object = reinterpret_cast<Object*>(self);
        object->core.~Core();
        free_memory(self);
    }
    // The instance's memory without its core (destroyed, or never made).
    static void free_memory(PyObject* self) {
        PyTypeObject* tp = Py_TYPE(self);
        reinterpret_cast<Object*>(self)->borrow.~BorrowFlag();
        auto free_slot = reinterpret_cast<freefunc>(PyType_GetSlot(tp, Py_tp_free));
        free_slot(self);
        Py_DECREF(tp);  // instances of heap types own a reference to their type
    }
    static int traverse(PyObject* self, visitproc visit, void* arg) {
        Py_VISIT(Py_TYPE(self));  // a heap type's instances visit their type
        return reinterpret_cast<Object*>(self)->core.traverse(visit, arg);
    }
};

}  // namespace korvex::py
