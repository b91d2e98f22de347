#include "calendar/calendar.hpp"

#include <algorithm>
#include <string>

#include "calendar/bucket_key.hpp"
#include "calendar/calendar_json.hpp"
#include "calendar/embedded_calendar.hpp"
#include "common/ascii.hpp"

namespace korvex {
namespace {

constexpr std::array<std::string_view, 7> kWeekdays = {"monday", "tuesday", "wednesday", "thursday",
                                                        "friday", "saturday", "sunday"};

// ASCII lower-casing suffices: no other character lower-cases into a letter of these names.
std::optional<unsigned> weekday_of(std::string_view key) {
    const auto it = std::find_if(kWeekdays.begin(), kWeekdays.end(),
                                 [&](std::string_view day) { return equals_ascii_lower(key, day); });
    if (it == kWeekdays.end()) return std::nullopt;
    return static_cast<unsigned>(it - kWeekdays.begin());
}

// The day's 96 bucket weights: from its intraday object, looked up under the day key exactly as
// written; a day without one accrues evenly.
std::array<double, kBucketsPerDay> bucket_weights(const CalendarJson& json,
                                                  const std::string& day_key) {
    std::array<double, kBucketsPerDay> buckets;
    const auto it = json.time_weightings.find(day_key);
    if (it == json.time_weightings.end()) {
        buckets.fill(1.0);
        return buckets;
    }
    buckets.fill(0.0);
    for (const auto& [key, value] : it->second) {
        if (const auto index = bucket_index(key)) buckets[*index] = value;
    }
    return buckets;
}

Calendar::Cumulative cumulative(const std::array<double, kBucketsPerDay>& buckets, double weight) {
    double total = 0.0;
    for (const double b : buckets) total += b;
    Calendar::Cumulative c{};
    for (std::size_t k = 0; k < kBucketsPerDay; ++k) {
        // A NaN total is not zero: it divides, and the NaN shows.
        const double share = total != 0.0 ? buckets[k] / total * weight : 0.0;
        c[k + 1] = c[k] + share;
    }
    return c;
}

}  // namespace

Result<Calendar> Calendar::for_underlying(std::string_view underlying) {
    if (underlying != "BTCUSDT") {
        return fail("No embedded calendar for underlying: " + std::string(underlying));
    }
    return from_json_str(embedded_calendar_json());
}

Result<Calendar> Calendar::from_json_str(std::string_view document) {
    Result<CalendarJson> json = parse_calendar_json(document);
    if (!json) return std::unexpected(std::move(json.error()));
    const std::optional<TimeZone> zone = TimeZone::find(json->iana_time_zone);
    if (!zone) return fail("Invalid IANA timezone: " + json->iana_time_zone);

    Calendar calendar(*zone);
    // A later key naming the same weekday ("friday" after "Friday") replaces both values.
    for (const auto& [day_key, weight] : json->day_weightings) {
        const std::optional<unsigned> weekday = weekday_of(day_key);
        if (!weekday) continue;
        calendar.day_weights_[*weekday] = weight;
        calendar.intraday_cumulative_[*weekday] =
            cumulative(bucket_weights(*json, day_key), weight);
    }
    const std::array<double, 7>& days = calendar.day_weights_;
    calendar.week_weight_ = days[0];
    for (std::size_t d = 1; d < days.size(); ++d) calendar.week_weight_ += days[d];
    calendar.year_weights_ = YearWeights(days, calendar.week_weight_);
    return calendar;
}

double Calendar::year_weight(std::int32_t year) {
    if (const std::optional<double> cached = year_weight_cache_.find(year)) return *cached;
    const double weight = year_weights_.year_weight(year);
    year_weight_cache_.insert(year, weight);
    return weight;
}

YearWeights::DateWeight Calendar::accrued_in_year(const UtcInstant& instant) const {
    const LocalDateTime local = instant.plus_offset(utc_offsets_.utc_offset_seconds(instant));
    YearWeights::DateWeight date = year_weights_.at(local.days);
    if (const std::optional<Cumulative>& c = intraday_cumulative_[local.weekday()]) {
        // Whole seconds only; within a bucket the weight accrues linearly. seconds_of_day is
        // below 86400, so i is at most 95, and the integer remainder is the exact one fmod gives.
        const std::size_t i = local.seconds_of_day / 900;
        const double f = static_cast<double>(local.seconds_of_day % 900) / 900.0;
        date.accrued = date.accrued + (((*c)[i + 1] - (*c)[i]) * f + (*c)[i]);
    }
    return date;
}

double Calendar::bus_ttx_point(const UtcInstant& instant) {
    const YearWeights::DateWeight date = accrued_in_year(instant);
    return static_cast<double>(date.year) + date.accrued / year_weight(date.year);
}

double Calendar::bus_ttx_point_uncached(const UtcInstant& instant) const {
    const YearWeights::DateWeight date = accrued_in_year(instant);
    return static_cast<double>(date.year) + date.accrued / date.year_weight;
}

double Calendar::bus_ttx(const UtcInstant& from, const UtcInstant& to) {
    const double end = bus_ttx_point(to);
    const double start = bus_ttx_point(from);
    return end - start;
}

}  // namespace korvex
