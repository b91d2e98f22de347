// IANA time zones from the database compiled into the library; no file or environment
// variable is ever consulted.
#pragma once

#include <cctz/time_zone.h>

#include <cstdint>
#include <optional>
#include <string_view>

#include "common/utc_instant.hpp"

namespace korvex {

class TimeZone {
public:
    // The zone of an IANA zone or link name, exactly and case-sensitively as in the compiled
    // table; nothing for any other name ("localtime", "Fixed/UTC+1", "", "us/eastern", ...).
    static std::optional<TimeZone> find(std::string_view name);

    // UTC offset in seconds (standard time plus daylight saving) in force at the instant.
    // A leap-second marker does not move the instant.
    std::int64_t utc_offset_seconds(const UtcInstant& instant) const {
        return utc_offset_seconds(instant.unix_seconds());
    }
    std::int64_t utc_offset_seconds(std::int64_t unix_seconds) const {
        return zone_.lookup(cctz::time_point<cctz::seconds>(cctz::seconds(unix_seconds))).offset;
    }

    struct OffsetChange {
        std::int64_t at;      // whole seconds since the epoch
        std::int64_t offset;  // in force from `at` on
    };
    // The zone's first change of rules after `unix_seconds` (whole seconds since the epoch),
    // given the offset in force there, or nothing when the database records no later change.
    // The offset may stay the same (a change of name or daylight-saving flag alone).
    std::optional<OffsetChange> next_change(std::int64_t unix_seconds, std::int64_t offset) const;

    // The name it was found under (a link keeps its own name).
    std::string_view name() const { return name_; }

private:
    TimeZone(cctz::time_zone zone, std::string_view name) : zone_(zone), name_(name) {}

    cctz::time_zone zone_;
    std::string_view name_;  // points into the compiled-in table, which lives forever
};

// The IANA edition of the compiled-in database, e.g. "2025b".
std::string_view tz_database_version();

}  // namespace korvex
