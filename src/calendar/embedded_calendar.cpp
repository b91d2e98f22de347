#include "calendar/embedded_calendar.hpp"

namespace korvex {
namespace {

// A raw string literal generated from embedded_calendar.json at build time.
constexpr char kDocument[] =
#include "embedded_calendar_json.inc"
    ;

}  // namespace

std::string_view embedded_calendar_json() { return {kDocument, sizeof kDocument - 1}; }

}  // namespace korvex
