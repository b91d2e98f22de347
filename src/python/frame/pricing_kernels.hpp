// The eleven pricing functions, each declared once: the scalar module and the array module both
// derive theirs from these declarations (kernel.hpp), registered in this order. Every element of
// an array result is then the scalar result bit for bit: both call the same core function.
#pragma once

#include <tuple>

#include "option_pricing/b76.hpp"
#include "option_pricing/binary.hpp"
#include "option_pricing/implied_vol.hpp"
#include "option_pricing/iv_calibration.hpp"
#include "python/frame/kernel.hpp"

namespace korvex::py::pricing {

inline constexpr auto call_put_params = std::tuple{Param<Float>{"fwd"}, Param<Float>{"strike"}, Param<Float>{"ttx"},
                                                   Param<Float>{"vol"},  Param<CallPut>{"call_put"},
                                                   Param<Float>{"df", 1.0}};
inline constexpr auto no_call_put_params = std::tuple{Param<Float>{"fwd"}, Param<Float>{"strike"},
                                                      Param<Float>{"ttx"}, Param<Float>{"vol"}, Param<Float>{"df", 1.0}};

// A core formula that takes the option type first, called in call_put_params' order.
template <auto Formula>
inline constexpr auto type_first = [](double fwd, double strike, double ttx, double vol, OptionType type,
                                      double df) { return Formula(type, fwd, strike, ttx, vol, df); };

inline constexpr Kernel b76_fairvalue{"b76_fairvalue", call_put_params, type_first<b76::fairvalue>};
inline constexpr Kernel b76_delta{"b76_delta", call_put_params, type_first<b76::delta>};
inline constexpr Kernel b76_vega{"b76_vega", no_call_put_params, b76::vega};
inline constexpr Kernel b76_gamma{"b76_gamma", no_call_put_params, b76::gamma};
inline constexpr Kernel binary_fairvalue{"binary_fairvalue", call_put_params, type_first<binary::fairvalue>};
inline constexpr Kernel binary_vega{"binary_vega", call_put_params, type_first<binary::vega>};
inline constexpr Kernel binary_delta{"binary_delta", call_put_params, type_first<binary::delta>};
inline constexpr Kernel binary_gamma{"binary_gamma", call_put_params, type_first<binary::gamma>};
inline constexpr Kernel binary_speed{"binary_speed", call_put_params, type_first<binary::speed>};
inline constexpr Kernel binary_theta{"binary_theta", call_put_params, type_first<binary::theta>};
inline constexpr Kernel calibrate_iv{
    "calibrate_black76_iv",
    std::tuple{Param<Float>{"ttx"}, Param<Float>{"fwd"}, Param<Float>{"strike"}, Param<Float>{"price"},
               Param<CallPut>{"call_put"}, Param<Float>{"df", 1.0}},
    [](double ttx, double fwd, double strike, double price, OptionType type, double df) {
        return calibrate_black76_iv(type, ttx, fwd, strike, price, df);
    }};

// The exact implied volatility: korvex_array only, right after the eleven.
inline constexpr Kernel exact_iv{
    "implied_vol", calibrate_iv.params, [](double ttx, double fwd, double strike, double price, OptionType type,
                                           double df) { return implied_vol(type, ttx, fwd, strike, price, df); }};

inline constexpr KernelList<b76_fairvalue, b76_delta, b76_vega, b76_gamma, binary_fairvalue, binary_vega,
                            binary_delta, binary_gamma, binary_speed, binary_theta, calibrate_iv>
    functions{};
inline constexpr KernelList<exact_iv> array_only_functions{};

}  // namespace korvex::py::pricing
