#include "python/korvex/calendar_class.hpp"

#include <optional>
#include <utility>

#include "calendar/calendar.hpp"
#include "calendar/tenor.hpp"
#include "python/frame/declare.hpp"
#include "python/frame/instance.hpp"
#include "python/frame/timestamp.hpp"

namespace korvex::py {
namespace {

struct CalendarSpec;
using CalendarClass = ClassOf<Calendar, CalendarSpec>;

// `from`, then `to`: the first failure is raised as it is, and `to` is then not looked at.
std::optional<std::pair<UtcInstant, UtcInstant>> to_instants(PyObject* from, PyObject* to) {
    const auto start = py_to_utc(from);
    if (!start) return std::nullopt;
    const auto end = py_to_utc(to);
    if (!end) return std::nullopt;
    return std::pair{*start, *end};
}

// Exclusive: a business-time point may fill the calendar's year-weight cache. The borrow is
// taken before `from` and `to` are converted, so a timestamp() that re-enters is refused.
constexpr Method get_bus_ttx{
    "get_bus_ttx", Borrow::exclusive, std::tuple{Param<Object>{"from"}, Param<Object>{"to"}},
    [](Calendar& calendar, PyObject* from, PyObject* to) -> PyObject* {
        const auto interval = to_instants(from, to);
        return interval ? PyFloat_FromDouble(calendar.bus_ttx(interval->first, interval->second)) : nullptr;
    }};

constexpr StaticMethod get_cal_ttx{
    "get_cal_ttx", std::tuple{Param<Object>{"from"}, Param<Object>{"to"}},
    [](PyObject* from, PyObject* to) -> PyObject* {
        const auto interval = to_instants(from, to);
        return interval ? PyFloat_FromDouble(calendar_ttx(interval->first, interval->second)) : nullptr;
    }};

constexpr StaticMethod tenor_to_ttx_method{
    "tenor_to_ttx", std::tuple{Param<Str>{"tenor"}},
    [](const Text& tenor) { return tenor_to_ttx(tenor.utf8); }};

PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return at_border([&]() -> PyObject* {
        static constexpr const char* names[] = {"underlying"};
        Ref slot;
        if (!bind_tuple(SignatureView{"Calendar", names, 1}, args, kwargs, &slot, nullptr)) return nullptr;
        Text underlying;
        if (!read_text(slot.get(), underlying)) {
            prefix_argument_error("underlying");
            return nullptr;
        }
        throw_if_probed("Calendar");
        auto calendar = Calendar::for_underlying(underlying.utf8);
        if (!calendar) {
            raise_core_error(calendar.error());
            return nullptr;
        }
        return CalendarClass::wrap(type, std::move(*calendar));
    }, nullptr);
}

struct CalendarSpec {
    static constexpr const char* name = "Calendar";
    static TypeSpec spec() {
        static PyMethodDef methods[] = {
            method_def<CalendarClass, get_bus_ttx>(),
            function_def<get_cal_ttx>(),
            function_def<tenor_to_ttx_method>(),
            {nullptr, nullptr, 0, nullptr},
        };
        return TypeSpec{"builtins.Calendar", "Calendar(underlying)\n--\n\n", methods, nullptr, &construct};
    }
};

}  // namespace

PyObject* calendar_type() { return CalendarClass::type(); }

}  // namespace korvex::py
