#include "python/frame/numpy.hpp"

#include "python/frame/cached.hpp"

namespace korvex::py {
namespace {

PyObject* dtype_keyword(const char*) { return Py_BuildValue("(s)", "dtype"); }

constinit Cached asarray{"numpy.asarray", &imported};
constinit Cached ascontiguousarray{"numpy.ascontiguousarray", &imported};
constinit Cached empty{"numpy.empty", &imported};
constinit Cached float64{"numpy.float64", &imported};
constinit Cached int64{"numpy.int64", &imported};
constinit Cached object_dtype{"numpy.object_", &imported};
constinit Cached dtype_type{"numpy.dtype", &imported};
constinit Cached ndarray_type{"numpy.ndarray", &imported};
// numpy.dtype("float64"): numpy keeps one such object for native-order float64.
PyObject* dtype_named(const char* name) {
    PyObject* const dtype = dtype_type.get();
    return dtype ? PyObject_CallFunction(dtype, "s", name) : nullptr;
}
constinit Cached float64_dtype{"float64", &dtype_named};
constinit Cached dtype_keywords{"('dtype',)", &dtype_keyword};

constinit Cached array_name{"__array__"};
constinit Cached view_name{"view"};
constinit Cached ndim_name{"ndim"};
constinit Cached dtype_attribute{"dtype"};
constinit Cached kind_name{"kind"};
constinit Cached isnative_name{"isnative"};
constinit Cached newbyteorder_name{"newbyteorder"};
constinit Cached native_order{"="};

// callable(argument, dtype=dtype)
Ref call_with_dtype(Cached& callable, PyObject* argument, PyObject* type) {
    PyObject* const function = callable.get();
    PyObject* const names = function ? dtype_keywords.get() : nullptr;
    if (!names) return Ref();
    PyObject* args[] = {argument, type};
    return Ref::steal(PyObject_Vectorcall(function, args, 1, names));
}

Ref call_with_dtype(Cached& callable, PyObject* argument, Cached& dtype) {
    PyObject* const type = dtype.get();
    return type ? call_with_dtype(callable, argument, type) : Ref();
}

// callable(argument)
Ref call_one(Cached& callable, PyObject* argument) {
    PyObject* const function = callable.get();
    if (!function) return Ref();
    PyObject* args[] = {argument};
    return Ref::steal(PyObject_Vectorcall(function, args, 1, nullptr));
}

// numpy.ndarray, found when the module was imported (load_numpy).
PyTypeObject* ndarray() { return reinterpret_cast<PyTypeObject*>(ndarray_type.get()); }

}  // namespace

bool load_numpy() {
    // Everything the array parameters use, so that a missing numpy fails the import.
    for (Cached* cached :
         {&asarray, &ascontiguousarray, &empty, &float64, &int64, &object_dtype, &dtype_type, &ndarray_type}) {
        if (!cached->get()) return false;
    }
    return true;
}

int optional_attr(PyObject* object, PyObject* name, Ref& out) {
    out = Ref::steal(PyObject_GetAttr(object, name));
    if (out) return 1;
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
    PyErr_Clear();
    return 0;
}

Ref array_dtype(PyObject* object) {
    PyObject* const name = dtype_attribute.get();
    return name ? Ref::steal(PyObject_GetAttr(object, name)) : Ref();
}

bool array_like(PyObject* object) {
    if (PySequence_Check(object) || PyObject_CheckBuffer(object)) return true;
    Ref name = Ref::borrow(array_name.get());
    if (!name) {
        // No error to report here: the same look-up without the kept name.
        PyErr_Clear();
        name = Ref::steal(PyUnicode_FromString(array_name.name()));
        if (!name) return false;
    }
    Ref method;
    return optional_attr(object, name.get(), method) > 0;
}

Ref numpy_asarray(PyObject* object, bool as_objects) {
    return as_objects ? call_with_dtype(asarray, object, object_dtype) : call_one(asarray, object);
}

Ref numpy_contiguous_float64(PyObject* array) { return call_with_dtype(ascontiguousarray, array, float64); }

Ref numpy_contiguous(PyObject* array) {
    PyObject* const isnative = isnative_name.get();
    PyObject* const newbyteorder = isnative ? newbyteorder_name.get() : nullptr;
    PyObject* const native = newbyteorder ? native_order.get() : nullptr;
    if (!native) return Ref();
    Ref dtype = array_dtype(array);
    Ref is_native = dtype ? Ref::steal(PyObject_GetAttr(dtype.get(), isnative)) : Ref();
    if (!is_native) return Ref();
    if (is_native.get() == Py_True) return call_one(ascontiguousarray, array);
    // The same values, swapped into this machine's order by the copy numpy makes anyway.
    PyObject* method_args[] = {dtype.get(), native};
    Ref native_dtype = Ref::steal(PyObject_VectorcallMethod(newbyteorder, method_args, 2, nullptr));
    return native_dtype ? call_with_dtype(ascontiguousarray, array, native_dtype.get()) : Ref();
}

Ref numpy_int64_view(PyObject* array) {
    PyObject* const name = view_name.get();
    PyObject* const type = name ? int64.get() : nullptr;
    if (!type) return Ref();
    PyObject* args[] = {array, type};
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
    return call_one(empty, dims.get());
}

int array_ndim(PyObject* array) {
    PyObject* const name = ndim_name.get();
    Ref ndim = name ? Ref::steal(PyObject_GetAttr(array, name)) : Ref();
    return ndim ? PyLong_AsLong(ndim.get()) : -1;
}

Ref zero_d_item(PyObject* array) {
    Ref no_index = Ref::steal(PyTuple_New(0));
    Ref item = no_index ? Ref::steal(PyObject_GetItem(array, no_index.get())) : Ref();
    if (item && PyObject_TypeCheck(item.get(), ndarray())) {
        const char kind = dtype_kind(item.get());
        if (kind == 0) return Ref();
        if (kind == 'O') {
            PyErr_SetString(PyExc_TypeError, "an object array nested in a 0-d object array is not accepted");
            return Ref();
        }
    }
    return item;
}

bool is_ndarray(PyObject* object) { return PyObject_TypeCheck(object, ndarray()); }

int plain_float64_array(PyObject* object) {
    PyTypeObject* const type = ndarray();
    if (!type) return -1;
    if (Py_TYPE(object) != type) return 0;
    PyObject* const float64_descr = float64_dtype.get();
    Ref dtype = float64_descr ? array_dtype(object) : Ref();
    if (!dtype) return -1;
    return dtype.get() == float64_descr ? 1 : 0;
}

bool is_ndarray_subclass(PyObject* object) {
    PyTypeObject* const type = ndarray();
    return Py_TYPE(object) != type && PyObject_TypeCheck(object, type);
}

bool has_extension_dtype(PyObject* object) {
    if (PyList_Check(object) || PyTuple_Check(object)) return false;
    PyObject* const name = dtype_attribute.get();
    if (!name) return false;
    Ref dtype;
    if (optional_attr(object, name, dtype) <= 0) return false;
    return !PyObject_TypeCheck(dtype.get(), reinterpret_cast<PyTypeObject*>(dtype_type.get()));
}

char dtype_kind(PyObject* array) {
    Ref dtype = array_dtype(array);
    PyObject* const name = dtype ? kind_name.get() : nullptr;
    Ref kind = name ? Ref::steal(PyObject_GetAttr(dtype.get(), name)) : Ref();
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
    Ref dtype = array_dtype(array);
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
