#include "python/frame/args.hpp"

#include <cstring>
#include <string_view>

namespace korvex::py {
namespace {

bool too_many_positional(const SignatureView& s, Py_ssize_t given) {
    if (static_cast<std::size_t>(given) <= s.names.size()) return false;
    const bool fixed = s.required == s.names.size();
    PyErr_Format(PyExc_TypeError, "%s() takes %s %zd positional argument%s (%zd given)", s.function_name,
                 fixed ? "exactly" : "at most", static_cast<Py_ssize_t>(s.names.size()),
                 s.names.size() == 1 ? "" : "s", given);
    return true;
}

void fill(PyObject*& slot, PyObject* value) { slot = value; }
void fill(Ref& slot, PyObject* value) { slot = Ref::borrow(value); }

// Places one keyword argument; false (with TypeError) for an unknown or repeated name.
template <class Slot>
bool place_keyword(const SignatureView& s, PyObject* key, PyObject* value, Slot* slots, Ref* rest) {
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_Check(key) ? PyUnicode_AsUTF8AndSize(key, &size) : nullptr;
    if (!utf8) {
        if (!PyErr_Occurred()) PyErr_Format(PyExc_TypeError, "%s() keywords must be strings", s.function_name);
        return false;
    }
    const std::string_view name(utf8, static_cast<std::size_t>(size));
    for (std::size_t i = 0; i < s.names.size(); ++i) {
        if (name != s.names[i]) continue;
        if (slots[i]) {
            PyErr_Format(PyExc_TypeError, "argument for %s() given by name ('%s') and position (%zd)",
                         s.function_name, s.names[i], static_cast<Py_ssize_t>(i + 1));
            return false;
        }
        fill(slots[i], value);
        return true;
    }
    if (rest) {
        if (!*rest) *rest = Ref::steal(PyDict_New());
        return *rest && PyDict_SetItem(rest->get(), key, value) == 0;
    }
    PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", s.function_name, key);
    return false;
}

template <class Slot>
bool check_required(const SignatureView& s, const Slot* slots) {
    for (std::size_t i = 0; i < s.required; ++i) {
        if (!slots[i]) {
            PyErr_Format(PyExc_TypeError, "%s() missing required argument '%s' (pos %zd)", s.function_name,
                         s.names[i], static_cast<Py_ssize_t>(i + 1));
            return false;
        }
    }
    return true;
}

}  // namespace

bool bind_vector(const SignatureView& s, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                 PyObject** slots) {
    if (too_many_positional(s, nargs)) return false;
    for (std::size_t i = 0; i < s.names.size(); ++i) slots[i] = i < static_cast<std::size_t>(nargs) ? args[i] : nullptr;
    if (kwnames) {
        const Py_ssize_t count = PyTuple_Size(kwnames);
        for (Py_ssize_t k = 0; k < count; ++k) {
            if (!place_keyword(s, PyTuple_GetItem(kwnames, k), args[nargs + k], slots, nullptr)) return false;
        }
    }
    return check_required(s, slots);
}

bool bind_tuple(const SignatureView& s, PyObject* args, PyObject* kwargs, Ref* slots, Ref* rest) {
    const Py_ssize_t nargs = PyTuple_Size(args);
    if (too_many_positional(s, nargs)) return false;
    for (std::size_t i = 0; i < s.names.size(); ++i) {
        slots[i] = i < static_cast<std::size_t>(nargs) ? Ref::borrow(PyTuple_GetItem(args, static_cast<Py_ssize_t>(i)))
                                                       : Ref();
    }
    if (kwargs) {
        // Read from a snapshot of the items: the keyword dict can be reached from Python code
        // (a key's __eq__, a later conversion) and cleared while its values are still in use.
        Ref items = Ref::steal(PyDict_Items(kwargs));
        if (!items) return false;
        for (Py_ssize_t i = 0; i < PyList_Size(items.get()); ++i) {
            PyObject* pair = PyList_GetItem(items.get(), i);
            if (!place_keyword(s, PyTuple_GetItem(pair, 0), PyTuple_GetItem(pair, 1), slots, rest)) return false;
        }
    }
    return check_required(s, slots);
}

}  // namespace korvex::py
