#include "python/frame/missing.hpp"

#include <cstring>
#include <iterator>

#include "python/frame/cached.hpp"
#include "python/frame/numpy.hpp"

namespace korvex::py {
namespace {

// numpy.ma's MaskedArray, getdata and getmaskarray, looked up on first use (numpy itself does
// not import numpy.ma) and kept for the life of the process.
constinit Cached masked_array_type{"numpy.ma.MaskedArray", &imported};
constinit Cached getdata{"numpy.ma.getdata", &imported};
constinit Cached getmaskarray{"numpy.ma.getmaskarray", &imported};
constinit Cached isna_name{"isna"};

Ref call(PyObject* function, PyObject* object) {
    PyObject* args[] = {object};
    return Ref::steal(PyObject_Vectorcall(function, args, 1, nullptr));
}

}  // namespace

bool MissingElements::read(PyObject* object) {
    source_ = Source::none;
    Ref flags;
    if (is_ndarray_subclass(object)) {
        PyObject* const type = masked_array_type.get();
        PyObject* const data = type ? getdata.get() : nullptr;
        PyObject* const mask = data ? getmaskarray.get() : nullptr;
        if (!mask) return false;
        if (!PyObject_TypeCheck(object, reinterpret_cast<PyTypeObject*>(type))) return true;
        data_ = call(data, object);
        flags = data_ ? call(mask, object) : Ref();
        if (!flags) return false;
        source_ = Source::mask;
    } else {
        if (!has_extension_dtype(object)) return !PyErr_Occurred();
        PyObject* const isna_attribute = isna_name.get();
        if (!isna_attribute) return false;
        Ref isna;
        const int found = optional_attr(object, isna_attribute, isna);
        if (found <= 0) return found == 0;
        Ref answer = Ref::steal(PyObject_CallNoArgs(isna.get()));
        flags = answer ? numpy_asarray(answer.get()) : Ref();
        if (!flags) return false;
        source_ = Source::pandas;
    }
    // One byte per element, 0 or 1, in C order.
    flags_owner_ = numpy_contiguous(flags.get());
    if (!flags_owner_ || !flags_buffer_.acquire(flags_owner_.get(), PyBUF_RECORDS_RO)) return false;
    if (flags_buffer_.view().itemsize != 1 || !flags_buffer_.view().format ||
        std::strchr(flags_buffer_.view().format, '?') == nullptr) {
        PyErr_SetString(PyExc_TypeError, "the mask of missing elements is not an array of bool");
        return false;
    }
    flags_ = static_cast<const std::uint8_t*>(flags_buffer_.data());
    count_ = flags_buffer_.count();
    const void* set = std::memchr(flags_, 1, count_);
    first_ = set ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(set) - flags_) : count_;
    return true;
}

}  // namespace korvex::py
