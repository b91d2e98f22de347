// One converter per parameter kind (Python object -> native value) and the result conversions
// (native value -> new Python object). A failed conversion leaves a Python exception set.
#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/result.hpp"
#include "python/frame/errors.hpp"
#include "python/frame/handle.hpp"

namespace korvex::py {

// A str argument read as UTF-8, valid for the call (a default's text is static).
struct Text {
    std::string_view utf8;
};

// Text items of a sequence; `owners` keeps the strings (and so their UTF-8 buffers) alive.
struct TextList {
    std::vector<std::string_view> items;
    std::vector<Ref> owners;
};

// Entries of a dict of str to float, in the dict's order; `owner` keeps the keys alive.
struct NamedFloats {
    std::vector<std::pair<std::string_view, double>> entries;
    Ref owner;
};

// Inline: it is the conversion of nearly every argument and of every strike.
inline bool read_float(PyObject* object, double& out) {
    out = PyFloat_AsDouble(object);
    return !(out == -1.0 && PyErr_Occurred());
}
bool read_text(PyObject* object, Text& out);
bool read_float_list(PyObject* object, std::vector<double>& out);
bool read_text_list(PyObject* object, TextList& out);
bool read_named_floats(PyObject* object, NamedFloats& out);

// Parameter kinds of a declaration: each names its native type, its reader and how it reads in a
// text signature.
struct Float {
    using value_type = double;
    static bool read(PyObject* o, value_type& out) { return read_float(o, out); }
};
struct Str {
    using value_type = Text;
    static bool read(PyObject* o, value_type& out) { return read_text(o, out); }
};
struct FloatList {
    using value_type = std::vector<double>;
    static bool read(PyObject* o, value_type& out) { return read_float_list(o, out); }
};
struct StrList {
    using value_type = TextList;
    static bool read(PyObject* o, value_type& out) { return read_text_list(o, out); }
};
struct FloatDict {
    using value_type = NamedFloats;
    static bool read(PyObject* o, value_type& out) { return read_named_floats(o, out); }
};
// Passed through unconverted: date-times are interpreted inside the operation.
struct Object {
    using value_type = PyObject*;
    static bool read(PyObject* o, value_type& out) {
        out = o;
        return true;
    }
};

// ---- results ---------------------------------------------------------------------------------

inline PyObject* to_python(double value) { return PyFloat_FromDouble(value); }
inline PyObject* to_python(bool value) { return PyBool_FromLong(value); }
inline PyObject* to_python(PyObject* raised_or_new) { return raised_or_new; }
inline PyObject* to_python(const std::optional<double>& value) {
    return value ? PyFloat_FromDouble(*value) : Py_NewRef(Py_None);
}
PyObject* to_python(std::span<const double> values);
inline PyObject* to_python(const std::vector<double>& values) { return to_python(std::span<const double>(values)); }
PyObject* to_python(std::span<const std::string_view> names);
PyObject* new_str(std::string_view utf8);

template <class T>
PyObject* to_python(const Result<T>& result) {
    if (!result) {
        raise_core_error(result.error());
        return nullptr;
    }
    return to_python(*result);
}

template <class T>
PyObject* to_python(const PyResult<T>& result) {
    if (!result) {
        raise_failure(result.error());
        return nullptr;
    }
    return to_python(*result);
}

}  // namespace korvex::py
