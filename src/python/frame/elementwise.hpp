// Array functions, one element at a time: the declaration of a scalar function with column
// parameters (FloatArray, TextArray and the like) and an operation that maps the kernel
//
//   constexpr auto params = std::tuple{Param<FloatArray>{"fwd"}, ..., Param<FloatArray>{"df", 1.0}};
//   constexpr Function b76_vega{"b76_vega", params, elementwise<params, b76_vega_kernel>};
//
// over the broadcast of its arguments. Order of events: every argument converted (by the frame),
// their shapes checked, each column prepared (text interpreted once per spelling), the float64
// result allocated, then the kernel runs over plain memory, without the interpreter lock when
// there are enough elements, in chunks that Ctrl-C can stop. A column type has scalar(), shape(), prepare(count) and
// elements(), whose operator[](i) gives element i.
#pragma once

#include <cstddef>
#include <new>
#include <optional>
#include <tuple>
#include <utility>

#include "python/frame/broadcast.hpp"
#include "python/frame/declare.hpp"
#include "python/frame/float_column.hpp"
#include "python/frame/interrupts.hpp"

namespace korvex::py {

// Columns whose elements need no preparation.
inline bool prepare(FloatColumn&, std::size_t) { return true; }

// The common shape of the columns, named after their parameters, with every column prepared for
// that many elements; nothing with an exception set.
template <const auto& Params, class... Columns>
std::optional<Shape> broadcast_columns(Columns&... columns) {
    static constexpr ParamTable table{Params};
    const auto shape = [&]<std::size_t... I>(std::index_sequence<I...>) {
        return common_shape({ShapedArgument{table.names[I], columns.scalar(), columns.shape()}...});
    }(std::index_sequence_for<Columns...>{});
    if (!shape) return std::nullopt;
    const std::size_t count = element_count(*shape);
    if (!(prepare(columns, count) && ...)) return std::nullopt;
    return shape;
}

template <const auto& Params, auto Kernel>
struct Elementwise {
    template <class... Columns>
    PyObject* operator()(Columns&... columns) const {
        const std::optional<Shape> shape = broadcast_columns<Params>(columns...);
        OutputArray out;
        if (!shape || !out.allocate(*shape)) return nullptr;
        const std::size_t count = element_count(*shape);
        double* const result = out.data();
        const bool finished = [&](const auto... element) {
            return run_in_chunks(count, [&](std::size_t begin, std::size_t end) noexcept {
                for (std::size_t i = begin; i < end; ++i) result[i] = Kernel(element[i]...);
            });
        }(columns.elements()...);
        return finished ? out.release() : nullptr;
    }
};

template <const auto& Params, auto Kernel>
inline constexpr Elementwise<Params, Kernel> elementwise{};

}  // namespace korvex::py
