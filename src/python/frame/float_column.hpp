// The float parameter of an array function: one float, or any array-like of bool, int or float
// numbers, seen as contiguous float64. A native contiguous float64 buffer is read where it lies.
#pragma once

#include <cstddef>

#include "python/frame/buffer.hpp"
#include "python/frame/column.hpp"
#include "python/frame/handle.hpp"
#include "python/frame/missing.hpp"
#include "python/frame/numpy.hpp"

namespace korvex::py {

class FloatColumn {
public:
    FloatColumn() = default;
    FloatColumn(const FloatColumn&) = delete;
    FloatColumn& operator=(const FloatColumn&) = delete;
    // A parameter's default.
    FloatColumn& operator=(double value) {
        scalar_ = true;
        value_ = value;
        return *this;
    }

    // False with an exception set: TypeError for anything the scalar float conversion would
    // refuse (str, bytes, complex, datetimes, None in an object array...), "element i: " before
    // the message of a refused item. A masked element of a numpy masked array reads as NaN; a
    // missing value of a pandas column is refused.
    bool read(PyObject* object);

    bool scalar() const { return scalar_; }
    Shape shape() const { return scalar_ ? Shape() : buffer_.shape(); }
    // The elements need no preparation.
    bool prepare(std::size_t) { return true; }

    // Element i of the broadcast: the one float, or the i-th in C order.
    struct Elements {
        const double* data;
        std::size_t step;  // 0 for a scalar
        double operator[](std::size_t i) const noexcept { return data[i * step]; }
    };
    Elements elements() const {
        return scalar_ ? Elements{&value_, 0} : Elements{static_cast<const double*>(buffer_.data()), 1};
    }

private:
    bool read_plain_float64(PyObject* array);
    bool read_buffer(PyObject* exporter);
    bool read_through_numpy(PyObject* object, MissingElements& missing);
    bool read_objects(PyObject* array, const MissingElements& missing);
    bool take_float64(Ref array);
    bool mask_out(const MissingElements& missing);

    bool scalar_ = true;
    double value_ = 0.0;
    Ref owner_;  // the array the buffer comes from, when numpy made it
    HeldBuffer buffer_;
};

static_assert(Column<FloatColumn>);

struct FloatArray : ColumnKind<FloatColumn> {};

}  // namespace korvex::py
