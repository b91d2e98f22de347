// Which elements of an array argument are missing: the masked elements of a numpy masked array,
// or the missing values (isna()) of a pandas column with an extension dtype (nullable, Categorical,
// Arrow-backed, str). numpy's own conversion would drop a mask and read the data under it, and
// would turn pandas' missing values into NaN; each column kind decides instead what a missing
// element means for it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "python/frame/buffer.hpp"
#include "python/frame/handle.hpp"

namespace korvex::py {

class MissingElements {
public:
    enum class Source { none, mask, pandas };

    // False with an exception set (one the mask or isna() raised).
    bool read(PyObject* object);

    Source source() const { return source_; }
    // A masked array's data (the array under the mask); null otherwise.
    PyObject* data() const { return data_.get(); }
    bool any() const { return first_ < count_; }
    // The flat index of the first missing element; count when none is.
    std::size_t first() const { return first_; }
    // Elements the flags cover: the column's own count, or the flags do not describe it.
    std::size_t count() const { return count_; }
    // Element i (C order) is missing; only when any().
    bool operator[](std::size_t i) const { return flags_[i] != 0; }

private:
    Source source_ = Source::none;
    Ref data_;
    Ref flags_owner_;
    HeldBuffer flags_buffer_;
    const std::uint8_t* flags_ = nullptr;
    std::size_t count_ = 0;
    std::size_t first_ = 0;
};

}  // namespace korvex::py
