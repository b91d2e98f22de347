// The calendar document: a JSON text with the day weights, the intraday weights and the zone.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "common/result.hpp"

namespace korvex {

using WeightMap = std::map<std::string, double>;

struct CalendarJson {
    std::map<std::string, WeightMap> time_weightings;  // "TimeWeightings": day -> key -> weight
    WeightMap day_weightings;                          // "DayWeightings": day -> weight
    std::string iana_time_zone;                        // "IanaTimeZone"
};

// Strict RFC 8259 parse of a calendar document: an object with the three keys (others are
// skipped whatever their value), or an array of the three values in the order above. Numbers
// are read as the nearest doubles; a key repeated inside an inner map replaces the earlier
// value. Every error message ends with " at line L column C" (both from 1; the column counts
// bytes and points at the offending byte, or at the last byte of the offending token).
Result<CalendarJson> parse_calendar_json(std::string_view document);

}  // namespace korvex
