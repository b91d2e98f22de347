// Calendars by underlying, shared by every thread of the process: built from calendar documents by
// the same parser as the embedded one, "BTCUSDT" (the embedded document) known from the start.
// A name, once registered, keeps its calendar for the life of the process.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "calendar/calendar.hpp"
#include "common/result.hpp"

namespace korvex {

// Adds the calendar of `document` under `underlying`. Registering a name again with the same text
// returns the calendar it has; a different text for a known name fails (threads may be reading
// that calendar), as does a document the parser refuses, with the parser's message.
Result<std::shared_ptr<const Calendar>> register_calendar(std::string_view underlying, std::string_view document);

// The calendar of a known name. Read it with bus_ttx_point_uncached: it is shared.
Result<std::shared_ptr<const Calendar>> registered_calendar(std::string_view underlying);

// The document a known name was registered with, byte for byte.
Result<std::string> registered_document(std::string_view underlying);

}  // namespace korvex
