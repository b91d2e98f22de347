// What the typed array functions share: the scalar functions' parameter list with array kinds,
// and the step from that argument order to the core's (option type first).
#pragma once

#include <tuple>

#include "option_pricing/option_type.hpp"
#include "python/array/call_put.hpp"
#include "python/frame/declare.hpp"
#include "python/frame/float_column.hpp"

namespace korvex::py {

inline constexpr auto typed_params =
    std::tuple{Param<FloatArray>{"fwd"}, Param<FloatArray>{"strike"},  Param<FloatArray>{"ttx"},
               Param<FloatArray>{"vol"}, Param<CallPutArray>{"call_put"}, Param<FloatArray>{"df", 1.0}};

// The same core calls as the scalar functions, so every element is the scalar result bit for bit.
template <auto Formula>
inline constexpr auto typed = [](double fwd, double strike, double ttx, double vol, OptionType type, double df) {
    return Formula(type, fwd, strike, ttx, vol, df);
};

}  // namespace korvex::py
