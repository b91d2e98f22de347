#include "calendar/tenor.hpp"

#include <charconv>
#include <limits>
#include <optional>
#include <string>
#include <system_error>

#include "calendar/decimal_literal.hpp"
#include "common/ascii.hpp"

namespace korvex {
namespace {

// [+-]? (inf|infinity|nan) in any letter case: the other numbers a tenor may hold.
bool is_special(std::string_view s) {
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) s.remove_prefix(1);
    return equals_ascii_lower(s, "inf") || equals_ascii_lower(s, "infinity") ||
           equals_ascii_lower(s, "nan");
}

Result<double> parse_number(std::string_view text) {
    if (text.empty()) return fail("cannot parse float from empty string");
    const std::optional<DecimalLiteral> lit = scan_decimal_literal(text);
    if (!lit && !is_special(text)) return fail("invalid float literal");
    // from_chars rounds correctly but takes no leading "+".
    const char* first = text.data() + (text.front() == '+' ? 1 : 0);
    const char* last = text.data() + text.size();
    double value = 0.0;
    const std::from_chars_result r =
        std::from_chars(first, last, value, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range && r.ptr == last && lit) {
        const std::optional<std::int64_t> lead = leading_exponent(*lit);
        const double magnitude = lead && *lead >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
        return lit->negative ? -magnitude : magnitude;
    }
    if (r.ec != std::errc{} || r.ptr != last) return fail("invalid float literal");
    return value;
}

}  // namespace

Result<double> tenor_to_ttx(std::string_view tenor) {
    if (tenor.empty()) return fail("Invalid tenor format: ");
    const char unit = tenor.back();
    if (unit != 'd' && unit != 'w' && unit != 'm' && unit != 'y') {
        return fail("Invalid tenor format: " + std::string(tenor));
    }
    const Result<double> number = parse_number(tenor.substr(0, tenor.size() - 1));
    if (!number) return number;
    const double n = *number;
    switch (unit) {
        case 'd': return n / 365.0;
        case 'w': return n * 7.0 / 365.0;   // multiplied first: 2w is exactly 14/365
        case 'm': return n * 30.0 / 365.0;
        default: return n;
    }
}

}  // namespace korvex
