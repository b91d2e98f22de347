// Argument binding: positional arguments fill the parameter slots in order, then keywords fill
// the slot of their name. Counts and names only; nothing is converted here.
#pragma once

#include <cstddef>
#include <span>

#include "python/frame/handle.hpp"

namespace korvex::py {

struct SignatureView {
    const char* function_name;
    std::span<const char* const> names;
    std::size_t required;  // the leading parameters without a default
};

// Fast calling convention: `slots` (names.size() entries) receive borrowed references, null for
// an empty optional slot (the caller keeps the arguments alive for the whole call). Raises TypeError in the interpreter's wording and returns false.
bool bind_vector(const SignatureView& signature, PyObject* const* args, Py_ssize_t nargs,
                 PyObject* kwnames, PyObject** slots);

// Tuple-and-dict convention (constructors). The slots own their arguments: Python code that runs
// before an argument is used (another argument's conversion) may empty the keyword dict. With
// `rest` given, keywords that name no parameter are collected into a new dict there instead of
// being refused.
bool bind_tuple(const SignatureView& signature, PyObject* args, PyObject* kwargs, Ref* slots, Ref* rest);

}  // namespace korvex::py
