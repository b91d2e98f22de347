#include "python/frame/text_column.hpp"

#include <bit>

namespace korvex::py {
namespace {

// numpy drops trailing NULs from fixed-width text: so does this.
std::size_t trimmed_units(const char* item, std::size_t units, std::size_t unit_size) {
    while (units > 0) {
        const char* last = item + (units - 1) * unit_size;
        bool zero = true;
        for (std::size_t b = 0; b < unit_size; ++b) zero = zero && last[b] == 0;
        if (!zero) break;
        --units;
    }
    return units;
}

}  // namespace

bool TextColumn::read(PyObject* object) {
    scalar_ = true;
    if (PyUnicode_Check(object)) return read_text(object, text_);
    if (PyBytes_Check(object) || PyByteArray_Check(object) || !array_like(object)) {
        raise_not_instance(object, "str");
        return false;
    }
    // Items of a list or tuple are taken as they are, so that a number among them is refused
    // rather than turned into its digits.
    Ref array = numpy_asarray(object, PyList_Check(object) || PyTuple_Check(object));
    if (!array) return false;
    const int ndim = array_ndim(array.get());
    if (ndim < 0) return false;
    if (ndim == 0) {  // one spelling, for every element
        Ref item = zero_d_item(array.get());
        if (!item || !read_text(item.get(), text_)) return false;
        owner_ = std::move(item);
        return true;
    }
    switch (dtype_kind(array.get())) {
    case 0:
        return false;
    case 'U':
        form_ = Form::ucs4;
        break;
    case 'S':
        form_ = Form::bytes;
        break;
    case 'O':
        form_ = Form::objects;
        break;
    default:
        PyErr_Format(PyExc_TypeError, "must be str or array of str, not array of %s", dtype_name(array.get()).c_str());
        return false;
    }
    owner_ = numpy_contiguous(array.get());
    if (!owner_ || !buffer_.acquire(owner_.get(), PyBUF_RECORDS_RO)) return false;
    scalar_ = false;
    if (form_ != Form::objects) return true;
    auto* const* items = static_cast<PyObject* const*>(buffer_.data());
    for (std::size_t i = 0; i < buffer_.count(); ++i) {
        if (!items[i] || !PyUnicode_Check(items[i])) {
            raise_not_instance(items[i] ? items[i] : Py_None, "str");
            mark_element_error(i);
            return false;
        }
    }
    return true;
}

bool TextColumn::key(std::size_t i, std::string_view& out) const {
    // The items were checked to be str when read; converting another may have changed the
    // array since, so check again.
    PyObject* text = static_cast<PyObject* const*>(buffer_.data())[i];
    if (!text || !PyUnicode_Check(text)) {
        raise_not_instance(text ? text : Py_None, "str");
        mark_element_error(i);
        return false;
    }
    Py_ssize_t length = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(text, &length);
    if (!utf8) return false;
    out = std::string_view(utf8, static_cast<std::size_t>(length));
    return true;
}

bool TextColumn::spelling(std::size_t i, Ref& owner, Text& text) const {
    const std::size_t size = static_cast<std::size_t>(buffer_.view().itemsize);
    const char* item = static_cast<const char*>(buffer_.data()) + i * size;
    switch (form_) {
    case Form::objects:
        owner = Ref::borrow(*reinterpret_cast<PyObject* const*>(item));
        break;
    case Form::ucs4: {
        int order = std::endian::native == std::endian::little ? -1 : 1;
        const std::size_t units = trimmed_units(item, size / 4, 4);
        owner = Ref::steal(PyUnicode_DecodeUTF32(item, static_cast<Py_ssize_t>(units * 4), "strict", &order));
        break;
    }
    case Form::bytes:
        owner = Ref::steal(PyUnicode_DecodeASCII(item, static_cast<Py_ssize_t>(trimmed_units(item, size, 1)),
                                                 "strict"));
        break;
    }
    return owner && read_text(owner.get(), text);
}

}  // namespace korvex::py
