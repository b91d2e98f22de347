// The float64 result of an array function, filled in place.
#pragma once

#include "python/frame/buffer.hpp"
#include "python/frame/handle.hpp"
#include "python/frame/numpy.hpp"

namespace korvex::py {

// A new float64 array being filled: its memory stays exported until the result is handed over.
class OutputArray {
public:
    // False with an exception set (MemoryError when numpy cannot allocate).
    bool allocate(Shape shape);
    double* data() const { return static_cast<double*>(buffer_.data()); }
    // The finished array (a new reference); the export ends first.
    PyObject* release() {
        buffer_.release();
        return array_.release();
    }

private:
    Ref array_;
    HeldBuffer buffer_;
};

}  // namespace korvex::py
