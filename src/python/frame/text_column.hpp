// The text parameter of an array function: one str, or an array-like of str (a list, a numpy
// U, S or object array, a pandas Series). Each distinct spelling is interpreted once.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <new>
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
#include "python/frame/numpy.hpp"

namespace korvex::py {

class TextColumn {
public:
    TextColumn() = default;
    TextColumn(const TextColumn&) = delete;
    TextColumn& operator=(const TextColumn&) = delete;

    // False with TypeError for anything but str items ("element i: " before an item's message).
    bool read(PyObject* object);

    // One spelling for every element: a str, or an array of no dimensions.
    bool scalar() const { return scalar_; }
    Shape shape() const { return scalar_ ? Shape() : buffer_.shape(); }
    std::size_t count() const { return scalar_ ? 1 : buffer_.count(); }

    // Calls store(i, value) for each element i in C order, where value is interpret(spelling)
    // computed once per distinct spelling. A failed interpretation raises ValueError with its
    // message after "element i: " (i the first element spelled so), or passes on the
    // interpreter's exception; false then.
    template <class T, class Interpret, class Store>
    bool resolve(Interpret&& interpret, Store&& store) const;

private:
    enum class Form { ucs4, bytes, objects };
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

// Spellings seen so far, looked up by their bytes without making a string.
struct SpellingHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};
template <class T>
using SeenSpellings = std::unordered_map<std::string, T, SpellingHash, std::equal_to<>>;

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
    try {
        // A chain repeats a few spellings: the first few seen are compared in place, any further
        // ones hashed.
        constexpr std::size_t kFew = 8;
        std::array<std::pair<std::string_view, T>, kFew> few{};
        std::size_t few_count = 0;
        SeenSpellings<T> many;
        const auto* items = static_cast<const char*>(buffer_.data());
        const auto size = static_cast<std::size_t>(buffer_.view().itemsize);
        const std::size_t n = count();
        for (std::size_t i = 0; i < n; ++i) {
            std::string_view k(items + i * size, size);
            if (form_ == Form::objects && !key(i, k)) return false;
            const T* found = nullptr;
            for (std::size_t j = 0; j < few_count && !found; ++j) {
                if (few[j].first == k) found = &few[j].second;
            }
            if (!found && !many.empty()) {
                if (const auto it = many.find(k); it != many.end()) found = &it->second;
            }
            T value{};
            if (found) {
                value = *found;
            } else {
                if (!interpret_at(i, value)) return false;
                if (few_count < kFew) {
                    few[few_count++] = {k, value};
                } else {
                    many.emplace(std::string(k), value);
                }
            }
            store(i, value);
        }
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
        return false;
    }
    return true;
}

}  // namespace korvex::py
