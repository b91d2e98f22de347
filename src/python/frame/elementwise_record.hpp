// Array functions with several figures per element: the kernel returns a record of doubles, and
// the result is a dict of float64 arrays of the broadcast shape, one per field, keyed by the
// field's name in the table's order.
//
//   constexpr RecordField<Figures> figures[] = {{"value", &Figures::value}, ...};
//   ArrayRecordFunction<kernel, figures>::function   (array_kernel.hpp)
//
// Each figure is its own contiguous array, which numpy and pandas take as it is; the fields of a
// structured array would be strided views. Events happen in the order of `elementwise`.
#pragma once

#include <array>
#include <cstddef>
#include <iterator>
#include <optional>
#include <utility>

#include "python/frame/elementwise.hpp"

namespace korvex::py {

template <class Record>
struct RecordField {
    const char* name;
    double Record::*member;
};

// The finished arrays in a dict under their names, or null with an exception set.
template <std::size_t N>
PyObject* dict_of_arrays(std::array<OutputArray, N>& arrays, const std::array<const char*, N>& names) {
    Ref dict = Ref::steal(PyDict_New());
    if (!dict) return nullptr;
    for (std::size_t f = 0; f < N; ++f) {
        Ref array = Ref::steal(arrays[f].release());
        if (PyDict_SetItemString(dict.get(), names[f], array.get()) < 0) return nullptr;
    }
    return dict.release();
}

template <const auto& K, const auto& Fields>
struct ElementwiseRecord {
    static constexpr std::size_t kFields = std::size(Fields);

    template <class... Columns>
    PyObject* operator()(Columns&... columns) const {
        const std::optional<Shape> shape = broadcast_columns<K.params>(columns...);
        if (!shape) return nullptr;
        std::array<OutputArray, kFields> outs;
        for (OutputArray& out : outs) {
            if (!out.allocate(*shape)) return nullptr;
        }
        const std::size_t count = element_count(*shape);
        // One kernel call per element; its fields are stored into the arrays side by side.
        const bool finished = [&]<std::size_t... F>(std::index_sequence<F...>, const auto... element) {
            double* const data[] = {outs[F].data()...};
            return run_in_chunks(count, [&](std::size_t begin, std::size_t end) noexcept {
                for (std::size_t i = begin; i < end; ++i) {
                    const auto record = K.core(element[i]...);
                    ((data[F][i] = record.*(Fields[F].member)), ...);
                }
            });
        }(std::make_index_sequence<kFields>{}, columns.elements()...);
        return finished ? dict_of_arrays(outs, names()) : nullptr;
    }

    static constexpr std::array<const char*, kFields> names() {
        std::array<const char*, kFields> out{};
        for (std::size_t f = 0; f < kFields; ++f) out[f] = Fields[f].name;
        return out;
    }
};

template <const auto& K, const auto& Fields>
inline constexpr ElementwiseRecord<K, Fields> elementwise_record{};

}  // namespace korvex::py
