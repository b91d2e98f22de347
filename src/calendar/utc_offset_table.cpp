#include "calendar/utc_offset_table.hpp"

#include <limits>

namespace korvex {

UtcOffsetTable::UtcOffsetTable(const TimeZone& zone)
    : begin_(jan1_days(kFirstYear) * kSecondsPerDay), end_(jan1_days(kEndYear) * kSecondsPerDay), zone_(zone) {
    spans_.push_back({begin_, zone.utc_offset_seconds(begin_)});
    for (std::int64_t t = begin_, offset = spans_.back().offset;;) {
        const std::optional<TimeZone::OffsetChange> next = zone.next_change(t, offset);
        if (!next || next->at >= end_) break;
        if (next->at <= t) {
            // No progress: leave the rest of the span to the zone rather than trust the table.
            end_ = t + 1;
            break;
        }
        t = next->at;
        offset = next->offset;
        if (offset != spans_.back().offset) spans_.push_back({t, offset});
    }
    spans_.push_back({std::numeric_limits<std::int64_t>::max(), 0});

    const auto buckets = (static_cast<std::uint64_t>(end_ - begin_ - 1) >> kBucketShift) + 1;
    first_span_.reserve(buckets);
    std::uint32_t k = 0;
    for (std::uint64_t b = 0; b < buckets; ++b) {
        const std::int64_t first = begin_ + static_cast<std::int64_t>(b << kBucketShift);
        while (spans_[k + 1].start <= first) ++k;
        first_span_.push_back(k);
    }
}

}  // namespace korvex
