// The border between the interpreter and C++: every entry point the interpreter calls (functions,
// methods, constructors, getters, type creation, module execution) runs its whole body through
// `at_border`, so that no C++ exception ever unwinds into the interpreter. Whatever the body held
// (borrows, references, buffers) has been released by the unwinding before the exception is mapped.
#pragma once

#include <exception>
#include <new>
#include <stdexcept>

#include "python/frame/border_probe.hpp"
#include "python/frame/errors.hpp"

namespace korvex::py {

// Maps the exception being handled: a failed allocation (or a size that cannot be allocated)
// is MemoryError, anything else SystemError carrying its what().
inline void raise_current_cpp_exception() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::length_error&) {
        PyErr_NoMemory();
    } catch (const std::exception& error) {
        raise(PyExc_SystemError, error.what());
    } catch (...) {
        PyErr_SetString(PyExc_SystemError, "unknown C++ exception");
    }
}

// Runs `body` and returns its result; if it throws, returns `failed` with the Python exception set.
template <class Body>
auto at_border(Body&& body, decltype(body()) failed) noexcept -> decltype(body()) {
    // Throwing needs the C++ runtime's per-thread exception record, which the C library makes on
    // a thread's first throw and aborts the process if it cannot: make it now, before the body
    // has used up the memory. Asking how many exceptions are in flight does that (and is cheap);
    // the empty asm keeps the call, which the compiler may otherwise drop as pure.
    const int in_flight = std::uncaught_exceptions();
    asm volatile("" : : "r"(in_flight));
    try {
        return body();
    } catch (...) {
        raise_current_cpp_exception();
        return failed;
    }
}

}  // namespace korvex::py
