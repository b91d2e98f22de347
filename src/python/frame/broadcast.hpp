// The shape rule of array functions, and their float64 results. Every argument that is not a
// scalar has one and the same shape, which the result takes; scalars go with every element.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>

#include "python/frame/buffer.hpp"
#include "python/frame/handle.hpp"
#include "python/frame/numpy.hpp"

namespace korvex::py {

struct ShapedArgument {
    const char* name;
    bool scalar;
    Shape shape;
};

// The common shape, () when every argument is a scalar; nothing, with ValueError naming each
// array argument and its shape, when they differ.
std::optional<Shape> common_shape(std::initializer_list<ShapedArgument> arguments);

std::size_t element_count(Shape shape);

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
