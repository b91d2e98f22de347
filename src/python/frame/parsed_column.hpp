// A text parameter read as values: one str, or an array-like of str (text_column.hpp), each
// distinct spelling interpreted once by `Parse` (text -> Result or PyResult of T) when prepared.
#pragma once

#include <cstddef>
#include <memory>

#include "python/frame/column.hpp"
#include "python/frame/text_column.hpp"

namespace korvex::py {

template <class T, auto Parse>
class ParsedColumn {
public:
    bool read(PyObject* object) { return text_.read(object); }
    bool scalar() const { return text_.scalar(); }
    Shape shape() const { return text_.shape(); }

    // Interprets the spellings: ValueError with the parser's message, "element i: " before it for
    // the first element spelled wrongly; the parser's own exception passes on.
    bool prepare(std::size_t count) {
        if (text_.scalar()) return text_.resolve<T>(Parse, [this](std::size_t, T value) { single_ = value; });
        each_ = std::make_unique_for_overwrite<T[]>(count);
        T* const each = each_.get();
        return text_.resolve<T>(Parse, [each](std::size_t i, T value) { each[i] = value; });
    }

    struct Elements {
        const T* data;
        std::size_t step;  // 0 for one value for all
        T operator[](std::size_t i) const noexcept { return data[i * step]; }
    };
    Elements elements() const { return each_ ? Elements{each_.get(), 1} : Elements{&single_, 0}; }

private:
    TextColumn text_;
    T single_{};
    std::unique_ptr<T[]> each_;
};

}  // namespace korvex::py
