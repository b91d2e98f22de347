#include "calendar/json_number.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <system_error>

#include "calendar/decimal_literal.hpp"
#include "common/ascii.hpp"

namespace korvex {
namespace {

// Whether the reader may refuse the token: 300 or more digits before any exponent, or a
// positive exponent of 100 or more.
bool large_number(std::string_view token) {
    const std::size_t e = token.find_first_of("eE");
    if (token.substr(0, e).size() >= 300) return true;
    if (e == std::string_view::npos || token[e + 1] == '-') return false;
    std::string_view digits = token.substr(token[e + 1] == '+' ? e + 2 : e + 1);
    digits.remove_prefix(std::min(digits.size(), digits.find_first_not_of('0')));
    return digits.size() >= 3;
}

}  // namespace

std::size_t json_number_length(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && s[i] == '-') ++i;
    if (i >= s.size() || !is_ascii_digit(s[i])) return 0;
    i = s[i] == '0' ? i + 1 : skip_ascii_digits(s, i);
    if (i + 1 < s.size() && s[i] == '.' && is_ascii_digit(s[i + 1])) i = skip_ascii_digits(s, i + 1);
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        if (j < s.size() && is_ascii_digit(s[j])) i = skip_ascii_digits(s, j);
    }
    return i;
}

std::optional<double> json_number_value(std::string_view token) {
    double value = 0.0;
    const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (ec == std::errc{} && end == token.data() + token.size()) return value;
    if (ec != std::errc::result_out_of_range) return std::nullopt;
    // Out of range either way: a leading digit below 10^0 can only mean underflow.
    const std::optional<DecimalLiteral> literal = scan_decimal_literal(token);
    const std::optional<std::int64_t> lead = literal ? leading_exponent(*literal) : std::nullopt;
    if (lead && *lead < 0) return literal->negative ? -0.0 : 0.0;
    return std::nullopt;
}

void rewrite_large_json_numbers(std::string& text, std::size_t from) {
    std::size_t i = from;
    while (i < text.size()) {
        if (text[i] == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\') ++i;
            }
            ++i;
            continue;
        }
        const std::size_t length = json_number_length(std::string_view(text).substr(i));
        if (length == 0) {
            ++i;
            continue;
        }
        const std::string_view token = std::string_view(text).substr(i, length);
        if (large_number(token)) {
            std::array<char, 32> shortest{'0'};
            char* end = shortest.data() + 1;
            if (const std::optional<double> value = json_number_value(token)) {
                end = std::to_chars(shortest.data(), shortest.data() + shortest.size(), *value).ptr;
            }
            const auto size = static_cast<std::size_t>(end - shortest.data());
            if (size <= length) {
                text.replace(i, length, std::string(shortest.data(), size));
                text.insert(i + size, length - size, ' ');
            }
        }
        i += length;
    }
}

}  // namespace korvex
