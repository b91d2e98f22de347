// The scalar module's function of a kernel (kernel.hpp): float arguments, call_put a str. The
// option type is read after every argument has been converted and before anything is computed,
// so an unknown type raises even where the value would not depend on it.
#pragma once

#include <optional>
#include <span>
#include <tuple>
#include <type_traits>

#include "python/frame/kernel.hpp"
#include "python/frame/option_type_parser.hpp"

namespace korvex::py {

// A converted argument as the core takes it: a float as it is, call_put as its option type.
inline double core_argument(double value, std::optional<Failure>&) { return value; }
inline OptionType core_argument(const Text& call_put, std::optional<Failure>& failure) {
    auto type = parse_option_type(call_put);
    if (type) return *type;
    failure = std::move(type.error());
    return OptionType::call;
}

template <const auto& K>
inline constexpr auto scalar_call = [](const auto&... values) {
    constexpr bool takes_call_put = (std::is_same_v<std::remove_cvref_t<decltype(values)>, Text> || ...);
    if constexpr (takes_call_put) {
        std::optional<Failure> failure;
        const std::tuple core_values{core_argument(values, failure)...};
        using R = decltype(std::apply(K.core, core_values));
        if (failure) return PyResult<R>(std::unexpected(std::move(*failure)));
        return PyResult<R>(std::apply(K.core, core_values));
    } else {
        return K.core(values...);
    }
};

template <const auto& K>
struct ScalarFunction {
    static constexpr Function function{K.name, map_params<ScalarKindOf>(K.params), scalar_call<K>};
};

template <const auto&... Kernels>
std::span<PyMethodDef> scalar_functions(KernelList<Kernels...>) {
    static PyMethodDef table[] = {function_def<ScalarFunction<Kernels>::function>()...};
    return table;
}

}  // namespace korvex::py
