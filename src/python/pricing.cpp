#include "python/pricing.hpp"

#include "option_pricing/b76.hpp"
#include "option_pricing/binary.hpp"
#include "option_pricing/iv_calibration.hpp"
#include "python/frame/declare.hpp"
#include "python/option_type_parser.hpp"

namespace korvex::py {
namespace {

// The option type is read after every argument has been converted and before anything is
// computed, so an unknown type raises even where the value would not depend on it.
template <auto Formula>
constexpr auto typed = [](double fwd, double strike, double ttx, double vol, const Text& call_put,
                          double df) -> PyResult<double> {
    const auto type = parse_option_type(call_put);
    if (!type) return std::unexpected(type.error());
    return Formula(*type, fwd, strike, ttx, vol, df);
};

template <auto Formula>
constexpr auto untyped = [](double fwd, double strike, double ttx, double vol, double df) {
    return Formula(fwd, strike, ttx, vol, df);
};

constexpr auto typed_params = std::tuple{Param<Float>{"fwd"}, Param<Float>{"strike"}, Param<Float>{"ttx"},
                                         Param<Float>{"vol"},  Param<Str>{"call_put"}, Param<Float>{"df", 1.0}};
constexpr auto untyped_params = std::tuple{Param<Float>{"fwd"}, Param<Float>{"strike"}, Param<Float>{"ttx"},
                                           Param<Float>{"vol"}, Param<Float>{"df", 1.0}};

constexpr Function b76_fairvalue{"b76_fairvalue", typed_params, typed<b76::fairvalue>};
constexpr Function b76_delta{"b76_delta", typed_params, typed<b76::delta>};
constexpr Function b76_vega{"b76_vega", untyped_params, untyped<b76::vega>};
constexpr Function b76_gamma{"b76_gamma", untyped_params, untyped<b76::gamma>};
constexpr Function binary_fairvalue{"binary_fairvalue", typed_params, typed<binary::fairvalue>};
constexpr Function binary_vega{"binary_vega", typed_params, typed<binary::vega>};
constexpr Function binary_delta{"binary_delta", typed_params, typed<binary::delta>};
constexpr Function binary_gamma{"binary_gamma", typed_params, typed<binary::gamma>};
constexpr Function binary_speed{"binary_speed", typed_params, typed<binary::speed>};
constexpr Function binary_theta{"binary_theta", typed_params, typed<binary::theta>};

constexpr Function calibrate_iv{
    "calibrate_black76_iv",
    std::tuple{Param<Float>{"ttx"}, Param<Float>{"fwd"}, Param<Float>{"strike"}, Param<Float>{"price"},
               Param<Str>{"call_put"}, Param<Float>{"df", 1.0}},
    [](double ttx, double fwd, double strike, double price, const Text& call_put, double df) -> PyResult<double> {
        const auto type = parse_option_type(call_put);
        if (!type) return std::unexpected(type.error());
        return calibrate_black76_iv(*type, ttx, fwd, strike, price, df);
    }};

}  // namespace

std::span<PyMethodDef> pricing_functions() {
    static PyMethodDef table[] = {
        function_def<b76_fairvalue>(),    function_def<b76_delta>(),    function_def<b76_vega>(),
        function_def<b76_gamma>(),        function_def<binary_fairvalue>(), function_def<binary_vega>(),
        function_def<binary_delta>(),     function_def<binary_gamma>(), function_def<binary_speed>(),
        function_def<binary_theta>(),     function_def<calibrate_iv>(),
    };
    return table;
}

}  // namespace korvex::py
