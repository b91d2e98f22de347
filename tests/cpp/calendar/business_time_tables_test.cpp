// The calendar answers from its own tables (UTC offsets, year weights); these tests hold it to the
// points computed step by step through the zone database, bit for bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "calendar/calendar.hpp"

namespace korvex {
namespace {

Calendar embedded() {
    Result<Calendar> c = Calendar::for_underlying("BTCUSDT");
    EXPECT_TRUE(c.has_value()) << c.error().message;
    return std::move(c.value());
}

// Weight of `days` whole days from January 1 of a year whose January 1 falls on `weekday`.
double accrued_days(const Calendar& c, std::int64_t days, unsigned weekday) {
    double accrued = static_cast<double>(days / 7) * c.week_weight();
    for (std::int64_t k = 0; k < days % 7; ++k) accrued += c.day_weights()[(weekday + k) % 7];
    return accrued;
}

double reference_year_weight(const Calendar& c, std::int32_t year) {
    const std::int64_t jan1 = jan1_days(year);
    return accrued_days(c, jan1_days(year + 1) - jan1, weekday_from_days(jan1));
}

// The point step by step: the zone database's offset, the year's weight summed afresh, and the
// floating-point remainder within the fifteen-minute bucket.
double reference_point(const Calendar& c, const UtcInstant& instant) {
    const LocalDateTime local = instant.plus_offset(c.zone().utc_offset_seconds(instant));
    const std::int32_t year = local.date().year;
    const std::int64_t jan1 = jan1_days(year);
    double accrued = accrued_days(c, local.days - jan1, weekday_from_days(jan1));
    if (const std::optional<Calendar::Cumulative>& cumulative = c.intraday_cumulative()[local.weekday()]) {
        const auto& cum = *cumulative;
        const double s = static_cast<double>(local.seconds_of_day);
        const std::size_t i = std::min<std::size_t>(local.seconds_of_day / 900, 95);
        const double f = std::fmod(s, 900.0) / 900.0;
        accrued = accrued + ((cum[i + 1] - cum[i]) * f + cum[i]);
    }
    return static_cast<double>(year) + accrued / reference_year_weight(c, year);
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// 10^6 random instants across 1990 to 2100, to the nanosecond: the shared (uncached) and the
// cached point both equal the reference bit for bit.
TEST(BusinessTimeTables, MillionRandomInstantsMatchTheZoneDatabaseBitForBit) {
    const Calendar shared = embedded();
    Calendar cached = embedded();
    std::mt19937_64 random(20251018);
    std::uniform_int_distribution<std::int64_t> second(jan1_days(1990) * kSecondsPerDay,
                                                       jan1_days(2101) * kSecondsPerDay - 1);
    std::uniform_int_distribution<std::uint32_t> nanos(0, kNanosPerSecond - 1);
    int mismatches = 0;
    for (int n = 0; n < 1'000'000; ++n) {
        const UtcInstant t = *UtcInstant::from_unix(second(random), nanos(random));
        const double expected = reference_point(shared, t);
        const double uncached = shared.bus_ttx_point_uncached(t);
        const double with_cache = cached.bus_ttx_point(t);
        if (!same_bits(uncached, expected) || !same_bits(with_cache, expected)) {
            ADD_FAILURE() << t.unix_seconds() << ": " << uncached << ", " << with_cache << " against " << expected;
            if (++mismatches == 10) return;
        }
    }
}

// Every second of the hours around 2025's two changes of offset, and the edges of the offset
// table's span, where the lookup leaves the table for the zone.
TEST(BusinessTimeTables, AroundChangesOfOffsetAndTheTablesEdgesBitForBit) {
    const Calendar c = embedded();
    std::vector<std::int64_t> starts = {days_from_civil(2025, 3, 9) * kSecondsPerDay + 5 * 3600,
                                        days_from_civil(2025, 11, 2) * kSecondsPerDay + 4 * 3600,
                                        c.utc_offsets().begin() - 3600, c.utc_offsets().end() - 3600};
    for (const std::int64_t start : starts) {
        for (std::int64_t s = start; s < start + 3 * 3600; ++s) {
            const UtcInstant t = *UtcInstant::from_unix(s, 0);
            ASSERT_TRUE(same_bits(c.bus_ttx_point_uncached(t), reference_point(c, t))) << s;
        }
    }
}

// The year weights come from a table by length and weekday of January 1; they are the weights
// summed for each year, over the Gregorian cycle's leap-year rules and before year 0.
TEST(BusinessTimeTables, YearWeightsByShapeAreTheSummedOnes) {
    Calendar c = embedded();
    for (std::int32_t year = -1200; year <= 2800; ++year) {
        ASSERT_TRUE(same_bits(c.year_weight(year), reference_year_weight(c, year))) << year;
    }
    for (const std::int32_t year : {kMinYear, kMinYear + 1, kMaxYear - 1, kMaxYear}) {
        EXPECT_TRUE(same_bits(c.year_weight(year), reference_year_weight(c, year))) << year;
    }
}

// A document with uneven weights on every weekday and days left without intraday weights: every
// weekday of January 1 and both year lengths must map to the weight summed for them.
TEST(BusinessTimeTables, AnyDocumentsYearWeightsAndPointsMatch) {
    const std::string document = R"({"IanaTimeZone": "Australia/Lord_Howe",
        "DayWeightings": {"Monday": 0.1, "Tuesday": 0.7, "wednesday": 1.3, "Thursday": 0.3,
                          "Friday": 2.9, "Saturday": 0.11},
        "TimeWeightings": {"Monday": {"00:00 - 00:15": 3.0, "10:30 - 10:45": 0.25}}})";
    Result<Calendar> parsed = Calendar::from_json_str(document);
    ASSERT_TRUE(parsed.has_value()) << parsed.error().message;
    Calendar& c = *parsed;
    for (std::int32_t year = 1995; year <= 2030; ++year) {
        ASSERT_TRUE(same_bits(c.year_weight(year), reference_year_weight(c, year))) << year;
    }
    std::mt19937_64 random(7);
    std::uniform_int_distribution<std::int64_t> second(jan1_days(1890) * kSecondsPerDay,
                                                       jan1_days(2210) * kSecondsPerDay);
    for (int n = 0; n < 20'000; ++n) {
        const UtcInstant t = *UtcInstant::from_unix(second(random), 0);
        ASSERT_TRUE(same_bits(c.bus_ttx_point_uncached(t), reference_point(c, t))) << t.unix_seconds();
    }
}

}  // namespace
}  // namespace korvex
