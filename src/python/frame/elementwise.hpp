// Array functions, one element at a time: `elementwise<K>` maps the core of a declaration K (its
// name, parameters and core, as a Kernel in kernel.hpp) over the broadcast of its column
// arguments (FloatArray, CallPutArray and the like), naming them after K's parameters. Order of
// events: every argument converted (by the frame), their shapes checked, each column prepared
// (text interpreted once per spelling), the float64 result allocated, then the kernel runs over
// plain memory, without the interpreter lock when there are enough elements, in chunks that
// Ctrl-C can stop. A column type has scalar(), shape(), prepare(count) and elements(), whose
// operator[](i) gives element i.
#pragma once

#include <cstddef>
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

// The common shape of the columns, named after the parameters `Params`, with every column
// prepared for that many elements; nothing with an exception set.
template <const auto& Params, class... Columns>
std::optional<Shape> broadcast_columns(Columns&... columns) {
    const auto shape = [&]<std::size_t... I>(std::index_sequence<I...>) {
        return common_shape({ShapedArgument{param_names<Params>[I], columns.scalar(), columns.shape()}...});
    }(std::index_sequence_for<Columns...>{});
    if (!shape) return std::nullopt;
    const std::size_t count = element_count(*shape);
    if (!(prepare(columns, count) && ...)) return std::nullopt;
    return shape;
}

template <const auto& K>
struct Elementwise {
    template <class... Columns>
    PyObject* operator()(Columns&... columns) const {
        const std::optional<Shape> shape = broadcast_columns<K.params>(columns...);
        OutputArray out;
        if (!shape || !out.allocate(*shape)) return nullptr;
        const std::size_t count = element_count(*shape);
        double* const result = out.data();
        const bool finished = [&](const auto... element) {
            return run_in_chunks(count, [&](std::size_t begin, std::size_t end) noexcept {
                for (std::size_t i = begin; i < end; ++i) result[i] = K.core(element[i]...);
            });
        }(columns.elements()...);
        return finished ? out.release() : nullptr;
    }
};

template <const auto& K>
inline constexpr Elementwise<K> elementwise{};

}  // namespace korvex::py
