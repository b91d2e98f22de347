// Parameter dictionaries across the border: a model's ParamMap out as a dict, a dict of floats in.
#pragma once

#include <string_view>
#include <unordered_set>
#include <vector>

#include "python/frame/convert.hpp"
#include "volmodel/param_map.hpp"

namespace korvex {

// The result conversion of ParamMap (found by argument-dependent lookup from the frame).
inline PyObject* to_python(const ParamMap& params) {
    py::Ref dict = py::Ref::steal(PyDict_New());
    if (!dict) return nullptr;
    for (const auto& [name, value] : params) {
        py::Ref key = py::Ref::steal(py::new_str(name));
        py::Ref number = py::Ref::steal(PyFloat_FromDouble(value));
        if (!key || !number || PyDict_SetItem(dict.get(), key.get(), number.get()) < 0) return nullptr;
    }
    return dict.release();
}

namespace py {

// A dict's keys are distinct, but two keys of a str subclass may carry one text: the later one
// wins, as in insert_or_assign. Hashed rather than searched: callers pass many unknown names.
inline ParamMap to_param_map(const NamedFloats& named) {
    const auto& entries = named.entries;
    std::unordered_set<std::string_view> seen;
    seen.reserve(entries.size());
    std::vector<bool> wins(entries.size());
    for (std::size_t i = entries.size(); i-- > 0;) wins[i] = seen.insert(entries[i].first).second;
    ParamMap params;
    params.reserve(seen.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (wins[i]) params.append_absent(entries[i].first, entries[i].second);
    }
    return params;
}

}  // namespace py
}  // namespace korvex
