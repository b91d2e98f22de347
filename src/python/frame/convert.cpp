#include "python/frame/convert.hpp"

#include "python/frame/interrupts.hpp"

namespace korvex::py {
namespace {

// Long loops (millions of items) let signal handlers run now and then, so that Ctrl-C stops
// them with KeyboardInterrupt; false (with that exception set) when a handler raised.
bool signals_checked(Py_ssize_t done) { return korvex::py::signals_checked(static_cast<std::size_t>(done)); }

bool refuse_str_as_sequence(PyObject* object) {
    if (PyUnicode_Check(object)) {
        PyErr_SetString(PyExc_TypeError, "a str is not accepted as a sequence of items");
        return true;
    }
    if (!PySequence_Check(object)) {
        raise_not_instance(object, "Sequence");
        return true;
    }
    return false;
}

// Visits the items of a sequence in iteration order. Exact lists and tuples are read by index
// (a list is re-measured each step, as its iterator would); everything else is iterated.
template <class Visit>
bool for_each_item(PyObject* sequence, Visit&& visit) {
    if (PyList_CheckExact(sequence)) {
        for (Py_ssize_t i = 0; i < PyList_Size(sequence); ++i) {
            if (!signals_checked(i)) return false;
            PyObject* item = PyList_GetItem(sequence, i);
            if (!item) return false;
            // An exact float converts without running code, so the list cannot change under it
            // and needs no reference held (the common case, one per strike).
            if (PyFloat_CheckExact(item)) {
                if (!visit(item)) return false;
                continue;
            }
            // Hold anything else: converting it may run code that shrinks the list.
            Ref held = Ref::borrow(item);
            if (!visit(held.get())) return false;
        }
        return true;
    }
    if (PyTuple_CheckExact(sequence)) {
        const Py_ssize_t size = PyTuple_Size(sequence);
        for (Py_ssize_t i = 0; i < size; ++i) {
            if (!signals_checked(i) || !visit(PyTuple_GetItem(sequence, i))) return false;
        }
        return true;
    }
    Ref iterator = Ref::steal(PyObject_GetIter(sequence));
    if (!iterator) return false;
    for (Py_ssize_t i = 0; Ref item = Ref::steal(PyIter_Next(iterator.get())); ++i) {
        if (!visit(item.get()) || !signals_checked(i)) return false;
    }
    return !PyErr_Occurred();
}

Py_ssize_t size_hint(PyObject* sequence) {
    if (PyList_CheckExact(sequence)) return PyList_Size(sequence);
    if (PyTuple_CheckExact(sequence)) return PyTuple_Size(sequence);
    return 0;
}

}  // namespace

bool read_text(PyObject* object, Text& out) {
    if (!PyUnicode_Check(object)) {
        raise_not_instance(object, "str");
        return false;
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(object, &size);
    if (!utf8) return false;
    out = Text{std::string_view(utf8, static_cast<std::size_t>(size))};
    return true;
}

bool read_float_list(PyObject* object, std::vector<double>& out) {
    if (refuse_str_as_sequence(object)) return false;
    out.clear();
    out.reserve(static_cast<std::size_t>(size_hint(object)));
    return for_each_item(object, [&](PyObject* item) {
        double value;
        if (!read_float(item, value)) return false;
        out.push_back(value);
        return true;
    });
}

bool read_text_list(PyObject* object, TextList& out) {
    if (refuse_str_as_sequence(object)) return false;
    out.items.clear();
    out.owners.clear();
    return for_each_item(object, [&](PyObject* item) {
        Text text;
        if (!read_text(item, text)) return false;
        out.items.push_back(text.utf8);
        out.owners.push_back(Ref::borrow(item));
        return true;
    });
}

bool read_named_floats(PyObject* object, NamedFloats& out) {
    if (!PyDict_Check(object)) {
        raise_not_instance(object, "dict");
        return false;
    }
    // A snapshot of the items: converting a value may run code that changes the dict.
    out.owner = Ref::steal(PyDict_Items(object));
    if (!out.owner) return false;
    out.entries.clear();
    const Py_ssize_t size = PyList_Size(out.owner.get());
    out.entries.reserve(static_cast<std::size_t>(size));
    for (Py_ssize_t i = 0; i < size; ++i) {
        if (!signals_checked(i)) return false;
        PyObject* pair = PyList_GetItem(out.owner.get(), i);
        Text key;
        double value;
        if (!read_text(PyTuple_GetItem(pair, 0), key) || !read_float(PyTuple_GetItem(pair, 1), value)) {
            return false;
        }
        out.entries.emplace_back(key.utf8, value);
    }
    return true;
}

namespace {

// A new list filled in place, one new object per element.
template <class T, class Make>
PyObject* new_list(std::span<const T> elements, Make make) {
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(elements.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (!signals_checked(static_cast<Py_ssize_t>(i))) return nullptr;
        PyObject* item = make(elements[i]);
        if (!item) return nullptr;
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

}  // namespace

PyObject* to_python(std::span<const double> values) { return new_list(values, PyFloat_FromDouble); }

PyObject* new_str(std::string_view utf8) {
    return PyUnicode_FromStringAndSize(utf8.data(), static_cast<Py_ssize_t>(utf8.size()));
}

PyObject* to_python(std::span<const std::string_view> names) { return new_list(names, new_str); }

}  // namespace korvex::py
