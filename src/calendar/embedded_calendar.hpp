// The calendar document compiled into the library: the one for the underlying "BTCUSDT".
#pragma once

#include <string_view>

namespace korvex {

// The text of src/calendar/embedded_calendar.json byte for byte (written by
// tools/gen_calendar_weights.py, embedded at build time).
std::string_view embedded_calendar_json();

}  // namespace korvex
