// A zone-free UTC instant and the proleptic Gregorian date arithmetic built on it.
// Kept free of project includes so that pricing, models and the calendar can all use it.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>

namespace korvex {

struct CivilDate {
    std::int32_t year;
    std::uint32_t month;  // 1..12
    std::uint32_t day;    // 1..31
    friend bool operator==(const CivilDate&, const CivilDate&) = default;
};

// Days since 1970-01-01 of a proleptic Gregorian date (negative before it).
constexpr std::int64_t days_from_civil(std::int64_t y, std::uint32_t m, std::uint32_t d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (m + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

constexpr CivilDate civil_from_days(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const auto d = static_cast<std::uint32_t>(doy - (153 * mp + 2) / 5 + 1);
    const auto m = static_cast<std::uint32_t>(mp < 10 ? mp + 3 : mp - 9);
    return CivilDate{static_cast<std::int32_t>(yoe + era * 400 + (m <= 2)), m, d};
}

// Weekday of a day count, Monday = 0 .. Sunday = 6 (1970-01-01 was a Thursday).
constexpr unsigned weekday_from_days(std::int64_t z) {
    const std::int64_t r = (z + 3) % 7;
    return static_cast<unsigned>(r < 0 ? r + 7 : r);
}

constexpr std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

inline constexpr std::int32_t kMinYear = -262143;
inline constexpr std::int32_t kMaxYear = 262142;
inline constexpr std::uint32_t kSecondsPerDay = 86400;
inline constexpr std::uint32_t kNanosPerSecond = 1'000'000'000;

// A local (zone-shifted) date and wall-clock time, the result of adding a UTC offset.
struct LocalDateTime {
    std::int64_t days;             // days since 1970-01-01 of the local date
    std::uint32_t seconds_of_day;  // 0..86399
    CivilDate date() const { return civil_from_days(days); }
    unsigned weekday() const { return weekday_from_days(days); }
    unsigned hour() const { return seconds_of_day / 3600; }
    unsigned minute() const { return seconds_of_day / 60 % 60; }
    unsigned second() const { return seconds_of_day % 60; }
};

struct UtcInstant {
    std::int64_t days = 0;              // the UTC date, as days since 1970-01-01
    std::uint32_t seconds_of_day = 0;   // 0..86399
    std::uint32_t nanoseconds = 0;      // 0..1999999999; >= 1e9 marks a leap second (only at :59)

    friend bool operator==(const UtcInstant&, const UtcInstant&) = default;

    CivilDate date() const { return civil_from_days(days); }
    bool is_leap_second() const { return nanoseconds >= kNanosPerSecond; }

    // Whole seconds since the epoch (the leap-second marker is not counted).
    std::int64_t unix_seconds() const {
        return days * kSecondsPerDay + static_cast<std::int64_t>(seconds_of_day);
    }

    // The instant of a whole second count and a nanosecond part, or nothing when the
    // date lies outside the supported years or the nanoseconds are not allowed there.
    static std::optional<UtcInstant> from_unix(std::int64_t whole_seconds, std::uint32_t nanos) {
        const std::int64_t d = floor_div(whole_seconds, kSecondsPerDay);
        if (d < days_from_civil(kMinYear, 1, 1) || d > days_from_civil(kMaxYear, 12, 31)) {
            return std::nullopt;
        }
        const auto sod = static_cast<std::uint32_t>(whole_seconds - d * kSecondsPerDay);
        if (nanos >= 2 * kNanosPerSecond) return std::nullopt;
        if (nanos >= kNanosPerSecond && sod % 60 != 59) return std::nullopt;
        return UtcInstant{d, sod, nanos};
    }

    // The instant of a POSIX timestamp in seconds. The fraction is rounded to the nearest
    // nanosecond (halves away from zero), carrying into the next second, so that a timestamp a
    // hair below a whole second is that second and never a leap-second marker. Non-finite or
    // out-of-range timestamps give nothing.
    static std::optional<UtcInstant> from_timestamp(double timestamp) {
        if (!std::isfinite(timestamp)) return std::nullopt;
        double whole = std::floor(timestamp);
        double nanos = std::round((timestamp - whole) * 1e9);
        if (nanos >= 1e9) {
            whole += 1.0;
            nanos = 0.0;
        }
        if (!(whole >= -9.2e18 && whole <= 9.2e18)) return std::nullopt;
        return from_unix(static_cast<std::int64_t>(whole), static_cast<std::uint32_t>(nanos));
    }

    // The local date and wall-clock time at a UTC offset in seconds.
    LocalDateTime plus_offset(std::int64_t offset_seconds) const {
        const std::int64_t local = unix_seconds() + offset_seconds;
        const std::int64_t d = floor_div(local, kSecondsPerDay);
        return LocalDateTime{d, static_cast<std::uint32_t>(local - d * kSecondsPerDay)};
    }
};

// Signed difference to - from, in nanoseconds (fits easily: the supported span is
// under 2^63 ns only for about 292 years, so it is kept as seconds plus nanoseconds).
struct InstantDifference {
    std::int64_t seconds;
    std::int64_t nanoseconds;  // same sign convention: total = seconds * 1e9 + nanoseconds
};

inline InstantDifference difference(const UtcInstant& from, const UtcInstant& to) {
    return InstantDifference{to.unix_seconds() - from.unix_seconds(),
                             static_cast<std::int64_t>(to.nanoseconds) -
                                 static_cast<std::int64_t>(from.nanoseconds)};
}

// Calendar time from `from` to `to` in 365-day years. The nanosecond difference is first rounded
// to the microsecond (halves away from zero): timestamps arrive as doubles, and two datetimes with
// equal microseconds may land on either side of a whole second. Then whole seconds, truncated.
inline double calendar_ttx(const UtcInstant& from, const UtcInstant& to) {
    const InstantDifference diff = difference(from, to);
    const __int128 nanos = static_cast<__int128>(diff.seconds) * kNanosPerSecond + diff.nanoseconds;
    const __int128 micros = nanos >= 0 ? (nanos + 500) / 1000 : -((-nanos + 500) / 1000);
    const auto seconds = static_cast<std::int64_t>(micros / 1'000'000);
    return static_cast<double>(seconds) / 31'536'000.0;
}

constexpr std::int64_t jan1_days(std::int32_t year) { return days_from_civil(year, 1, 1); }

}  // namespace korvex
