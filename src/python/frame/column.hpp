// What the frame asks of a column, the value of an array function's array argument (a float
// column, a text column interpreted per spelling such as call_put, a column of instants):
//   read(object)    converts the argument; false with an exception set;
//   scalar()        whether one value goes with every element;
//   shape()         the array's shape (() for a scalar);
//   prepare(count)  readies the elements for a broadcast of `count` (text interpreted once per
//                   spelling); false with an exception set;
//   elements()[i]   element i of the broadcast in C order, read from plain memory: without the
//                   interpreter lock, by a loop that must not throw.
// Each column header checks its kind against the concept.
#pragma once

#include <concepts>
#include <cstddef>

#include "python/frame/numpy.hpp"

namespace korvex::py {

template <class C>
concept Column = requires(C& column, const C& read_column, PyObject* object, std::size_t i) {
    { column.read(object) } -> std::same_as<bool>;
    { read_column.scalar() } -> std::same_as<bool>;
    { read_column.shape() } -> std::same_as<Shape>;
    { column.prepare(i) } -> std::same_as<bool>;
    { read_column.elements() } -> std::same_as<typename C::Elements>;
    requires requires(const typename C::Elements elements) { { elements[i] } noexcept; };
};

// The parameter kind of a column (declare.hpp): the value a declaration's function receives.
template <Column C>
struct ColumnKind {
    using value_type = C;
    static bool read(PyObject* object, C& out) { return out.read(object); }
};

}  // namespace korvex::py
