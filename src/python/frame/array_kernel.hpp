// The array module's function of a kernel (kernel.hpp): float columns and a call-put column,
// the core run once per element of their broadcast (elementwise.hpp), or, for a core that returns
// a record, one array per field (elementwise_record.hpp).
#pragma once

#include <span>

#include "python/frame/call_put_column.hpp"
#include "python/frame/elementwise_record.hpp"
#include "python/frame/float_column.hpp"
#include "python/frame/kernel.hpp"

namespace korvex::py {

template <const auto& K>
struct ArrayFunction {
    static constexpr Function function{K.name, map_params<ArrayKindOf>(K.params), elementwise<K>};
};

// A kernel whose core returns a record: a dict of arrays, one per field of `Fields`.
template <const auto& K, const auto& Fields>
struct ArrayRecordFunction {
    static constexpr Function function{K.name, map_params<ArrayKindOf>(K.params), elementwise_record<K, Fields>};
};

template <const auto&... Kernels>
std::span<PyMethodDef> array_functions(KernelList<Kernels...>) {
    static PyMethodDef table[] = {function_def<ArrayFunction<Kernels>::function>()...};
    return table;
}

}  // namespace korvex::py
