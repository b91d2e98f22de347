// A zone's UTC offsets over a span of years, laid out so that an instant's offset is found by one
// indexed load and a step or two along a short list, not by a call into the zone database.
// Immutable once built, so any number of threads may read it at once.
#pragma once

#include <cstdint>
#include <vector>

#include "calendar/tz_database.hpp"
#include "common/utc_instant.hpp"

namespace korvex {

class UtcOffsetTable {
public:
    // The years whose instants the table answers for, from January 1 of the first (UTC) to
    // January 1 of the end year; the zone answers for every other instant.
    static constexpr std::int32_t kFirstYear = 1900;
    static constexpr std::int32_t kEndYear = 2200;

    explicit UtcOffsetTable(const TimeZone& zone);

    // The same offset as zone.utc_offset_seconds(instant), for every instant.
    std::int64_t utc_offset_seconds(const UtcInstant& instant) const {
        const std::int64_t t = instant.unix_seconds();
        if (t < begin_ || t >= end_) return zone_.utc_offset_seconds(t);
        std::uint32_t k = first_span_[static_cast<std::uint64_t>(t - begin_) >> kBucketShift];
        while (spans_[k + 1].start <= t) ++k;  // the last span's start is past every instant
        return spans_[k].offset;
    }

    // Instants in [begin, end) are answered from the table (whole seconds since the epoch).
    std::int64_t begin() const { return begin_; }
    std::int64_t end() const { return end_; }
    // The number of distinct offsets in force one after another inside the table.
    std::size_t spans() const { return spans_.size() - 1; }

private:
    // Buckets of 2^21 s (about 24 days): a zone changes its offset at most a few times in one.
    static constexpr unsigned kBucketShift = 21;

    struct Span {
        std::int64_t start;   // first second of the span
        std::int64_t offset;  // in force from start until the next span's start
    };

    std::vector<Span> spans_;                // in time order, then an end marker
    std::vector<std::uint32_t> first_span_;  // per bucket: the span in force at its first second
    std::int64_t begin_;
    std::int64_t end_;
    TimeZone zone_;
};

}  // namespace korvex
