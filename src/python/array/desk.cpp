#include "python/array/desk.hpp"

#include "option_pricing/b76_sensitivities.hpp"
#include "option_pricing/coin.hpp"
#include "python/frame/array_kernel.hpp"
#include "python/frame/pricing_kernels.hpp"

namespace korvex::py {
namespace {

using pricing::call_put_params;
using pricing::type_first;

using Textbook = b76::Sensitivities;
constexpr RecordField<Textbook> textbook_figures[] = {
    {"value", &Textbook::value},           {"delta", &Textbook::delta},
    {"gamma", &Textbook::gamma},           {"vega", &Textbook::vega},
    {"theta", &Textbook::theta},           {"vanna", &Textbook::vanna},
    {"volga", &Textbook::volga},           {"dual_delta", &Textbook::dual_delta},
    {"dual_gamma", &Textbook::dual_gamma}, {"itm_probability", &Textbook::itm_probability},
};

using Coin = coin::Sensitivities;
constexpr RecordField<Coin> coin_figures[] = {
    {"value", &Coin::value}, {"delta", &Coin::delta}, {"gamma", &Coin::gamma},
    {"vega", &Coin::vega},   {"theta", &Coin::theta},
};

constexpr Kernel b76_sensitivities{"b76_sensitivities", call_put_params, type_first<b76::sensitivities>};
constexpr Kernel coin_sensitivities{"coin_sensitivities", call_put_params, type_first<coin::sensitivities>};
// calibrate_black76_iv's parameters, the price given in coin.
constexpr Kernel coin_implied_vol{
    "coin_implied_vol",
    std::tuple{Param<Float>{"ttx"}, Param<Float>{"fwd"}, Param<Float>{"strike"}, Param<Float>{"coin_price"},
               Param<CallPut>{"call_put"}, Param<Float>{"df", 1.0}},
    [](double ttx, double fwd, double strike, double coin_price, OptionType type, double df) {
        return coin::implied_vol(type, ttx, fwd, strike, coin_price, df);
    }};

}  // namespace

std::span<PyMethodDef> array_desk_functions() {
    static PyMethodDef table[] = {
        function_def<ArrayRecordFunction<b76_sensitivities, textbook_figures>::function>(),
        function_def<ArrayRecordFunction<coin_sensitivities, coin_figures>::function>(),
        function_def<ArrayFunction<coin_implied_vol>::function>(),
    };
    return table;
}

}  // namespace korvex::py
