#include "common/utc_instant.hpp"

#include <gtest/gtest.h>

namespace korvex {
namespace {

TEST(UtcInstant, CivilDaysRoundTripAcrossLeapYearsAndRangeEnds) {
    for (const std::int64_t day : {days_from_civil(kMinYear, 1, 1), days_from_civil(-1, 2, 29),
                                   days_from_civil(0, 2, 29), std::int64_t{-1}, std::int64_t{0},
                                   days_from_civil(1900, 3, 1), days_from_civil(2000, 2, 29),
                                   days_from_civil(2024, 12, 31), days_from_civil(kMaxYear, 12, 31)}) {
        const CivilDate d = civil_from_days(day);
        EXPECT_EQ(days_from_civil(d.year, d.month, d.day), day);
    }
    EXPECT_EQ(days_from_civil(2025, 1, 1) - days_from_civil(2024, 1, 1), 366);
    EXPECT_EQ(days_from_civil(1901, 1, 1) - days_from_civil(1900, 1, 1), 365);
    EXPECT_EQ(days_from_civil(2001, 1, 1) - days_from_civil(2000, 1, 1), 366);
    EXPECT_EQ((civil_from_days(-1)), (CivilDate{1969, 12, 31}));
}

TEST(UtcInstant, WeekdaysStartOnMonday) {
    EXPECT_EQ(weekday_from_days(0), 3u);                             // 1970-01-01, Thursday
    EXPECT_EQ(weekday_from_days(days_from_civil(2025, 1, 6)), 0u);   // Monday
    EXPECT_EQ(weekday_from_days(days_from_civil(2023, 1, 1)), 6u);   // Sunday
    EXPECT_EQ(weekday_from_days(days_from_civil(1969, 12, 29)), 0u); // Monday before the epoch
}

TEST(UtcInstant, FromUnixChecksRangeAndLeapSecondMarker) {
    const auto before_epoch = UtcInstant::from_unix(-1, 0);
    ASSERT_TRUE(before_epoch);
    EXPECT_EQ(before_epoch->days, -1);
    EXPECT_EQ(before_epoch->seconds_of_day, 86399u);
    EXPECT_TRUE(UtcInstant::from_unix(59, 1'500'000'000));
    EXPECT_FALSE(UtcInstant::from_unix(58, 1'000'000'000));
    EXPECT_FALSE(UtcInstant::from_unix(59, 2'000'000'000));
    const std::int64_t last = (days_from_civil(kMaxYear, 12, 31) + 1) * 86400 - 1;
    EXPECT_TRUE(UtcInstant::from_unix(last, 0));
    EXPECT_FALSE(UtcInstant::from_unix(last + 1, 0));
    const std::int64_t first = days_from_civil(kMinYear, 1, 1) * 86400;
    EXPECT_TRUE(UtcInstant::from_unix(first, 0));
    EXPECT_FALSE(UtcInstant::from_unix(first - 1, 0));
}

TEST(UtcInstant, OffsetGivesLocalDateAndTime) {
    const auto t = *UtcInstant::from_unix(days_from_civil(2025, 1, 1) * 86400 + 3 * 3600, 0);
    const LocalDateTime local = t.plus_offset(-5 * 3600);
    EXPECT_EQ(local.date(), (CivilDate{2024, 12, 31}));
    EXPECT_EQ(local.hour(), 22u);
    EXPECT_EQ(local.weekday(), 1u);  // Tuesday
}

}  // namespace
}  // namespace korvex

namespace korvex {
namespace {

UtcInstant at(double timestamp) { return *UtcInstant::from_timestamp(timestamp); }

TEST(UtcInstantTimestamp, SplitsWholeSecondsAndRoundedNanoseconds) {
    EXPECT_EQ(at(-1.5), (UtcInstant{-1, 86398, 500'000'000}));
    EXPECT_EQ(at(1.9999999999), (UtcInstant{0, 2, 0}));
    EXPECT_EQ(at(59.9999999999), (UtcInstant{0, 60, 0}));  // carried, no leap-second marker
    EXPECT_EQ(at(1704448800.1).nanoseconds, 99'999'905u);
    EXPECT_EQ(at(1704448800.5).nanoseconds, 500'000'000u);
    for (const double bad : {std::nan(""), double(INFINITY), -double(INFINITY), 1e300, -1e300}) {
        EXPECT_FALSE(UtcInstant::from_timestamp(bad)) << bad;
    }
}

TEST(UtcInstantTimestamp, CalendarTimeRoundsToMicrosecondsThenTruncates) {
    const double year = 31'536'000.0;
    EXPECT_EQ(calendar_ttx(at(0.0), at(0.9)), 0.0);
    EXPECT_EQ(calendar_ttx(at(0.0), at(-0.5)), 0.0);
    EXPECT_EQ(calendar_ttx(at(0.0), at(1.9)), 1.0 / year);
    EXPECT_EQ(calendar_ttx(at(0.0), at(-1.9)), -1.0 / year);
    // 2003-12-01T00:00:00.1Z to 2004-02-01T00:00:00.1Z: 62 days, although the doubles carry
    // nanosecond parts on either side of .1.
    const double from = 1070236800.1, to = 1075593600.1;
    EXPECT_EQ(at(from).nanoseconds, 100'000'024u);
    EXPECT_EQ(at(to).nanoseconds, 99'999'905u);
    EXPECT_EQ(calendar_ttx(at(from), at(to)), 62.0 * 86400.0 / year);
    EXPECT_EQ(calendar_ttx(at(to), at(from)), -62.0 * 86400.0 / year);
    EXPECT_EQ(calendar_ttx(at(1704067200.0), at(1735689600.0)), 366.0 / 365.0);
}

}  // namespace
}  // namespace korvex
