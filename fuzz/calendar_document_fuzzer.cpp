// Calendar documents: any text gives a calendar or an error; a parse error names its position
// as " at line L column C" inside the text; a calendar answers for any instant, the same twice.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "calendar/calendar.hpp"
#include "fuzz_check.hpp"

namespace {

using korvex::fuzz::check;

bool all_digits(std::string_view s) {
    if (s.empty() || s.size() > 9) return false;
    for (const char c : s) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

std::size_t to_size(std::string_view digits) {
    std::size_t n = 0;
    for (const char c : digits) n = n * 10 + static_cast<std::size_t>(c - '0');
    return n;
}

void check_position(std::string_view document, const std::string& message) {
    constexpr std::string_view kLine = " at line ";
    constexpr std::string_view kColumn = " column ";
    const std::size_t at = message.rfind(kLine);
    check(at != std::string::npos, "parse error without its position", message);
    const std::string_view tail = std::string_view(message).substr(at + kLine.size());
    const std::size_t column_at = tail.find(kColumn);
    check(column_at != std::string_view::npos, "parse error without its column", message);
    const std::string_view line_text = tail.substr(0, column_at);
    const std::string_view column_text = tail.substr(column_at + kColumn.size());
    check(all_digits(line_text) && all_digits(column_text), "malformed position", message);
    check(at > 0, "parse error with nothing before its position", message);

    // The line exists and the column lies on it (one past its last byte at most).
    const std::size_t line = to_size(line_text);
    const std::size_t column = to_size(column_text);
    check(line >= 1 && column >= 1, "position counts from 1", message);
    std::size_t start = 0;
    for (std::size_t l = 1; l < line; ++l) {
        const std::size_t newline = document.find('\n', start);
        check(newline != std::string_view::npos, "line past the end of the document", message);
        start = newline + 1;
    }
    const std::size_t end = std::min(document.find('\n', start), document.size());
    check(column <= end - start + 1, "column past the end of its line", message);
}

// Instants around the turn of a year, a clock change, and the extremes a datetime can reach.
constexpr std::int64_t kInstants[] = {
    0, 1735707600, 1741503599, 1741503600, 1762063200, 1767243599, -62135596800, 253402300799,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view document(reinterpret_cast<const char*>(data), size);
    korvex::Result<korvex::Calendar> calendar = korvex::Calendar::from_json_str(document);
    if (!calendar) {
        const std::string& message = calendar.error().message;
        // The one error found after parsing: the document named a zone that does not exist.
        if (message.starts_with("Invalid IANA timezone: ")) return 0;
        check_position(document, message);
        return 0;
    }
    // A calendar answers for any instant, and its year-weight cache changes no result: the
    // first evaluation (filling the cache) and the second (reading it) agree to the bit.
    for (const std::int64_t seconds : kInstants) {
        const auto instant = korvex::UtcInstant::from_unix(seconds, 0);
        check(instant.has_value(), "fixed instant out of range");
        const double first = calendar->bus_ttx_point(*instant);
        const double again = calendar->bus_ttx_point(*instant);
        check(first == again || (std::isnan(first) && std::isnan(again)), "cached point differs");
    }
    return 0;
}
