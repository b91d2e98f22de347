#include "python/array/desk.hpp"

#include "option_pricing/b76_sensitivities.hpp"
#include "option_pricing/coin.hpp"
#include "python/array/params.hpp"
#include "python/frame/elementwise_record.hpp"

namespace korvex::py {
namespace {

// calibrate_black76_iv's parameter list, the price given in coin.
constexpr auto coin_iv_params =
    std::tuple{Param<FloatArray>{"ttx"},        Param<FloatArray>{"fwd"},      Param<FloatArray>{"strike"},
               Param<FloatArray>{"coin_price"}, Param<CallPutArray>{"call_put"}, Param<FloatArray>{"df", 1.0}};

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

constexpr Function b76_sensitivities{
    "b76_sensitivities", typed_params,
    elementwise_record<typed_params, typed<b76::sensitivities>, textbook_figures>};
constexpr Function coin_sensitivities{
    "coin_sensitivities", typed_params, elementwise_record<typed_params, typed<coin::sensitivities>, coin_figures>};
constexpr Function coin_implied_vol{
    "coin_implied_vol", coin_iv_params,
    elementwise<coin_iv_params, [](double ttx, double fwd, double strike, double coin_price, OptionType type,
                                   double df) { return coin::implied_vol(type, ttx, fwd, strike, coin_price, df); }>};

}  // namespace

std::span<PyMethodDef> array_desk_functions() {
    static PyMethodDef table[] = {
        function_def<b76_sensitivities>(),
        function_def<coin_sensitivities>(),
        function_def<coin_implied_vol>(),
    };
    return table;
}

}  // namespace korvex::py
