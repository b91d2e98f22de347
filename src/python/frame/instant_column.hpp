// The point-in-time parameter of the array time functions: one point in time (anything with
// timestamp(), read as the scalar module reads it), an array-like of them, numpy datetime64
// values of any unit (read exactly, as UTC), or a tz-aware pandas column (through its UTC view).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/utc_instant.hpp"
#include "python/frame/buffer.hpp"
#include "python/frame/column.hpp"
#include "python/frame/handle.hpp"
#include "python/frame/missing.hpp"
#include "python/frame/numpy.hpp"

namespace korvex::py {

// A datetime64 unit: a base unit times a count ("10ms" is {ms, 10}).
struct Datetime64Unit {
    enum class Base { Y, M, W, D, h, m, s, ms, us, ns, ps, fs, as } base = Base::s;
    std::int64_t count = 1;
};

enum class InstantState { present, missing, invalid };

// One element of an instant column: the instant when present.
struct InstantElement {
    InstantState state;
    UtcInstant instant;
};

// The instant `value` units after 1970-01-01T00:00Z; missing for NaT, invalid when out of range.
InstantState datetime64_instant(std::int64_t value, Datetime64Unit unit, UtcInstant& out);

class InstantColumn {
public:
    InstantColumn() = default;
    InstantColumn(const InstantColumn&) = delete;
    InstantColumn& operator=(const InstantColumn&) = delete;

    // False with an exception set: timestamp()'s own exceptions pass through (an array element's
    // with the note "element i"), TypeError for arrays of anything but points in time. Masked
    // elements and a pandas column's missing values read as NaT.
    bool read(PyObject* object);

    bool scalar() const { return form_ == Form::single; }
    Shape shape() const { return scalar() ? Shape() : buffer_.shape(); }
    // The elements need no preparation: datetime64 values are read as the loop reaches them.
    bool prepare(std::size_t) { return true; }

    struct Elements {
        const UtcInstant* instants;        // one per element, or the single one (step 0)
        std::size_t step;
        InstantState state;                // of those: present, or missing for one NaT
        const std::int64_t* counts;        // datetime64 values, when not null
        Datetime64Unit unit;
        const std::uint8_t* missing;       // of instants, one flag per element, when not null
        InstantElement operator[](std::size_t i) const noexcept {
            InstantElement element{InstantState::present, {}};
            element.state = (*this)(i, element.instant);
            return element;
        }
        InstantState operator()(std::size_t i, UtcInstant& out) const noexcept {
            if (counts) return datetime64_instant(counts[i], unit, out);
            if (missing && missing[i]) return InstantState::missing;
            out = instants[i * step];
            return state;
        }
    };
    Elements elements() const;

private:
    bool read_value(PyObject* object, bool unwrapped);
    bool read_array(PyObject* array, const MissingElements& missing, bool unwrapped);
    bool read_single_datetime64(PyObject* item);
    bool read_objects(PyObject* array, const MissingElements& missing);
    bool missing_to_nat(const MissingElements& missing);

    enum class Form { single, datetime64, converted };
    Form form_ = Form::single;
    UtcInstant single_;
    InstantState single_state_ = InstantState::present;
    Datetime64Unit unit_;
    std::unique_ptr<UtcInstant[]> converted_;
    std::unique_ptr<std::uint8_t[]> missing_;       // of converted_, when any is missing
    std::unique_ptr<std::int64_t[]> own_counts_;    // datetime64 values with NaT where masked
    Ref owner_;
    HeldBuffer buffer_;
};

static_assert(Column<InstantColumn>);

struct InstantArray : ColumnKind<InstantColumn> {};

}  // namespace korvex::py
