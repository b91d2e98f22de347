#include "python/frame/text_column.hpp"

#include <bit>
#include <limits>
#include <stdexcept>

#include "python/frame/missing.hpp"

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

// Spellings seen so far, looked up by their bytes: the first few compared in place (a chain
// repeats a few), any further ones hashed.
struct SpellingHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

class SpellingTable {
public:
    // The id of spelling `key`, a new one (with element i as its first) when unseen. Throws
    // bad_alloc, or length_error past 2^32 spellings.
    std::uint32_t id(std::string_view key, std::size_t i, std::vector<std::size_t>& first) {
        for (std::size_t j = 0; j < few_count_; ++j) {
            if (few_[j].first == key) return few_[j].second;
        }
        if (!many_.empty()) {
            if (const auto it = many_.find(key); it != many_.end()) return it->second;
        }
        if (first.size() >= std::numeric_limits<std::uint32_t>::max()) throw std::length_error("too many spellings");
        const auto made = static_cast<std::uint32_t>(first.size());
        first.push_back(i);
        if (few_count_ < kFew) {
            few_[few_count_++] = {key, made};
        } else {
            many_.emplace(std::string(key), made);
        }
        return made;
    }

private:
    static constexpr std::size_t kFew = 8;
    std::array<std::pair<std::string_view, std::uint32_t>, kFew> few_{};
    std::size_t few_count_ = 0;
    std::unordered_map<std::string, std::uint32_t, SpellingHash, std::equal_to<>> many_;
};

}  // namespace

bool TextColumn::read(PyObject* object) {
    scalar_ = true;
    if (PyUnicode_Check(object)) return read_text(object, text_);
    if (PyBytes_Check(object) || PyByteArray_Check(object) || !array_like(object)) {
        if (!PyErr_Occurred()) raise_not_instance(object, "str");
        return false;
    }
    MissingElements missing;
    if (!missing.read(object)) return false;
    if (missing.any()) {
        PyErr_SetString(PyExc_TypeError, missing.source() == MissingElements::Source::mask
                                              ? "masked, text cannot be missing"
                                              : "missing value, must be str");
        mark_element_error(missing.first());
        return false;
    }
    if (missing.data()) object = missing.data();  // a masked array with nothing masked: its data
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
    // In this machine's byte order: U items are decoded in it.
    owner_ = numpy_contiguous(array.get());
    if (!owner_ || !buffer_.acquire(owner_.get(), PyBUF_RECORDS_RO)) return false;
    scalar_ = false;
    if (form_ == Form::bytes) return refuse_non_ascii();
    if (form_ != Form::objects) return true;
    auto* const* items = static_cast<PyObject* const*>(buffer_.data());
    for (std::size_t i = 0; i < buffer_.count(); ++i) {
        if (!signals_checked(i)) return false;
        if (!items[i] || !PyUnicode_Check(items[i])) {
            raise_not_instance(items[i] ? items[i] : Py_None, "str");
            mark_element_error(i);
            return false;
        }
    }
    return true;
}

// S items are ASCII text, as bytes would be for the scalar module's str: anything else is refused
// here, while the arguments are converted, not when the spellings are read.
bool TextColumn::refuse_non_ascii() const {
    const auto* bytes = static_cast<const unsigned char*>(buffer_.data());
    const std::size_t size = static_cast<std::size_t>(buffer_.view().itemsize);
    const std::size_t total = buffer_.count() * size;
    for (std::size_t b = 0; b < total; ++b) {
        if (bytes[b] < 0x80) continue;
        PyErr_SetString(PyExc_TypeError, "bytes that are not ASCII text, must be str");
        mark_element_error(b / size);
        return false;
    }
    return true;
}

bool TextColumn::distinct_spellings(Spellings& out) const {
    const std::size_t n = count();
    out.ids.resize(n);
    out.first.clear();
    SpellingTable table;
    std::uint32_t* const ids = out.ids.data();
    if (form_ == Form::objects) {  // the spellings are str objects: read with the lock
        for (std::size_t i = 0; i < n; ++i) {
            std::string_view k;
            if (!signals_checked(i) || !key(i, k)) return false;
            ids[i] = table.id(k, i, out.first);
        }
        return true;
    }
    // Fixed-width items in plain memory: told apart without the lock.
    const auto* items = static_cast<const char*>(buffer_.data());
    const auto size = static_cast<std::size_t>(buffer_.view().itemsize);
    // bad_alloc, or length_error past 2^32 spellings, passes on to the border with the lock back.
    return run_in_chunks(n, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) ids[i] = table.id({items + i * size, size}, i, out.first);
    });
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
        // Lone surrogates are kept, so that a U item fails as the same str would (UnicodeEncodeError).
        owner = Ref::steal(PyUnicode_DecodeUTF32(item, static_cast<Py_ssize_t>(units * 4), "surrogatepass", &order));
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
