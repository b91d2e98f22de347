#include "python/frame/timestamp.hpp"

#include "python/frame/cached.hpp"
#include "python/frame/handle.hpp"

namespace korvex::py {
namespace {

// The datetime module lives as long as the interpreter.
constinit Cached datetime_type{"datetime.datetime", &imported};
constinit Cached utc{"datetime.timezone.utc", &imported};
constinit Cached timestamp_name{"timestamp"};

}  // namespace

std::optional<UtcInstant> py_to_utc(PyObject* object) {
    PyObject* const name = timestamp_name.get();
    if (!name) return std::nullopt;
    PyObject* args[] = {object};
    Ref stamp = Ref::steal(PyObject_VectorcallMethod(name, args, 1, nullptr));
    if (!stamp) return std::nullopt;
    const double seconds = PyFloat_AsDouble(stamp.get());
    if (seconds == -1.0 && PyErr_Occurred()) return std::nullopt;
    auto instant = UtcInstant::from_timestamp(seconds);
    if (!instant) PyErr_SetString(PyExc_ValueError, "Invalid timestamp");
    return instant;
}

PyObject* utc_to_py(const UtcInstant& instant) {
    PyObject* const type = datetime_type.get();
    PyObject* const zone = type ? utc.get() : nullptr;
    if (!zone) return nullptr;
    const bool leap = instant.is_leap_second();
    const std::uint32_t nanos = leap ? instant.nanoseconds - kNanosPerSecond : instant.nanoseconds;
    std::uint32_t micros = (nanos + 500) / 1000;
    std::int64_t unix_seconds = instant.unix_seconds();
    if (micros == 1'000'000) {
        micros = 0;
        ++unix_seconds;
    }
    const std::int64_t days = floor_div(unix_seconds, kSecondsPerDay);
    const auto seconds_of_day = static_cast<int>(unix_seconds - days * kSecondsPerDay);
    const CivilDate date = civil_from_days(days);
    Ref result = Ref::steal(PyObject_CallFunction(type, "iIIiiiIO", static_cast<int>(date.year),
                                                  date.month, date.day, seconds_of_day / 3600,
                                                  seconds_of_day / 60 % 60, seconds_of_day % 60, micros, zone));
    if (result && leap &&
        PyErr_WarnEx(PyExc_UserWarning, "ignored leap-second, `datetime` does not support leap-seconds", 1) < 0) {
        return nullptr;
    }
    return result.release();
}

}  // namespace korvex::py
