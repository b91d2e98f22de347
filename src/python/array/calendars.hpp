// One business-time calendar per underlying and process, kept by the core's registry and only read,
// so that threads running without the interpreter lock can share it.
#pragma once

#include <string_view>

#include "calendar/calendar.hpp"

namespace korvex::py {

// The calendar of `underlying`, or null with ValueError (the core's message) when none can be
// built. Call with the interpreter lock held; the calendar lives as long as the process.
const Calendar* shared_calendar(std::string_view underlying);

}  // namespace korvex::py
