// Byte-wise ASCII character tests and lower-casing for the parsers of names, numbers and option
// types: the same answer in every C locale, and bytes beyond ASCII left as they are.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvex {

constexpr bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }

constexpr char ascii_lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string ascii_lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = ascii_lower(c);
    return lower;
}

// Whether `text` lower-cased is `lower_word` (which must be in lower case), without a copy.
constexpr bool equals_ascii_lower(std::string_view text, std::string_view lower_word) {
    if (text.size() != lower_word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (ascii_lower(text[i]) != lower_word[i]) return false;
    }
    return true;
}

// The index of the first byte at or after `i` that is not a digit.
constexpr std::size_t skip_ascii_digits(std::string_view text, std::size_t i) {
    while (i < text.size() && is_ascii_digit(text[i])) ++i;
    return i;
}

}  // namespace korvex
