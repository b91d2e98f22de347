// The text parameter of an array function: one str, or an array-like of str (a list, a numpy
// U, S or object array, a pandas Series). Each distinct spelling is interpreted once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <functional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/result.hpp"
#include "python/frame/buffer.hpp"
#include "python/frame/convert.hpp"
#include "python/frame/element_errors.hpp"
#include "python/frame/errors.hpp"
#include "python/frame/interrupts.hpp"
#include "python/frame/numpy.hpp"

namespace korvex::py {

class TextColumn {
public:
    TextColumn() = default;
    TextColumn(const TextColumn&) = delete;
    TextColumn& operator=(const TextColumn&) = delete;

    // False with TypeError for anything but str items ("element i: " before an item's message),
    // for a masked element of a numpy masked array or a missing value of a pandas column, and for
    // bytes items that are not ASCII.
    bool read(PyObject* object);

    // One spelling for every element: a str, or an array of no dimensions.
    bool scalar() const { return scalar_; }
    Shape shape() const { return scalar_ ? Shape() : buffer_.shape(); }
    std::size_t count() const { return scalar_ ? 1 : buffer_.count(); }

    // Calls store(i, value) for each element i, where value is interpret(spelling) computed once
    // per distinct spelling. A failed interpretation raises ValueError with its message after
    // "element i: " (i the first element spelled so), or passes on the interpreter's exception;
    // false then. The spellings of a numpy U or S array are told apart, and the values stored,
    // without the interpreter lock (`store` must neither throw nor touch the interpreter);
    // Ctrl-C stops it with KeyboardInterrupt.
    template <class T, class Interpret, class Store>
    bool resolve(Interpret&& interpret, Store&& store) const;

private:
    enum class Form { ucs4, bytes, objects };
    // Each element's spelling as an index into the distinct spellings, and the first element
    // spelled so for each.
    struct Spellings {
        std::vector<std::uint32_t> ids;
        std::vector<std::size_t> first;
    };
    static constexpr std::size_t kStoreChunk = 4096;
    bool distinct_spellings(Spellings& out) const;
    bool refuse_non_ascii() const;
    // The spelling of element i as a str (made only for a new spelling).
    bool spelling(std::size_t i, Ref& owner, Text& text) const;
    // The bytes that identify element i's spelling, for an object array (the others' are their
    // items); false with an exception set.
    bool key(std::size_t i, std::string_view& out) const;

    bool scalar_ = true;
    Text text_;
    Form form_ = Form::objects;
    Ref owner_;
    HeldBuffer buffer_;
};

struct TextArray {
    using value_type = TextColumn;
    static bool read(PyObject* o, value_type& out) { return out.read(o); }
};

// The core error of a failed interpretation; null when the interpreter's exception is set.
inline const Error* core_error(const Error& error) { return &error; }
inline const Error* core_error(const Failure& failure) { return std::get_if<Error>(&failure); }

template <class T, class Interpret, class Store>
bool TextColumn::resolve(Interpret&& interpret, Store&& store) const {
    const auto interpret_at = [&](std::size_t i, T& value) {
        Ref owner;
        Text text;
        if (scalar_) {
            text = text_;
        } else if (!spelling(i, owner, text)) {
            return false;
        }
        const auto result = interpret(text);  // a Result, or a PyResult for parsers that call Python
        if (result) {
            value = *result;
            return true;
        }
        if (const Error* error = core_error(result.error())) {
            raise(PyExc_ValueError, scalar() ? error->message : element_message(i, error->message));
        }
        return false;
    };
    if (scalar()) {
        T value{};
        if (!interpret_at(0, value)) return false;
        store(0, value);
        return true;
    }
    Spellings spellings;
    if (!distinct_spellings(spellings)) return false;
    // In the order first seen, so that a failure names the first element spelled wrongly.
    std::vector<T> values(spellings.first.size());
    for (std::size_t s = 0; s < values.size(); ++s) {
        if (!signals_checked(s) || !interpret_at(spellings.first[s], values[s])) return false;
    }
    const std::uint32_t* const ids = spellings.ids.data();
    const T* const by_id = values.data();
    return run_in_chunks(count(), [&](std::size_t begin, std::size_t end) noexcept {
        for (std::size_t i = begin; i < end; ++i) store(i, by_id[ids[i]]);
    }, kStoreChunk);
}

}  // namespace korvex::py
