#include "python/array/functions.hpp"

#include "option_pricing/b76.hpp"
#include "option_pricing/binary.hpp"
#include "option_pricing/implied_vol.hpp"
#include "option_pricing/iv_calibration.hpp"
#include "python/array/params.hpp"
#include "python/frame/elementwise.hpp"

namespace korvex::py {
namespace {

// The other scalar parameter lists, with array kinds (typed_params: params.hpp).
constexpr auto untyped_params = std::tuple{Param<FloatArray>{"fwd"}, Param<FloatArray>{"strike"},
                                           Param<FloatArray>{"ttx"}, Param<FloatArray>{"vol"},
                                           Param<FloatArray>{"df", 1.0}};
constexpr auto iv_params =
    std::tuple{Param<FloatArray>{"ttx"},   Param<FloatArray>{"fwd"},      Param<FloatArray>{"strike"},
               Param<FloatArray>{"price"}, Param<CallPutArray>{"call_put"}, Param<FloatArray>{"df", 1.0}};

constexpr Function b76_fairvalue{"b76_fairvalue", typed_params, elementwise<typed_params, typed<b76::fairvalue>>};
constexpr Function b76_delta{"b76_delta", typed_params, elementwise<typed_params, typed<b76::delta>>};
constexpr Function b76_vega{"b76_vega", untyped_params, elementwise<untyped_params, b76::vega>};
constexpr Function b76_gamma{"b76_gamma", untyped_params, elementwise<untyped_params, b76::gamma>};
constexpr Function binary_fairvalue{"binary_fairvalue", typed_params,
                                    elementwise<typed_params, typed<binary::fairvalue>>};
constexpr Function binary_vega{"binary_vega", typed_params, elementwise<typed_params, typed<binary::vega>>};
constexpr Function binary_delta{"binary_delta", typed_params, elementwise<typed_params, typed<binary::delta>>};
constexpr Function binary_gamma{"binary_gamma", typed_params, elementwise<typed_params, typed<binary::gamma>>};
constexpr Function binary_speed{"binary_speed", typed_params, elementwise<typed_params, typed<binary::speed>>};
constexpr Function binary_theta{"binary_theta", typed_params, elementwise<typed_params, typed<binary::theta>>};
constexpr Function calibrate_iv{
    "calibrate_black76_iv", iv_params,
    elementwise<iv_params, [](double ttx, double fwd, double strike, double price, OptionType type, double df) {
        return calibrate_black76_iv(type, ttx, fwd, strike, price, df);
    }>};
constexpr Function exact_iv{
    "implied_vol", iv_params,
    elementwise<iv_params, [](double ttx, double fwd, double strike, double price, OptionType type, double df) {
        return implied_vol(type, ttx, fwd, strike, price, df);
    }>};

}  // namespace

std::span<PyMethodDef> array_pricing_functions() {
    static PyMethodDef table[] = {
        function_def<b76_fairvalue>(),    function_def<b76_delta>(),        function_def<b76_vega>(),
        function_def<b76_gamma>(),        function_def<binary_fairvalue>(), function_def<binary_vega>(),
        function_def<binary_delta>(),     function_def<binary_gamma>(),     function_def<binary_speed>(),
        function_def<binary_theta>(),     function_def<calibrate_iv>(),     function_def<exact_iv>(),
    };
    return table;
}

}  // namespace korvex::py
