#include "python/frame/errors.hpp"

#include <string>

#include "python/frame/handle.hpp"

namespace korvex::py {

void raise(PyObject* type, std::string_view message) {
    Ref text = Ref::steal(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()),
                                               "replace"));
    if (text) PyErr_SetObject(type, text.get());
}

void raise_not_instance(PyObject* object, std::string_view expected) {
    std::string message;
    if (object == Py_None) {
        message = "'None' is not an instance of '";
    } else {
        Ref name = Ref::steal(PyType_GetName(Py_TYPE(object)));
        if (!name) return;
        Py_ssize_t size = 0;
        const char* utf8 = PyUnicode_AsUTF8AndSize(name.get(), &size);
        if (!utf8) return;
        message.append("'").append(utf8, static_cast<std::size_t>(size)).append("' object is not an instance of '");
    }
    message.append(expected).append("'");
    raise(PyExc_TypeError, message);
}

void prefix_type_error(const char* prefix) {
    Ref original = Ref::steal(PyErr_GetRaisedException());
    if (!original || Py_TYPE(original.get()) != reinterpret_cast<PyTypeObject*>(PyExc_TypeError)) {
        PyErr_SetRaisedException(original.release());
        return;
    }
    PyErr_Format(PyExc_TypeError, "%s%S", prefix, original.get());
    Ref prefixed = Ref::steal(PyErr_GetRaisedException());
    if (Ref cause = Ref::steal(PyException_GetCause(original.get()))) {
        PyException_SetCause(prefixed.get(), cause.release());
    }
    PyErr_SetRaisedException(prefixed.release());
}

void prefix_argument_error(const char* name) {
    // Parameter names are short identifiers.
    char prefix[96];
    PyOS_snprintf(prefix, sizeof prefix, "argument '%s': ", name);
    prefix_type_error(prefix);
}

}  // namespace korvex::py
