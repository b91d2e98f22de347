#include "python/frame/numpy.hpp"

namespace korvex::py {
namespace {

// Looked up once and kept for the life of the process, like the module's type objects.
struct NumpyApi {
    PyObject* asarray = nullptr;
    PyObject* ascontiguousarray = nullptr;
    PyObject* empty = nullptr;
    PyObject* float64 = nullptr;
    PyObject* int64 = nullptr;
    PyObject* object = nullptr;
    PyObject* dtype = nullptr;
    PyObject* ndarray = nullptr;
};
NumpyApi api;

PyObject* dtype_keywords() {
    static PyObject* names = Py_BuildValue("(s)", "dtype");
    return names;
}

// callable(argument, dtype=dtype)
Ref call_with_dtype(PyObject* callable, PyObject* argument, PyObject* dtype) {
    PyObject* names = dtype_keywords();
    if (!names) return Ref();
    PyObject* args[] = {argument, dtype};
    return Ref::steal(PyObject_Vectorcall(callable, args, 1, names));
}

}  // namespace

PyObject* interned(const char* name) { return PyUnicode_InternFromString(name); }

bool load_numpy() {
    if (api.asarray) return true;
    Ref module = Ref::steal(PyImport_ImportModule("numpy"));
    if (!module) return false;
    NumpyApi found;
    PyObject** slots[] = {&found.asarray, &found.ascontiguousarray, &found.empty,
                          &found.float64, &found.int64,             &found.object,
                          &found.dtype,   &found.ndarray};
    const char* names[] = {"asarray", "ascontiguousarray", "empty", "float64", "int64", "object_", "dtype", "ndarray"};
    for (std::size_t i = 0; i < std::size(names); ++i) {
        *slots[i] = PyObject_GetAttrString(module.get(), names[i]);
        if (!*slots[i]) return false;  // what was found stays referenced: a failed import is rare
    }
    api = found;
    return true;
}

int optional_attr(PyObject* object, PyObject* name, Ref& out) {
    out = Ref::steal(PyObject_GetAttr(object, name));
    if (out) return 1;
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
    PyErr_Clear();
    return 0;
}

bool array_like(PyObject* object) {
    if (PySequence_Check(object) || PyObject_CheckBuffer(object)) return true;
    static PyObject* const array_name = interned("__array__");
    if (!array_name) return false;
    Ref method;
    return optional_attr(object, array_name, method) > 0;
}

Ref numpy_asarray(PyObject* object, bool as_objects) {
    if (as_objects) return call_with_dtype(api.asarray, object, api.object);
    PyObject* args[] = {object};
    return Ref::steal(PyObject_Vectorcall(api.asarray, args, 1, nullptr));
}

Ref numpy_contiguous_float64(PyObject* array) { return call_with_dtype(api.ascontiguousarray, array, api.float64); }

Ref numpy_contiguous(PyObject* array) {
    static PyObject* const dtype_name = interned("dtype");
    static PyObject* const isnative_name = interned("isnative");
    static PyObject* const newbyteorder_name = interned("newbyteorder");
    static PyObject* const native_order = interned("=");
    if (!dtype_name || !isnative_name || !newbyteorder_name || !native_order) return Ref();
    Ref dtype = Ref::steal(PyObject_GetAttr(array, dtype_name));
    Ref isnative = dtype ? Ref::steal(PyObject_GetAttr(dtype.get(), isnative_name)) : Ref();
    if (!isnative) return Ref();
    if (isnative.get() == Py_True) {
        PyObject* args[] = {array};
        return Ref::steal(PyObject_Vectorcall(api.ascontiguousarray, args, 1, nullptr));
    }
    // The same values, swapped into this machine's order by the copy numpy makes anyway.
    PyObject* method_args[] = {dtype.get(), native_order};
    Ref native = Ref::steal(PyObject_VectorcallMethod(newbyteorder_name, method_args, 2, nullptr));
    return native ? call_with_dtype(api.ascontiguousarray, array, native.get()) : Ref();
}

Ref numpy_int64_view(PyObject* array) {
    static PyObject* name = interned("view");
    if (!name) return Ref();
    PyObject* args[] = {array, api.int64};
    return Ref::steal(PyObject_VectorcallMethod(name, args, 2, nullptr));
}

Ref numpy_empty(Shape shape) {
    // A 1-D shape goes as its length, without a tuple.
    Ref dims = shape.size() == 1 ? Ref::steal(PyLong_FromSsize_t(shape[0]))
                                 : Ref::steal(PyTuple_New(static_cast<Py_ssize_t>(shape.size())));
    if (!dims) return Ref();
    for (std::size_t i = 0; shape.size() != 1 && i < shape.size(); ++i) {
        PyObject* n = PyLong_FromSsize_t(shape[i]);
        if (!n) return Ref();
        PyTuple_SetItem(dims.get(), static_cast<Py_ssize_t>(i), n);
    }
    PyObject* args[] = {dims.get()};
    return Ref::steal(PyObject_Vectorcall(api.empty, args, 1, nullptr));
}

int array_ndim(PyObject* array) {
    static PyObject* name = interned("ndim");
    Ref ndim = name ? Ref::steal(PyObject_GetAttr(array, name)) : Ref();
    return ndim ? PyLong_AsLong(ndim.get()) : -1;
}

Ref zero_d_item(PyObject* array) {
    Ref empty = Ref::steal(PyTuple_New(0));
    Ref item = empty ? Ref::steal(PyObject_GetItem(array, empty.get())) : Ref();
    if (item && PyObject_TypeCheck(item.get(), reinterpret_cast<PyTypeObject*>(api.ndarray))) {
        const char kind = dtype_kind(item.get());
        if (kind == 0) return Ref();
        if (kind == 'O') {
            PyErr_SetString(PyExc_TypeError, "an object array nested in a 0-d object array is not accepted");
            return Ref();
        }
    }
    return item;
}

bool is_ndarray(PyObject* object) { return PyObject_TypeCheck(object, reinterpret_cast<PyTypeObject*>(api.ndarray)); }

bool is_ndarray_subclass(PyObject* object) {
    auto* ndarray = reinterpret_cast<PyTypeObject*>(api.ndarray);
    return Py_TYPE(object) != ndarray && PyObject_TypeCheck(object, ndarray);
}

bool has_extension_dtype(PyObject* object) {
    static PyObject* name = interned("dtype");
    if (!name || PyList_Check(object) || PyTuple_Check(object)) return false;
    Ref dtype;
    if (optional_attr(object, name, dtype) <= 0) return false;
    return !PyObject_TypeCheck(dtype.get(), reinterpret_cast<PyTypeObject*>(api.dtype));
}

char dtype_kind(PyObject* array) {
    static PyObject* dtype_name = interned("dtype");
    static PyObject* kind_name = interned("kind");
    if (!dtype_name || !kind_name) return 0;
    Ref dtype = Ref::steal(PyObject_GetAttr(array, dtype_name));
    Ref kind = dtype ? Ref::steal(PyObject_GetAttr(dtype.get(), kind_name)) : Ref();
    Py_ssize_t size = 0;
    const char* text = kind ? PyUnicode_AsUTF8AndSize(kind.get(), &size) : nullptr;
    if (!text) return 0;
    if (size != 1) {
        PyErr_SetString(PyExc_TypeError, "unexpected dtype kind");
        return 0;
    }
    return text[0];
}

std::string dtype_name(PyObject* array) {
    static PyObject* name = interned("dtype");
    Ref dtype = name ? Ref::steal(PyObject_GetAttr(array, name)) : Ref();
    Ref text = dtype ? Ref::steal(PyObject_Str(dtype.get())) : Ref();
    Py_ssize_t size = 0;
    const char* utf8 = text ? PyUnicode_AsUTF8AndSize(text.get(), &size) : nullptr;
    if (!utf8) {
        PyErr_Clear();  // only a message is being written
        return "?";
    }
    return std::string(utf8, static_cast<std::size_t>(size));
}

std::string shape_text(Shape shape) {
    std::string text = "(";
    for (std::size_t i = 0; i < shape.size(); ++i) {
        if (i) text += ", ";
        text += std::to_string(shape[i]);
    }
    if (shape.size() == 1) text += ",";
    return text + ")";
}

}  // namespace korvex::py
