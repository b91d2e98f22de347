// Raising the module's exceptions with their exact wording.
#pragma once

#include <expected>
#include <string_view>
#include <variant>

#include "common/result.hpp"
#include "python/frame/python.hpp"

namespace korvex::py {

// Raises `type` with a message given as UTF-8 (invalid bytes are replaced, never fatal).
void raise(PyObject* type, std::string_view message);

// A core failure reaches Python as ValueError with exactly the failure's message.
inline void raise_core_error(const Error& error) { raise(PyExc_ValueError, error.message); }

// A call into the interpreter failed and left its own exception set, to be raised as it is.
struct PythonRaised {};

// Results of binding-layer operations that call into the interpreter: they fail either with a
// core error or with the interpreter's exception already set.
using Failure = std::variant<Error, PythonRaised>;
template <class T>
using PyResult = std::expected<T, Failure>;

inline void raise_failure(const Failure& failure) {
    if (const auto* error = std::get_if<Error>(&failure)) raise_core_error(*error);
}

// "'int' object is not an instance of 'str'", or "'None' is not an instance of 'str'".
void raise_not_instance(PyObject* object, std::string_view expected);

// The exception currently set is given `prefix` before its message when it is exactly a
// TypeError (keeping its cause); any other exception is left untouched.
void prefix_type_error(const char* prefix);

// The exception currently set came from converting argument `name`: a TypeError is replaced by
// "argument '<name>': <message>" keeping its cause; any other exception is left untouched.
void prefix_argument_error(const char* name);

}  // namespace korvex::py
