#include "python/timestamp.hpp"

#include "python/frame/handle.hpp"

namespace korvex::py {
namespace {

// Looked up once; the datetime module lives as long as the interpreter.
struct DatetimeApi {
    PyObject* datetime_type = nullptr;
    PyObject* utc = nullptr;
};

const DatetimeApi* datetime_api() {
    static DatetimeApi api;
    if (api.utc) return &api;
    Ref module = Ref::steal(PyImport_ImportModule("datetime"));
    if (!module) return nullptr;
    Ref type = Ref::steal(PyObject_GetAttrString(module.get(), "datetime"));
    Ref timezone = type ? Ref::steal(PyObject_GetAttrString(module.get(), "timezone")) : Ref();
    Ref utc = timezone ? Ref::steal(PyObject_GetAttrString(timezone.get(), "utc")) : Ref();
    if (!utc) return nullptr;
    if (!api.utc) {  // another thread may have filled it while the import ran
        api.datetime_type = type.release();
        api.utc = utc.release();
    }
    return &api;
}

// Made on first use; a failure is not remembered, the next call tries again.
PyObject* timestamp_name() {
    static PyObject* name = nullptr;
    if (!name) name = PyUnicode_InternFromString("timestamp");
    return name;
}

}  // namespace

std::optional<UtcInstant> py_to_utc(PyObject* object) {
    PyObject* name = timestamp_name();
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
    const DatetimeApi* api = datetime_api();
    if (!api) return nullptr;
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
    Ref result = Ref::steal(PyObject_CallFunction(api->datetime_type, "iIIiiiIO", static_cast<int>(date.year),
                                                  date.month, date.day, seconds_of_day / 3600,
                                                  seconds_of_day / 60 % 60, seconds_of_day % 60, micros, api->utc));
    if (result && leap &&
        PyErr_WarnEx(PyExc_UserWarning, "ignored leap-second, `datetime` does not support leap-seconds", 1) < 0) {
        return nullptr;
    }
    return result.release();
}

}  // namespace korvex::py
