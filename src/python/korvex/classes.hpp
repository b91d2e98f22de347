// The module's classes in registration order.
#pragma once

#include <span>

#include "python/frame/python.hpp"

namespace korvex::py {

struct ClassEntry {
    const char* name;
    PyObject* (*type)();  // the type object, created once per process; null with an exception set
};

std::span<const ClassEntry> registered_classes();

}  // namespace korvex::py
