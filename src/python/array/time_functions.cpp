#include "python/array/time_functions.hpp"

#include <cmath>
#include <cstddef>
#include <limits>

#include "calendar/tenor.hpp"
#include "python/array/calendars.hpp"
#include "python/frame/instant_column.hpp"
#include "python/frame/elementwise.hpp"
#include "python/frame/text_column.hpp"

namespace korvex::py {
namespace {

// years(from, to) over the broadcast of two instant columns: NaN where either is NaT; ValueError
// "element i: Invalid timestamp" for the first instant outside the supported years.
template <const auto& Params, class Years>
PyObject* years_between(InstantColumn& start, InstantColumn& end, Years years) {
    const std::optional<Shape> shape = broadcast_columns<Params>(start, end);
    OutputArray out;
    if (!shape || !out.allocate(*shape)) return nullptr;
    const std::size_t count = element_count(*shape);
    const InstantColumn::Elements from = start.elements();
    const InstantColumn::Elements to = end.elements();
    double* const result = out.data();
    std::size_t invalid = count;
    const bool finished = run_in_chunks(count, [&](std::size_t begin, std::size_t end) noexcept {
        for (std::size_t i = begin; i < end && invalid == count; ++i) {
            UtcInstant a, b;
            const InstantState sa = from(i, a);
            const InstantState sb = to(i, b);
            if (sa == InstantState::invalid || sb == InstantState::invalid) {
                invalid = i;
                return;
            }
            result[i] = sa == InstantState::missing || sb == InstantState::missing
                            ? std::numeric_limits<double>::quiet_NaN()
                            : years(a, b);
        }
    });
    if (!finished) return nullptr;
    if (invalid < count) {
        raise(PyExc_ValueError, element_message(invalid, "Invalid timestamp"));
        return nullptr;
    }
    return out.release();
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
        return years_between<business_params>(start, end, [calendar](const UtcInstant& a, const UtcInstant& b) {
            const double to = calendar->bus_ttx_point_uncached(b);
            return to - calendar->bus_ttx_point_uncached(a);
        });
    }};

constexpr Function calendar_ttx_function{
    "calendar_ttx", calendar_params, [](InstantColumn& start, InstantColumn& end) -> PyObject* {
        return years_between<calendar_params>(start, end, [](const UtcInstant& a, const UtcInstant& b) {
            return calendar_ttx(a, b);
        });
    }};

// Calendar.tenor_to_ttx over an array: each distinct tenor parsed once.
constexpr Function tenor_ttx{
    "tenor_ttx", std::tuple{Param<TextArray>{"tenors"}}, [](TextColumn& tenors) -> PyObject* {
        OutputArray out;
        if (!out.allocate(tenors.shape())) return nullptr;
        double* const result = out.data();
        const bool parsed = tenors.resolve<double>([](const Text& tenor) { return tenor_to_ttx(tenor.utf8); },
                                                   [result](std::size_t i, double years) { result[i] = years; });
        return parsed ? out.release() : nullptr;
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
