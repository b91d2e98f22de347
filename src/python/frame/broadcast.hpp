// The shape rule of array functions. Every argument that is not a scalar has one and the same
// shape, which the result takes; scalars go with every element.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>

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

}  // namespace korvex::py
