// A pricing-like function declared once for both modules: its name, its parameters (floats and
// call_put, with their defaults) and the core function, which takes them in parameter order with
// the option type where call_put sits.
//
//   inline constexpr Kernel b76_vega{"b76_vega",
//       std::tuple{Param<Float>{"fwd"}, ..., Param<Float>{"df", 1.0}},
//       [](double fwd, ..., double df) { return b76::vega(fwd, ...); }};
//
// scalar_kernel.hpp derives the scalar module's function from it (float arguments, call_put a
// str), array_kernel.hpp the array module's (float columns, a call-put column); a KernelList
// gives both modules' registration in one order.
#pragma once

#include <tuple>

#include "python/frame/declare.hpp"

namespace korvex::py {

// The call_put parameter of a kernel: read as a str by the scalar function, as a column of
// option types by the array function.
struct CallPut {};

struct FloatArray;
struct CallPutArray;

// What each kind of kernel parameter is in either module: a float is a float or a float column,
// call_put a str or a call-put column.
template <class Kind>
struct KernelKind;
template <>
struct KernelKind<Float> {
    using scalar = Float;
    using array = FloatArray;
};
template <>
struct KernelKind<CallPut> {
    using scalar = Str;
    using array = CallPutArray;
};
template <class Kind>
using ScalarKindOf = typename KernelKind<Kind>::scalar;
template <class Kind>
using ArrayKindOf = typename KernelKind<Kind>::array;

template <class Core, class... Kinds>
struct Kernel {
    const char* name;
    std::tuple<Param<Kinds>...> params;
    Core core;
};
template <class Core, class... Kinds>
Kernel(const char*, std::tuple<Param<Kinds>...>, Core) -> Kernel<Core, Kinds...>;

// Kernels in registration order.
template <const auto&... Kernels>
struct KernelList {};

// The same parameters (names and defaults) with each kind replaced by Map<kind>.
template <template <class> class Map, class... Kinds>
constexpr auto map_params(const std::tuple<Param<Kinds>...>& params) {
    return std::apply([](const auto&... p) {
        return std::tuple{Param<Map<Kinds>>{p.name, p.default_value, p.default_text}...};
    }, params);
}

}  // namespace korvex::py
