#include "calendar/json_number.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <system_error>

namespace korvex {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::size_t digits_from(std::string_view s, std::size_t i) {
    while (i < s.size() && is_digit(s[i])) ++i;
    return i;
}

// Decimal exponent of the leading non-zero digit of a token whose value is not zero.
std::int64_t leading_exponent(std::string_view token) {
    std::size_t i = token.front() == '-' ? 1 : 0;
    const std::size_t int_end = digits_from(token, i);
    std::int64_t lead = 0;
    const std::size_t nonzero = token.find_first_not_of('0', i);
    if (nonzero < int_end) {
        lead = static_cast<std::int64_t>(int_end - nonzero) - 1;
    } else {
        std::size_t j = int_end + 1;  // the fraction: a non-zero value has a non-zero digit there
        while (j < token.size() && token[j] == '0') ++j;
        lead = -static_cast<std::int64_t>(j - int_end);
    }
    const std::size_t e = token.find_first_of("eE");
    if (e == std::string_view::npos) return lead;
    std::size_t k = e + 1;
    const bool negative = token[k] == '-';
    if (token[k] == '+' || token[k] == '-') ++k;
    // Saturate well past any exponent a double can carry; the token's own length bounds `lead`.
    constexpr std::int64_t kCap = std::int64_t{1} << 40;
    std::int64_t exponent = 0;
    for (; k < token.size(); ++k) exponent = std::min(kCap, exponent * 10 + (token[k] - '0'));
    return lead + (negative ? -exponent : exponent);
}

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
    if (i >= s.size() || !is_digit(s[i])) return 0;
    i = s[i] == '0' ? i + 1 : digits_from(s, i);
    if (i + 1 < s.size() && s[i] == '.' && is_digit(s[i + 1])) i = digits_from(s, i + 1);
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        if (j < s.size() && is_digit(s[j])) i = digits_from(s, j);
    }
    return i;
}

std::optional<double> json_number_value(std::string_view token) {
    double value = 0.0;
    const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (ec == std::errc{} && end == token.data() + token.size()) return value;
    if (ec != std::errc::result_out_of_range) return std::nullopt;
    // Out of range either way: a leading digit below 10^0 can only mean underflow.
    if (leading_exponent(token) < 0) return token.front() == '-' ? -0.0 : 0.0;
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
