#include "python/frame/output_array.hpp"

namespace korvex::py {

bool OutputArray::allocate(Shape shape) {
    array_ = numpy_empty(shape);
    // Plain writable memory: the shape is known and the dtype is float64, so numpy is spared
    // describing its format (a measurable part of a one-element call).
    return array_ && buffer_.acquire(array_.get(), PyBUF_WRITABLE);
}

}  // namespace korvex::py
