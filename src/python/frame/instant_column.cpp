#include "python/frame/instant_column.hpp"

#include <limits>
#include <string_view>

#include "python/frame/cached.hpp"
#include "python/frame/element_errors.hpp"
#include "python/frame/errors.hpp"
#include "python/frame/interrupts.hpp"
#include "python/frame/timestamp.hpp"

namespace korvex::py {
namespace {

constexpr std::int64_t kNaT = std::numeric_limits<std::int64_t>::min();

constinit Cached datetime_data{"numpy.datetime_data", &imported};
constinit Cached tz_name{"tz"};
constinit Cached dt_name{"dt"};
constinit Cached tz_convert_name{"tz_convert"};

// numpy.datetime_data(array.dtype): the unit name and its count.
bool unit_of(PyObject* array, Datetime64Unit& unit) {
    PyObject* const unit_data = datetime_data.get();
    Ref dtype = unit_data ? array_dtype(array) : Ref();
    Ref data = dtype ? Ref::steal(PyObject_CallFunctionObjArgs(unit_data, dtype.get(), nullptr)) : Ref();
    const char* name = nullptr;
    long long count = 0;
    if (!data || !PyArg_ParseTuple(data.get(), "sL", &name, &count)) return false;
    static constexpr std::pair<std::string_view, Datetime64Unit::Base> kUnits[] = {
        {"generic", Datetime64Unit::Base::s},  // holds NaT only
        {"Y", Datetime64Unit::Base::Y},   {"M", Datetime64Unit::Base::M},   {"W", Datetime64Unit::Base::W},
        {"D", Datetime64Unit::Base::D},   {"h", Datetime64Unit::Base::h},   {"m", Datetime64Unit::Base::m},
        {"s", Datetime64Unit::Base::s},   {"ms", Datetime64Unit::Base::ms}, {"us", Datetime64Unit::Base::us},
        {"ns", Datetime64Unit::Base::ns}, {"ps", Datetime64Unit::Base::ps}, {"fs", Datetime64Unit::Base::fs},
        {"as", Datetime64Unit::Base::as},
    };
    for (const auto& [text, base] : kUnits) {
        if (text == name) {
            unit = Datetime64Unit{base, count};
            return true;
        }
    }
    PyErr_Format(PyExc_TypeError, "must be a point in time or array of them, not datetime64 of unit '%s'", name);
    return false;
}

InstantState from_seconds(std::int64_t seconds, std::int64_t nanos, UtcInstant& out) {
    const auto instant = UtcInstant::from_unix(seconds, static_cast<std::uint32_t>(nanos));
    if (!instant) return InstantState::invalid;
    // Field by field: a copy of the whole struct was assembled on the stack and read back at once,
    // a load the processor cannot forward from the three smaller stores (a stall per instant).
    out.days = instant->days;
    out.seconds_of_day = instant->seconds_of_day;
    out.nanoseconds = instant->nanoseconds;
    return InstantState::present;
}

InstantState from_days(std::int64_t days, UtcInstant& out) {
    if (days < days_from_civil(kMinYear, 1, 1) || days > days_from_civil(kMaxYear, 12, 31)) {
        return InstantState::invalid;
    }
    return from_seconds(days * kSecondsPerDay, 0, out);
}

// value in units of 1 / PerSecond of a second: whole seconds and the nanoseconds within
// (finer units than the nanosecond are cut to it). The unit is a template argument so that the
// divisions are by constants: as runtime divisions they were most of calendar_ttx's time.
template <std::int64_t PerSecond>
InstantState from_fraction(std::int64_t value, UtcInstant& out) {
    const std::int64_t seconds = floor_div(value, PerSecond);
    const std::int64_t rest = value - seconds * PerSecond;  // 0 <= rest < PerSecond
    const std::int64_t nanos = PerSecond <= kNanosPerSecond ? rest * (kNanosPerSecond / PerSecond)
                                                            : rest / (PerSecond / kNanosPerSecond);
    return from_seconds(seconds, nanos, out);
}

// A tz-aware pandas column or index as naive UTC (a view of the same int64 values), so that it is
// read as datetime64 rather than as one Timestamp per element. Empty, without an exception, for
// anything else.
Ref utc_view(PyObject* object) {
    PyObject* const tz_ = tz_name.get();
    PyObject* const dt = tz_ ? dt_name.get() : nullptr;
    PyObject* const convert = dt ? tz_convert_name.get() : nullptr;
    if (!convert) return Ref();
    if (!has_extension_dtype(object)) return Ref();
    Ref dtype = array_dtype(object);
    Ref tz;
    if (!dtype || optional_attr(dtype.get(), tz_, tz) <= 0 || tz.get() == Py_None) return Ref();
    // A Series converts its values through .dt (its own tz_convert is its index's).
    Ref target;
    const int has_dt = optional_attr(object, dt, target);
    if (has_dt < 0) return Ref();
    if (has_dt == 0) target = Ref::borrow(object);
    PyObject* args[] = {target.get(), Py_None};
    return Ref::steal(PyObject_VectorcallMethod(convert, args, 2, nullptr));
}

}  // namespace

InstantState datetime64_instant(std::int64_t value, Datetime64Unit unit, UtcInstant& out) {
    if (value == kNaT) return InstantState::missing;
    std::int64_t n = 0;
    if (__builtin_mul_overflow(value, unit.count, &n)) return InstantState::invalid;
    using B = Datetime64Unit::Base;
    std::int64_t scaled = 0;
    switch (unit.base) {
    case B::Y:
        if (n < kMinYear - 1970 || n > kMaxYear - 1970) return InstantState::invalid;
        return from_days(days_from_civil(1970 + n, 1, 1), out);
    case B::M: {
        const std::int64_t years = floor_div(n, 12);
        if (years < kMinYear - 1970 || years > kMaxYear - 1970) return InstantState::invalid;
        return from_days(days_from_civil(1970 + years, static_cast<std::uint32_t>(n - years * 12 + 1), 1), out);
    }
    case B::W:
        return __builtin_mul_overflow(n, 7, &scaled) ? InstantState::invalid : from_days(scaled, out);
    case B::D:
        return from_days(n, out);
    case B::h:
        return __builtin_mul_overflow(n, 3600, &scaled) ? InstantState::invalid : from_seconds(scaled, 0, out);
    case B::m:
        return __builtin_mul_overflow(n, 60, &scaled) ? InstantState::invalid : from_seconds(scaled, 0, out);
    case B::s:
        return from_seconds(n, 0, out);
    case B::ms:
        return from_fraction<1'000>(n, out);
    case B::us:
        return from_fraction<1'000'000>(n, out);
    case B::ns:
        return from_fraction<1'000'000'000>(n, out);
    case B::ps:
        return from_fraction<1'000'000'000'000>(n, out);
    case B::fs:
        return from_fraction<1'000'000'000'000'000>(n, out);
    case B::as:
        return from_fraction<1'000'000'000'000'000'000>(n, out);
    }
    return InstantState::invalid;
}

bool InstantColumn::read(PyObject* object) {
    form_ = Form::single;
    single_state_ = InstantState::present;
    return read_value(object, false);
}

// `unwrapped`: `object` is the item of a 0-d object array, which is unwrapped once only.
bool InstantColumn::read_value(PyObject* object, bool unwrapped) {
    if (!array_like(object)) {
        if (PyErr_Occurred()) return false;
        const auto instant = py_to_utc(object);
        if (!instant) return false;
        single_ = *instant;
        return true;
    }
    MissingElements missing;
    if (!missing.read(object)) return false;
    if (missing.source() == MissingElements::Source::mask) {
        const int ndim = array_ndim(object);
        if (ndim < 0) return false;
        if (ndim == 0 && missing.any()) {  // np.ma.masked among them, whatever its dtype
            single_state_ = InstantState::missing;
            return true;
        }
        Ref data = Ref::borrow(missing.data());
        return read_array(data.get(), missing, unwrapped);
    }
    Ref values = utc_view(object);
    if (!values && PyErr_Occurred()) return false;
    Ref array = numpy_asarray(values ? values.get() : object);
    return array && read_array(array.get(), missing, unwrapped);
}

bool InstantColumn::read_array(PyObject* array, const MissingElements& missing, bool unwrapped) {
    const int ndim = array_ndim(array);
    const char kind = ndim < 0 ? 0 : dtype_kind(array);
    if (kind == 0) return false;
    if (kind != 'M' && kind != 'O') {
        PyErr_Format(PyExc_TypeError, "must be a point in time or array of them, not array of %s",
                     dtype_name(array).c_str());
        return false;
    }
    if (ndim == 0) {
        if (missing.any()) {
            single_state_ = InstantState::missing;
            return true;
        }
        if (kind == 'M') return read_single_datetime64(array);
        if (unwrapped) {
            PyErr_SetString(PyExc_TypeError, "an object array nested in a 0-d object array is not accepted");
            return false;
        }
        Ref item = zero_d_item(array);
        return item && read_value(item.get(), true);
    }
    if (kind == 'O') return read_objects(array, missing);
    owner_ = numpy_contiguous(array);  // in this machine's byte order, so that the view reads the numbers
    Ref counts = owner_ ? numpy_int64_view(owner_.get()) : Ref();
    if (!counts || !unit_of(array, unit_) || !buffer_.acquire(counts.get(), PyBUF_RECORDS_RO)) return false;
    owner_ = std::move(counts);
    form_ = Form::datetime64;
    if (!missing.any()) return true;
    return missing_to_nat(missing);
}

// Masked datetime64 values read as NaT, in a copy: the caller's memory is never written.
bool InstantColumn::missing_to_nat(const MissingElements& missing) {
    const std::size_t count = buffer_.count();
    if (missing.count() != count) {
        PyErr_SetString(PyExc_TypeError, "the mask does not have the shape of the data");
        return false;
    }
    own_counts_ = std::make_unique_for_overwrite<std::int64_t[]>(count);
    const auto* counts = static_cast<const std::int64_t*>(buffer_.data());
    for (std::size_t i = 0; i < count; ++i) own_counts_[i] = missing[i] ? kNaT : counts[i];
    return true;
}

bool InstantColumn::read_single_datetime64(PyObject* array) {
    Ref native = numpy_contiguous(array);
    Ref counts = native ? numpy_int64_view(native.get()) : Ref();
    HeldBuffer value;
    if (!counts || !unit_of(array, unit_) || !value.acquire(counts.get(), PyBUF_RECORDS_RO)) return false;
    single_state_ = datetime64_instant(*static_cast<const std::int64_t*>(value.data()), unit_, single_);
    if (single_state_ == InstantState::invalid) {
        PyErr_SetString(PyExc_ValueError, "Invalid timestamp");
        return false;
    }
    return true;
}

// Points in time as Python objects (datetimes, Timestamps): each through its timestamp(), as the
// scalar module reads it. A masked element, or a missing value of a pandas column (NaT, None, NA),
// is missing, as NaT is.
bool InstantColumn::read_objects(PyObject* array, const MissingElements& missing) {
    owner_ = numpy_contiguous(array);
    if (!owner_ || !buffer_.acquire(owner_.get(), PyBUF_RECORDS_RO)) return false;
    const std::size_t count = buffer_.count();
    if (missing.any() && missing.count() != count) {
        PyErr_SetString(PyExc_TypeError, "the mask does not have the shape of the data");
        return false;
    }
    converted_ = std::make_unique_for_overwrite<UtcInstant[]>(count == 0 ? 1 : count);
    if (missing.any()) missing_ = std::make_unique<std::uint8_t[]>(count);
    auto* const* items = static_cast<PyObject* const*>(buffer_.data());
    for (std::size_t i = 0; i < count; ++i) {
        if (!signals_checked(i)) return false;
        if (missing.any() && missing[i]) {
            missing_[i] = 1;
            continue;
        }
        Ref item = Ref::borrow(items[i] ? items[i] : Py_None);
        const auto instant = py_to_utc(item.get());
        if (!instant) {
            mark_element_error(i);
            return false;
        }
        converted_[i] = *instant;
    }
    form_ = Form::converted;
    return true;
}

InstantColumn::Elements InstantColumn::elements() const {
    switch (form_) {
    case Form::datetime64: {
        const std::int64_t* counts = own_counts_ ? own_counts_.get() : static_cast<const std::int64_t*>(buffer_.data());
        return Elements{nullptr, 0, InstantState::present, counts, unit_, nullptr};
    }
    case Form::converted:
        return Elements{converted_.get(), 1, InstantState::present, nullptr, unit_, missing_.get()};
    case Form::single:
        break;
    }
    return Elements{&single_, 0, single_state_, nullptr, unit_, nullptr};
}

}  // namespace korvex::py
