// The vol models' value types as results: a ParamMap as a dict of floats, a Jacobian as a dict of
// lists of floats, each in its own order. Declared before the declarations' templates (declare.hpp
// includes this header), which find them by ordinary lookup.
#pragma once

#include <span>

#include "python/frame/convert.hpp"
#include "volmodel/param_map.hpp"
#include "volmodel/vol_model.hpp"

namespace korvex::py {

inline PyObject* to_python(const ParamMap& params) {
    Ref dict = Ref::steal(PyDict_New());
    if (!dict) return nullptr;
    for (const auto& [name, value] : params) {
        Ref key = Ref::steal(new_str(name));
        Ref number = Ref::steal(PyFloat_FromDouble(value));
        if (!key || !number || PyDict_SetItem(dict.get(), key.get(), number.get()) < 0) return nullptr;
    }
    return dict.release();
}

inline PyObject* to_python(const Jacobian& jacobian) {
    Ref dict = Ref::steal(PyDict_New());
    if (!dict) return nullptr;
    for (const auto& column : jacobian) {
        Ref key = Ref::steal(new_str(column.name));
        Ref values = Ref::steal(to_python(std::span<const double>(column.values)));
        if (!key || !values || PyDict_SetItem(dict.get(), key.get(), values.get()) < 0) return nullptr;
    }
    return dict.release();
}

}  // namespace korvex::py
