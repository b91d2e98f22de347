// Business time: time to expiry measured by day-of-week and fifteen-minute intraday weights read
// in one IANA zone, in business years, each local calendar year counting exactly 1.0.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "calendar/tz_database.hpp"
#include "calendar/utc_offset_table.hpp"
#include "calendar/year_weight_cache.hpp"
#include "calendar/year_weights.hpp"
#include "common/result.hpp"
#include "common/utc_instant.hpp"

namespace korvex {

class Calendar {
public:
    // Entry k: weight accrued from local 00:00 to k x 15 minutes later; entry 0 is 0.0.
    using Cumulative = std::array<double, 97>;

    // Only "BTCUSDT", byte for byte: its calendar is compiled in and parsed anew for each call.
    static Result<Calendar> for_underlying(std::string_view underlying);
    static Result<Calendar> from_json_str(std::string_view document);

    // The local year plus the share of that year's weight accrued by the instant. Fills the
    // year-weight cache, hence not const.
    double bus_ttx_point(const UtcInstant& instant);
    // bus_ttx_point(to) - bus_ttx_point(from), `to` evaluated first.
    double bus_ttx(const UtcInstant& from, const UtcInstant& to);
    // Total weight of a local calendar year, through the cache.
    double year_weight(std::int32_t year);
    // bus_ttx_point without the cache: the year's weight comes from the calendar's tables (the
    // same value the cache would hold), so threads may share one calendar for reading.
    double bus_ttx_point_uncached(const UtcInstant& instant) const;

    // Index: weekday, Monday = 0 .. Sunday = 6. Absent for a weekday the document does not name.
    const std::array<std::optional<Cumulative>, 7>& intraday_cumulative() const {
        return intraday_cumulative_;
    }
    const std::array<double, 7>& day_weights() const { return day_weights_; }
    double week_weight() const { return week_weight_; }
    const YearWeightCache& year_weight_cache() const { return year_weight_cache_; }
    const TimeZone& zone() const { return zone_; }
    const UtcOffsetTable& utc_offsets() const { return utc_offsets_; }

private:
    explicit Calendar(TimeZone zone) : zone_(zone), utc_offsets_(zone) {}

    // The local year, the weight accrued in it by the instant, and the year's total weight.
    YearWeights::DateWeight accrued_in_year(const UtcInstant& instant) const;

    std::array<std::optional<Cumulative>, 7> intraday_cumulative_{};
    std::array<double, 7> day_weights_{};
    double week_weight_ = 0.0;
    YearWeights year_weights_;  // built once the day weights are known; then only read
    YearWeightCache year_weight_cache_;
    TimeZone zone_;
    UtcOffsetTable utc_offsets_;
};

}  // namespace korvex
