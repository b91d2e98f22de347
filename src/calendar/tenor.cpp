#include "calendar/tenor.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <system_error>

namespace korvex {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool equals_ignoring_case(std::string_view text, std::string_view lower_word) {
    if (text.size() != lower_word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != lower_word[i]) return false;
    }
    return true;
}

std::size_t skip_digits(std::string_view s, std::size_t i) {
    while (i < s.size() && is_digit(s[i])) ++i;
    return i;
}

// The split-up parts of a literal that passed the grammar.
struct Literal {
    bool negative = false;
    std::string_view integer;    // digits before the point
    std::string_view fraction;   // digits after the point
    std::string_view exponent;   // digits of the exponent, without its sign
    bool negative_exponent = false;
};

// [+-]? (digits [. digits?] | . digits) ([eE] [+-]? digits)?  or  [+-]? (inf|infinity|nan)
std::optional<Literal> scan(std::string_view s) {
    Literal lit;
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) lit.negative = s[i++] == '-';
    const std::string_view body = s.substr(i);
    if (equals_ignoring_case(body, "inf") || equals_ignoring_case(body, "infinity") ||
        equals_ignoring_case(body, "nan")) {
        return lit;
    }
    std::size_t end = skip_digits(s, i);
    lit.integer = s.substr(i, end - i);
    i = end;
    if (i < s.size() && s[i] == '.') {
        end = skip_digits(s, ++i);
        lit.fraction = s.substr(i, end - i);
        i = end;
    }
    if (lit.integer.empty() && lit.fraction.empty()) return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) lit.negative_exponent = s[i++] == '-';
        end = skip_digits(s, i);
        lit.exponent = s.substr(i, end - i);
        if (lit.exponent.empty()) return std::nullopt;
        i = end;
    }
    if (i != s.size()) return std::nullopt;
    return lit;
}

// Whether a literal that does not fit a double is too large (rather than too small): the
// decimal exponent of its leading digit is then at least 308, and otherwise at most -324.
bool overflows(const Literal& lit) {
    constexpr std::int64_t kCap = std::int64_t{1} << 52;  // far beyond any literal's length
    std::int64_t exponent = 0;
    for (const char c : lit.exponent) {
        exponent = std::min(kCap, exponent * 10 + (c - '0'));
    }
    if (lit.negative_exponent) exponent = -exponent;
    const std::size_t first = lit.integer.find_first_not_of('0');
    std::int64_t lead;
    if (first != std::string_view::npos) {
        lead = static_cast<std::int64_t>(lit.integer.size() - first) - 1;
    } else {
        const std::size_t nonzero = lit.fraction.find_first_not_of('0');
        if (nonzero == std::string_view::npos) return false;  // zero never leaves the range
        lead = -static_cast<std::int64_t>(nonzero) - 1;
    }
    return lead + exponent >= 0;
}

Result<double> parse_number(std::string_view text) {
    if (text.empty()) return fail("cannot parse float from empty string");
    const std::optional<Literal> lit = scan(text);
    if (!lit) return fail("invalid float literal");
    // from_chars rounds correctly but takes no leading "+".
    const char* first = text.data() + (text.front() == '+' ? 1 : 0);
    const char* last = text.data() + text.size();
    double value = 0.0;
    const std::from_chars_result r =
        std::from_chars(first, last, value, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range && r.ptr == last) {
        const double magnitude = overflows(*lit) ? std::numeric_limits<double>::infinity() : 0.0;
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
