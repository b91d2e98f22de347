#include "python/frame/float_column.hpp"

#include <bit>
#include <cstring>
#include <string>
#include <string_view>

#include "python/frame/convert.hpp"
#include "python/frame/element_errors.hpp"
#include "python/frame/errors.hpp"

namespace korvex::py {
namespace {

// float64 in this machine's byte order, as buffer exporters write it.
bool native_float64(const Py_buffer& view) {
    if (view.itemsize != 8 || !view.format) return false;
    const std::string_view format(view.format);
    constexpr bool little = std::endian::native == std::endian::little;
    return format == "d" || format == "@d" || format == "=d" || format == (little ? "<d" : ">d");
}

// Text and bytes are never numbers here, though numpy would read some of them as such.
bool refuse_text(PyObject* object) {
    if (!PyUnicode_Check(object) && !PyBytes_Check(object) && !PyByteArray_Check(object) &&
        !PyComplex_Check(object)) {
        return false;
    }
    Ref name = Ref::steal(PyType_GetName(Py_TYPE(object)));
    if (name) PyErr_Format(PyExc_TypeError, "must be real number or array of real numbers, not %U", name.get());
    return true;
}


}  // namespace

bool FloatColumn::read(PyObject* object) {
    scalar_ = true;
    if (PyFloat_Check(object) || PyLong_Check(object)) return read_float(object, value_);
    if (refuse_text(object)) return false;
    if (PyObject_CheckBuffer(object) && read_buffer(object)) return true;
    if (PyErr_Occurred()) return false;
    // Decimal, Fraction and the like: one number, read as the scalar functions read it.
    if (!array_like(object)) return read_float(object, value_);
    return read_through_numpy(object);
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

bool FloatColumn::read_through_numpy(PyObject* object) {
    Ref array = numpy_asarray(object, has_extension_dtype(object));
    if (!array) return false;
    const int ndim = array_ndim(array.get());
    if (ndim < 0) return false;
    if (ndim == 0) {  // one number (a numpy scalar, a 0-d array): read as the scalar functions read it
        Ref item = zero_d_item(array.get());
        return item && !refuse_text(item.get()) && read_float(item.get(), value_);
    }
    const char kind = dtype_kind(array.get());
    switch (kind) {
    case 0:
        return false;
    case 'b':
    case 'i':
    case 'u':
    case 'f':
        return take_float64(numpy_contiguous_float64(array.get()));
    case 'O':
        return read_objects(array.get());
    default:
        PyErr_Format(PyExc_TypeError, "must be real number or array of real numbers, not array of %s",
                     dtype_name(array.get()).c_str());
        return false;
    }
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

// Each item of an object array goes through the scalar float conversion, so None and text are
// refused as the scalar functions refuse them (numpy would make None a NaN).
bool FloatColumn::read_objects(PyObject* array) {
    Ref items = numpy_contiguous(array);
    HeldBuffer objects;
    if (!items || !objects.acquire(items.get(), PyBUF_RECORDS_RO)) return false;
    Ref converted = numpy_empty(objects.shape());
    HeldBuffer out;
    if (!converted || !out.acquire(converted.get(), PyBUF_WRITABLE | PyBUF_C_CONTIGUOUS)) return false;
    auto* const* item = static_cast<PyObject* const*>(objects.data());
    auto* value = static_cast<double*>(out.data());
    const std::size_t count = objects.count();
    for (std::size_t i = 0; i < count; ++i) {
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
