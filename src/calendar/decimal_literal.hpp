// Decimal number literals split into their digit runs, for the readers of tenors and of JSON
// numbers, which must tell an overflow from an underflow when a literal does not fit a double.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace korvex {

struct DecimalLiteral {
    bool negative = false;
    std::string_view integer;    // digits before the point
    std::string_view fraction;   // digits after the point
    std::string_view exponent;   // digits of the exponent, without its sign
    bool negative_exponent = false;
};

// The whole of `text` as [+-]? (digits [. digits?] | . digits) ([eE] [+-]? digits)?; every JSON
// number token is one. Nothing when `text` is anything else.
std::optional<DecimalLiteral> scan_decimal_literal(std::string_view text);

// The decimal exponent of the leading non-zero digit (3 for 1.5e3, -2 for 0.025), saturated
// far beyond any double's range; nothing when every digit is zero. A literal that does not fit
// a double overflows when this is at least 0, and underflows otherwise.
std::optional<std::int64_t> leading_exponent(const DecimalLiteral& literal);

}  // namespace korvex
