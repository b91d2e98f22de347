#include "calendar/decimal_literal.hpp"

#include <algorithm>

#include "common/ascii.hpp"

namespace korvex {

std::optional<DecimalLiteral> scan_decimal_literal(std::string_view s) {
    DecimalLiteral lit;
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) lit.negative = s[i++] == '-';
    std::size_t end = skip_ascii_digits(s, i);
    lit.integer = s.substr(i, end - i);
    i = end;
    if (i < s.size() && s[i] == '.') {
        end = skip_ascii_digits(s, ++i);
        lit.fraction = s.substr(i, end - i);
        i = end;
    }
    if (lit.integer.empty() && lit.fraction.empty()) return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) lit.negative_exponent = s[i++] == '-';
        end = skip_ascii_digits(s, i);
        lit.exponent = s.substr(i, end - i);
        if (lit.exponent.empty()) return std::nullopt;
        i = end;
    }
    if (i != s.size()) return std::nullopt;
    return lit;
}

std::optional<std::int64_t> leading_exponent(const DecimalLiteral& lit) {
    std::int64_t lead;
    if (const std::size_t first = lit.integer.find_first_not_of('0'); first != std::string_view::npos) {
        lead = static_cast<std::int64_t>(lit.integer.size() - first) - 1;
    } else if (const std::size_t nonzero = lit.fraction.find_first_not_of('0');
               nonzero != std::string_view::npos) {
        lead = -static_cast<std::int64_t>(nonzero) - 1;
    } else {
        return std::nullopt;
    }
    // The literal's own length bounds `lead`; the cap keeps the sum far from overflowing.
    constexpr std::int64_t kCap = std::int64_t{1} << 52;
    std::int64_t exponent = 0;
    for (const char c : lit.exponent) exponent = std::min(kCap, exponent * 10 + (c - '0'));
    return lead + (lit.negative_exponent ? -exponent : exponent);
}

}  // namespace korvex
