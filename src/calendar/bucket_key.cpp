#include "calendar/bucket_key.hpp"

#include <array>
#include <cstdint>
#include <limits>

#include "common/ascii.hpp"

namespace korvex {
namespace {

// UTF-8 encodings of the characters beyond ASCII with the Unicode White_Space property.
constexpr std::array<std::string_view, 19> kWideSpace = {
    "\xC2\x85",                                      // U+0085 next line
    "\xC2\xA0",                                      // U+00A0 no-break space
    "\xE1\x9A\x80",                                  // U+1680 ogham space mark
    "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82",  // U+2000..U+200A
    "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86",
    "\xE2\x80\x87", "\xE2\x80\x88", "\xE2\x80\x89", "\xE2\x80\x8A",
    "\xE2\x80\xA8", "\xE2\x80\xA9",                  // U+2028 line, U+2029 paragraph separator
    "\xE2\x80\xAF",                                  // U+202F narrow no-break space
    "\xE2\x81\x9F",                                  // U+205F medium mathematical space
    "\xE3\x80\x80",                                  // U+3000 ideographic space
};

bool ascii_space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Bytes of the white-space character that `s` starts (or, with `back`, ends) with; 0 if none.
// ASCII bytes decide at once, which is the common case.
std::size_t space_at(std::string_view s, bool back) {
    if (s.empty()) return 0;
    const auto c = static_cast<unsigned char>(back ? s.back() : s.front());
    if (c < 0x80) return ascii_space(c) ? 1 : 0;
    for (const std::string_view w : kWideSpace) {
        if (back ? s.ends_with(w) : s.starts_with(w)) return w.size();
    }
    return 0;
}

std::string_view trim(std::string_view s) {
    while (const std::size_t n = space_at(s, false)) s.remove_prefix(n);
    while (const std::size_t n = space_at(s, true)) s.remove_suffix(n);
    return s;
}

// An unsigned decimal: optional "+", one or more digits, nothing else, at most 2^64 - 1.
std::optional<std::uint64_t> parse_unsigned(std::string_view s) {
    if (s.starts_with('+')) s.remove_prefix(1);
    if (s.empty()) return std::nullopt;
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t value = 0;
    for (const char c : s) {
        if (!is_ascii_digit(c)) return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (kMax - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

}  // namespace

std::optional<unsigned> bucket_index(std::string_view key) {
    std::string_view start = trim(key.substr(0, key.find('-')));
    const std::size_t colon = start.find(':');
    const std::string_view hours_text = start.substr(0, colon);
    std::string_view minutes_text;
    if (colon != std::string_view::npos) {
        minutes_text = start.substr(colon + 1);
        minutes_text = minutes_text.substr(0, minutes_text.find(':'));
    }
    const std::uint64_t hours = parse_unsigned(hours_text).value_or(0);
    const std::uint64_t minutes = parse_unsigned(minutes_text).value_or(0);
    // Compared before multiplying, so that a huge hour count can never wrap into the day.
    constexpr std::uint64_t kMinutesPerDay = 1440;
    if (hours >= kMinutesPerDay / 60 || minutes >= kMinutesPerDay) return std::nullopt;
    const std::uint64_t minute_of_day = hours * 60 + minutes;
    if (minute_of_day >= kMinutesPerDay) return std::nullopt;
    return static_cast<unsigned>(minute_of_day / 15);
}

}  // namespace korvex
