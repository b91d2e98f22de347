#include "python/frame/broadcast.hpp"

#include <algorithm>
#include <string>

#include "python/frame/errors.hpp"

namespace korvex::py {

std::optional<Shape> common_shape(std::initializer_list<ShapedArgument> arguments) {
    const ShapedArgument* first = nullptr;
    bool same = true;
    for (const ShapedArgument& argument : arguments) {
        if (argument.scalar) continue;
        if (!first) {
            first = &argument;
        } else if (!std::ranges::equal(argument.shape, first->shape)) {
            same = false;
        }
    }
    if (!first) return Shape();
    if (same) return first->shape;
    std::string message = "arguments must have one shape (scalars go with any):";
    const char* separator = " ";
    for (const ShapedArgument& argument : arguments) {
        if (argument.scalar) continue;
        message.append(separator).append(argument.name).append(" ").append(shape_text(argument.shape));
        separator = ", ";
    }
    raise(PyExc_ValueError, message);
    return std::nullopt;
}

std::size_t element_count(Shape shape) {
    std::size_t count = 1;
    for (const Py_ssize_t n : shape) count *= static_cast<std::size_t>(n);
    return count;
}

}  // namespace korvex::py
