#include "python/array/surface_functions.hpp"

#include <string>
#include <vector>

#include "calendar/registry.hpp"
#include "python/frame/declare.hpp"
#include "python/frame/float_column.hpp"
#include "surface/parity_forward.hpp"

namespace korvex::py {
namespace {

// A flat copy of a one-dimensional (or scalar) float argument.
bool flat_values(const FloatColumn& column, const char* name, std::vector<double>& out) {
    const Shape shape = column.shape();
    if (shape.size() > 1) {
        PyErr_Format(PyExc_TypeError, "argument '%s': must be 1-D, not of shape %s", name, shape_text(shape).c_str());
        return false;
    }
    const std::size_t count = column.scalar() ? 1 : static_cast<std::size_t>(shape[0]);
    const FloatColumn::Elements elements = column.elements();
    out.resize(count);
    for (std::size_t i = 0; i < count; ++i) out[i] = elements[i];
    return true;
}

constexpr Function parity_forward_function{
    "parity_forward",
    std::tuple{Param<FloatArray>{"strikes"}, Param<FloatArray>{"calls"}, Param<FloatArray>{"puts"}},
    [](FloatColumn& strikes, FloatColumn& calls, FloatColumn& puts) -> PyObject* {
        std::vector<double> k, c, p;
        if (!flat_values(strikes, "strikes", k) || !flat_values(calls, "calls", c) || !flat_values(puts, "puts", p)) {
            return nullptr;
        }
        const Result<ParityForward> fitted = parity_forward(k, c, p);
        if (!fitted) {
            raise_core_error(fitted.error());
            return nullptr;
        }
        return Py_BuildValue("(dd)", fitted->forward, fitted->df);
    }};

constexpr Function register_calendar_function{
    "register_calendar", std::tuple{Param<Str>{"underlying"}, Param<Str>{"document"}},
    [](const Text& underlying, const Text& document) -> PyObject* {
        const auto registered = register_calendar(underlying.utf8, document.utf8);
        if (!registered) {
            raise_core_error(registered.error());
            return nullptr;
        }
        return Py_NewRef(Py_None);
    }};

constexpr Function calendar_document_function{
    "calendar_document", std::tuple{Param<Str>{"underlying"}}, [](const Text& underlying) -> PyObject* {
        const Result<std::string> document = registered_document(underlying.utf8);
        if (!document) {
            raise_core_error(document.error());
            return nullptr;
        }
        return new_str(*document);
    }};

}  // namespace

std::span<PyMethodDef> array_surface_functions() {
    static PyMethodDef table[] = {
        function_def<parity_forward_function>(),
        function_def<register_calendar_function>(),
        function_def<calendar_document_function>(),
    };
    return table;
}

}  // namespace korvex::py
