// The one place the interpreter's header is included, always against the stable ABI.
#pragma once

#ifndef Py_LIMITED_API
#error "korvex builds against the limited C API only (define Py_LIMITED_API=0x030C0000)"
#endif
#define PY_SSIZE_T_CLEAN
#include <Python.h>
