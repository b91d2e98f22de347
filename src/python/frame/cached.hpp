// The one rule for every interpreter object the frame keeps: made on first use and kept for the
// life of the process (like the module's type objects). A failed creation leaves its exception
// set and is tried again on the next call; get() never returns null without an exception.
//
//   constinit Cached lower_name{"lower"};                       // an interned str
//   constinit Cached asarray{"numpy.asarray", &imported};        // make("numpy.asarray")
//   PyObject* name = lower_name.get();
//   if (!name) return nullptr;
#pragma once

#include "python/frame/python.hpp"

namespace korvex::py {

// "module.name.name...": the module imported, then its attributes in turn; a new reference, or
// null with the exception set.
PyObject* imported(const char* dotted);

class Cached {
public:
    // `make(name)` returns a new reference, or null with an exception set.
    using Make = PyObject* (*)(const char* name);

    constexpr explicit Cached(const char* name, Make make = &PyUnicode_InternFromString)
        : name_(name), make_(make) {}
    Cached(const Cached&) = delete;
    Cached& operator=(const Cached&) = delete;

    PyObject* get() {
        if (object_) [[likely]] return object_;
        return create();
    }
    const char* name() const { return name_; }

private:
    PyObject* create();

    const char* name_;
    Make make_;
    PyObject* object_ = nullptr;
#ifdef KORVEX_BORDER_PROBE
    bool probed_ = false;
#endif
};

}  // namespace korvex::py
