// Array functions, one element at a time: `elementwise<K>` maps the core of a declaration K (its
// name, parameters and core, as a Kernel in kernel.hpp) over the broadcast of its columns
// (column.hpp), naming them after K's parameters. Order of events: every argument converted (by
// the frame), their shapes checked, each column prepared (text interpreted once per spelling),
// the float64 result allocated, then the kernel runs over plain memory, without the interpreter
// lock when there are enough elements, in chunks that Ctrl-C can stop.
//
// A kernel returns a double, or a Result<double> when it can fail for one element: the call then
// raises ValueError "element i: <message>" for the failing element with the lowest flat index.
// `map_elements` takes a kernel made at run time (one that holds a calendar), `map_ranges` one
// that computes a stretch of elements at once.
#pragma once

#include <concepts>
#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <utility>

#include "common/result.hpp"
#include "python/frame/broadcast.hpp"
#include "python/frame/column.hpp"
#include "python/frame/declare.hpp"
#include "python/frame/element_errors.hpp"
#include "python/frame/errors.hpp"
#include "python/frame/interrupts.hpp"
#include "python/frame/output_array.hpp"

namespace korvex::py {

// The common shape of the columns, named after the parameters `Params`, with every column
// prepared for that many elements; nothing with an exception set.
template <const auto& Params, Column... Columns>
std::optional<Shape> broadcast_columns(Columns&... columns) {
    const auto shape = [&]<std::size_t... I>(std::index_sequence<I...>) {
        return common_shape({ShapedArgument{param_names<Params>[I], columns.scalar(), columns.shape()}...});
    }(std::index_sequence_for<Columns...>{});
    if (!shape) return std::nullopt;
    const std::size_t count = element_count(*shape);
    if (!(columns.prepare(count) && ...)) return std::nullopt;
    return shape;
}

// The failing element with the lowest flat index, and its message.
struct ElementFailure {
    std::size_t index = std::numeric_limits<std::size_t>::max();
    std::string message;
    explicit operator bool() const { return index != std::numeric_limits<std::size_t>::max(); }
    void keep_lowest(std::size_t i, std::string text) {
        if (i < index) {
            index = i;
            message = std::move(text);
        }
    }
};

// fill(begin, end, out, element...) computes elements [begin, end) of the broadcast into
// out[0, end - begin); it returns nothing, or an ElementFailure for its stretch. Chunk: the
// elements per call.
template <const auto& Params, std::size_t Chunk = kDefaultChunk, class Fill, Column... Columns>
PyObject* map_ranges(Fill&& fill, Columns&... columns) {
    const std::optional<Shape> shape = broadcast_columns<Params>(columns...);
    OutputArray out;
    if (!shape || !out.allocate(*shape)) return nullptr;
    const std::size_t count = element_count(*shape);
    double* const result = out.data();
    ElementFailure failure;
    const bool finished = [&](const auto... element) {
        return run_in_chunks(count, [&](std::size_t begin, std::size_t end) {
            using Returned = decltype(fill(begin, end, result + begin, element...));
            if constexpr (std::same_as<Returned, ElementFailure>) {
                if (failure && failure.index < begin) return;  // a lower element failed already
                ElementFailure stretch = fill(begin, end, result + begin, element...);
                if (stretch) failure.keep_lowest(stretch.index, std::move(stretch.message));
            } else {
                fill(begin, end, result + begin, element...);
            }
        }, Chunk);
    }(columns.elements()...);
    if (!finished) return nullptr;
    if (failure) {
        raise(PyExc_ValueError, element_message(failure.index, failure.message));
        return nullptr;
    }
    return out.release();
}

template <class R>
concept ElementResult = std::same_as<R, Result<double>>;

// kernel(element...) per element: a double, or a Result<double> that may fail.
template <const auto& Params, class Kernel, Column... Columns>
PyObject* map_elements(const Kernel& kernel, Columns&... columns) {
    using Returned = decltype(kernel(columns.elements()[0]...));
    if constexpr (ElementResult<Returned>) {
        return map_ranges<Params>([&](std::size_t begin, std::size_t end, double* out, const auto... element) {
            ElementFailure failure;
            for (std::size_t i = begin; i < end; ++i) {
                Result<double> value = kernel(element[i]...);
                if (!value) {
                    failure.keep_lowest(i, std::move(value.error().message));
                    break;
                }
                out[i - begin] = *value;
            }
            return failure;
        }, columns...);
    } else {
        return map_ranges<Params>([&](std::size_t begin, std::size_t end, double* out, const auto... element) {
            for (std::size_t i = begin; i < end; ++i) out[i - begin] = kernel(element[i]...);
        }, columns...);
    }
}

template <const auto& K>
struct Elementwise {
    template <Column... Columns>
    PyObject* operator()(Columns&... columns) const {
        return map_elements<K.params>(K.core, columns...);
    }
};

template <const auto& K>
inline constexpr Elementwise<K> elementwise{};

}  // namespace korvex::py
