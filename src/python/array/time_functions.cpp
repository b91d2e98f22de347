#include "python/array/time_functions.hpp"

#include <cmath>
#include <cstddef>
#include <limits>

#include "calendar/tenor.hpp"
#include "python/array/calendars.hpp"
#include "python/frame/instant_column.hpp"
#include "python/frame/elementwise.hpp"
#include "python/frame/parsed_column.hpp"

namespace korvex::py {
namespace {

// years(from, to) for two instants: NaN where either is NaT; "Invalid timestamp" for one outside
// the supported years.
template <class Years>
auto years_between(Years years) {
    return [years](const InstantElement& from, const InstantElement& to) -> Result<double> {
        if (from.state == InstantState::invalid || to.state == InstantState::invalid) return fail("Invalid timestamp");
        if (from.state == InstantState::missing || to.state == InstantState::missing) {
            return std::numeric_limits<double>::quiet_NaN();
        }
        return years(from.instant, to.instant);
    };
}

constexpr auto business_params = std::tuple{Param<InstantArray>{"start"}, Param<InstantArray>{"end"},
                                            Param<Str>{"underlying", {}, "BTCUSDT"}};
constexpr auto calendar_params = std::tuple{Param<InstantArray>{"start"}, Param<InstantArray>{"end"}};

// Calendar::bus_ttx bit for bit: the end's point less the start's, on the process's calendar.
constexpr Function business_ttx{
    "business_ttx", business_params,
    [](InstantColumn& start, InstantColumn& end, const Text& underlying) -> PyObject* {
        const Calendar* calendar = shared_calendar(underlying.utf8);
        if (!calendar) return nullptr;
        return map_elements<business_params>(years_between([calendar](const UtcInstant& a, const UtcInstant& b) {
            const double to = calendar->bus_ttx_point_uncached(b);
            return to - calendar->bus_ttx_point_uncached(a);
        }), start, end);
    }};

constexpr Function calendar_ttx_function{
    "calendar_ttx", calendar_params, [](InstantColumn& start, InstantColumn& end) -> PyObject* {
        return map_elements<calendar_params>(years_between([](const UtcInstant& a, const UtcInstant& b) {
            return calendar_ttx(a, b);
        }), start, end);
    }};

// Calendar.tenor_to_ttx over an array: each distinct tenor parsed once.
Result<double> parse_tenor(const Text& tenor) { return tenor_to_ttx(tenor.utf8); }
using TenorColumn = ParsedColumn<double, &parse_tenor>;
struct TenorArray : ColumnKind<TenorColumn> {};

constexpr auto tenor_params = std::tuple{Param<TenorArray>{"tenors"}};
constexpr Function tenor_ttx{"tenor_ttx", tenor_params, [](TenorColumn& tenors) -> PyObject* {
    return map_elements<tenor_params>([](double years) { return years; }, tenors);
}};

}  // namespace

std::span<PyMethodDef> array_time_functions() {
    static PyMethodDef table[] = {
        function_def<business_ttx>(),
        function_def<calendar_ttx_function>(),
        function_def<tenor_ttx>(),
    };
    return table;
}

}  // namespace korvex::py
