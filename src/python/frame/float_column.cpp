#include "python/frame/float_column.hpp"

#include <bit>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "python/frame/cached.hpp"
#include "python/frame/convert.hpp"
#include "python/frame/element_errors.hpp"
#include "python/frame/errors.hpp"
#include "python/frame/interrupts.hpp"

namespace korvex::py {
namespace {

constinit Cached obj_name{"obj"};

// float64 in this machine's byte order, as buffer exporters write it.
bool native_float64(const Py_buffer& view) {
    if (view.itemsize != 8 || !view.format) return false;
    const std::string_view format(view.format);
    constexpr bool little = std::endian::native == std::endian::little;
    return format == "d" || format == "@d" || format == "=d" || format == (little ? "<d" : ">d");
}

// Text and bytes are never numbers here, though numpy would read some of them as such; nor is a
// memoryview of text bytes (numpy would read b"ab" as the numbers 97 and 98).
bool refuse_text(PyObject* object) {
    const bool text = PyUnicode_Check(object) || PyBytes_Check(object) || PyByteArray_Check(object) ||
                      PyComplex_Check(object);
    if (!text && !PyMemoryView_Check(object)) return false;
    Ref name = Ref::steal(PyType_GetName(Py_TYPE(object)));
    if (!name) return true;
    if (text) {
        PyErr_Format(PyExc_TypeError, "must be real number or array of real numbers, not %U", name.get());
        return true;
    }
    PyObject* const obj = obj_name.get();
    Ref base = obj ? Ref::steal(PyObject_GetAttr(object, obj)) : Ref();
    if (!base) return true;
    if (!PyBytes_Check(base.get()) && !PyByteArray_Check(base.get())) return false;
    Ref base_name = Ref::steal(PyType_GetName(Py_TYPE(base.get())));
    if (base_name) {
        PyErr_Format(PyExc_TypeError, "must be real number or array of real numbers, not %U of %U", name.get(),
                     base_name.get());
    }
    return true;
}

bool numeric_kind(char kind) { return kind == 'b' || kind == 'i' || kind == 'u' || kind == 'f'; }

// Flags that do not cover the column (a subclass whose mask has another size) are refused.
bool flags_fit(const MissingElements& missing, std::size_t count) {
    if (!missing.any() || missing.count() == count) return true;
    PyErr_SetString(PyExc_TypeError, "the mask does not have the shape of the data");
    return false;
}

void refuse_missing(std::size_t index) {
    PyErr_SetString(PyExc_TypeError, "missing value, must be real number");
    mark_element_error(index);
}

}  // namespace

bool FloatColumn::read(PyObject* object) {
    scalar_ = true;
    if (PyFloat_Check(object) || PyLong_Check(object)) return read_float(object, value_);
    // The common case first: its buffer asked for without the format, which numpy would describe
    // anew on every call (a measurable part of a one-element call).
    const int plain = plain_float64_array(object);
    if (plain < 0) return false;
    if (plain > 0) return read_plain_float64(object);
    if (refuse_text(object) || PyErr_Occurred()) return false;
    MissingElements missing;
    PyObject* source = object;
    if (is_ndarray_subclass(object)) {
        const int ndim = array_ndim(object);
        if (ndim < 0) return false;
        // A 0-d subclass means what its own __float__ says (np.ma.masked is NaN), not its buffer.
        if (ndim == 0) return read_float(object, value_);
        if (!missing.read(object)) return false;
        if (missing.data()) source = missing.data();  // a masked array: its data, then the mask
    }
    if (PyObject_CheckBuffer(source) && read_buffer(source)) return missing.any() ? mask_out(missing) : true;
    if (PyErr_Occurred()) return false;
    // Decimal, Fraction and the like: one number, read as the scalar functions read it.
    if (!array_like(source)) return !PyErr_Occurred() && read_float(source, value_);
    return read_through_numpy(source, missing);
}

bool FloatColumn::read_plain_float64(PyObject* array) {
    if (!buffer_.acquire(array, PyBUF_STRIDES)) return false;
    if (!buffer_.c_contiguous()) {  // a strided view: numpy makes a contiguous copy
        buffer_.release();
        return take_float64(numpy_contiguous_float64(array));
    }
    if (buffer_.view().ndim == 0) {  // a 0-d array broadcasts like the float it holds
        std::memcpy(&value_, buffer_.data(), sizeof value_);
        buffer_.release();
        return true;
    }
    scalar_ = false;
    return true;
}

// True when the buffer was taken as it is; false without an exception when numpy must convert it.
bool FloatColumn::read_buffer(PyObject* exporter) {
    if (!buffer_.acquire(exporter, PyBUF_RECORDS_RO)) {
        PyErr_Clear();  // numpy gives the real reason, if there is one
        return false;
    }
    if (!native_float64(buffer_.view()) || !buffer_.c_contiguous()) {
        buffer_.release();
        return false;
    }
    if (buffer_.view().ndim == 0) {  // a 0-d array broadcasts like the float it holds
        std::memcpy(&value_, buffer_.data(), sizeof value_);
        buffer_.release();
        return true;
    }
    scalar_ = false;
    return true;
}

bool FloatColumn::read_through_numpy(PyObject* object, MissingElements& missing) {
    const bool extension = has_extension_dtype(object);
    if (PyErr_Occurred()) return false;
    if (extension && !missing.read(object)) return false;
    Ref array = numpy_asarray(object, extension);
    if (!array) return false;
    const int ndim = array_ndim(array.get());
    if (ndim < 0) return false;
    const char kind = dtype_kind(array.get());
    if (kind == 0) return false;
    if (ndim == 0) {  // one number (a numpy scalar, a 0-d array): read as the scalar functions read it
        if (!numeric_kind(kind) && kind != 'O') {
            if (is_ndarray(object)) {
                PyErr_Format(PyExc_TypeError, "must be real number or array of real numbers, not array of %s",
                             dtype_name(array.get()).c_str());
            } else if (Ref name = Ref::steal(PyType_GetName(Py_TYPE(object)))) {
                PyErr_Format(PyExc_TypeError, "must be real number or array of real numbers, not %U", name.get());
            }
            return false;
        }
        if (missing.any()) {
            if (missing.source() == MissingElements::Source::pandas) {
                refuse_missing(0);
                return false;
            }
            value_ = std::numeric_limits<double>::quiet_NaN();
            return true;
        }
        Ref item = zero_d_item(array.get());
        return item && !refuse_text(item.get()) && !PyErr_Occurred() && read_float(item.get(), value_);
    }
    if (numeric_kind(kind)) {
        return take_float64(numpy_contiguous_float64(array.get())) && (!missing.any() || mask_out(missing));
    }
    if (kind == 'O') return read_objects(array.get(), missing);
    PyErr_Format(PyExc_TypeError, "must be real number or array of real numbers, not array of %s",
                 dtype_name(array.get()).c_str());
    return false;
}

bool FloatColumn::take_float64(Ref array) {
    if (!array || !buffer_.acquire(array.get(), PyBUF_RECORDS_RO)) return false;
    if (!native_float64(buffer_.view()) || !buffer_.c_contiguous()) {
        buffer_.release();
        PyErr_SetString(PyExc_TypeError, "numpy did not give a contiguous float64 array");
        return false;
    }
    if (buffer_.view().ndim == 0) {
        std::memcpy(&value_, buffer_.data(), sizeof value_);
        buffer_.release();
        return true;
    }
    owner_ = std::move(array);
    scalar_ = false;
    return true;
}

// The masked elements read as NaN, in a copy: the caller's memory is never written.
bool FloatColumn::mask_out(const MissingElements& missing) {
    if (scalar_) {
        value_ = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    if (!flags_fit(missing, buffer_.count())) return false;
    Ref copy = numpy_empty(buffer_.shape());
    HeldBuffer out;
    if (!copy || !out.acquire(copy.get(), PyBUF_WRITABLE | PyBUF_C_CONTIGUOUS)) return false;
    const std::size_t count = buffer_.count();
    auto* value = static_cast<double*>(out.data());
    std::memcpy(value, buffer_.data(), count * sizeof(double));
    for (std::size_t i = missing.first(); i < count; ++i) {
        if (missing[i]) value[i] = std::numeric_limits<double>::quiet_NaN();
    }
    out.release();
    buffer_.release();
    return take_float64(std::move(copy));
}

// Each item of an object array goes through the scalar float conversion, so None and text are
// refused as the scalar functions refuse them (numpy would make None a NaN). A masked item is NaN;
// a pandas missing value is refused.
bool FloatColumn::read_objects(PyObject* array, const MissingElements& missing) {
    Ref items = numpy_contiguous(array);
    HeldBuffer objects;
    if (!items || !objects.acquire(items.get(), PyBUF_RECORDS_RO)) return false;
    Ref converted = numpy_empty(objects.shape());
    HeldBuffer out;
    if (!converted || !out.acquire(converted.get(), PyBUF_WRITABLE | PyBUF_C_CONTIGUOUS)) return false;
    auto* const* item = static_cast<PyObject* const*>(objects.data());
    auto* value = static_cast<double*>(out.data());
    const std::size_t count = objects.count();
    const bool masked = missing.source() == MissingElements::Source::mask;
    if (!flags_fit(missing, count)) return false;
    for (std::size_t i = 0; i < count; ++i) {
        if (!signals_checked(i)) return false;
        if (missing.any() && i >= missing.first() && missing[i]) {
            if (!masked) {
                refuse_missing(i);
                return false;
            }
            value[i] = std::numeric_limits<double>::quiet_NaN();
            continue;
        }
        // Hold the item: its conversion may run code that changes the array.
        Ref held = Ref::borrow(item[i] ? item[i] : Py_None);
        if (!read_float(held.get(), value[i])) {
            mark_element_error(i);
            return false;
        }
    }
    out.release();
    objects.release();
    return take_float64(std::move(converted));
}

}  // namespace korvex::py
