#include "calendar/tz_database.hpp"

#include <cctz/time_zone.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "calendar/zone_table.hpp"

namespace korvex {
namespace {

constexpr std::int64_t kHour = 3600;

UtcInstant at(std::int32_t y, unsigned mo, unsigned d, unsigned h = 0, unsigned mi = 0,
              unsigned s = 0) {
    return *UtcInstant::from_unix(
        days_from_civil(y, mo, d) * kSecondsPerDay + h * 3600 + mi * 60 + s, 0);
}

UtcInstant plus(const UtcInstant& t, std::int64_t seconds) {
    return *UtcInstant::from_unix(t.unix_seconds() + seconds, 0);
}

// Day count of the n-th given weekday (Monday = 0) of a month; n = 5 means the last one.
std::int64_t nth_weekday(std::int32_t year, unsigned month, unsigned weekday, int n) {
    if (n == 5) {
        const std::int64_t next = month == 12 ? days_from_civil(year + 1, 1, 1)
                                              : days_from_civil(year, month + 1, 1);
        const std::int64_t last = next - 1;
        return last - (weekday_from_days(last) + 7 - weekday) % 7;
    }
    const std::int64_t first = days_from_civil(year, month, 1);
    return first + (weekday + 7 - weekday_from_days(first)) % 7 + 7 * (n - 1);
}

TimeZone zone(std::string_view name) {
    const auto z = TimeZone::find(name);
    EXPECT_TRUE(z.has_value()) << name;
    return z.value_or(*TimeZone::find("UTC"));
}

struct ClogCapture {
    std::ostringstream sink;
    std::streambuf* saved = std::clog.rdbuf(sink.rdbuf());
    ~ClogCapture() { std::clog.rdbuf(saved); }
    std::string text() const { return sink.str(); }
};

// Offsets on either side of one change: the second before it and the second it happens.
struct Change {
    const char* zone;
    UtcInstant instant;
    std::int64_t before;
    std::int64_t after;
};

class OffsetChange : public ::testing::TestWithParam<Change> {};

TEST_P(OffsetChange, FlipsExactlyAtTheInstant) {
    const Change& c = GetParam();
    const TimeZone z = zone(c.zone);
    EXPECT_EQ(z.utc_offset_seconds(plus(c.instant, -1)), c.before);
    EXPECT_EQ(z.utc_offset_seconds(c.instant), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Zones, OffsetChange,
    ::testing::Values(
        // US/Eastern 2025: 02:00 EST -> 03:00 EDT, then 02:00 EDT -> 01:00 EST.
        Change{"US/Eastern", at(2025, 3, 9, 7), -5 * kHour, -4 * kHour},
        Change{"US/Eastern", at(2025, 11, 2, 6), -4 * kHour, -5 * kHour},
        // Before 2007 the US changed on the first Sunday of April and the last of October.
        Change{"US/Eastern", at(2006, 4, 2, 7), -5 * kHour, -4 * kHour},
        Change{"US/Eastern", at(2006, 10, 29, 6), -4 * kHour, -5 * kHour},
        // New York left local mean time (-4:56:02) at 17:00 UTC on 1883-11-18.
        Change{"America/New_York", at(1883, 11, 18, 17), -17762, -5 * kHour},
        // Irish winter time is written as a negative saving; the offsets are what count.
        Change{"Europe/Dublin", at(2025, 10, 26, 1), kHour, 0},
        // Lord Howe moves by half an hour.
        Change{"Australia/Lord_Howe", at(2025, 4, 5, 15), 11 * kHour, 10 * kHour + 1800},
        // Zones whose rules need the newer file format (hours beyond 24 or below 0).
        Change{"America/Nuuk", at(2025, 3, 30, 1), -2 * kHour, -kHour},
        Change{"Asia/Jerusalem", at(2025, 3, 28, 0), 2 * kHour, 3 * kHour},
        // Zones whose shipped files end on a change the footer rule does not continue from.
        Change{"Europe/Lisbon", at(2025, 3, 30, 1), 0, kHour},
        Change{"Europe/Vilnius", at(2025, 10, 26, 1), 3 * kHour, 2 * kHour},
        Change{"Asia/Famagusta", at(2025, 3, 30, 1), 2 * kHour, 3 * kHour},
        Change{"Antarctica/Troll", at(2025, 3, 30, 1), 0, 2 * kHour},
        Change{"Pacific/Norfolk", at(2025, 10, 4, 15), 11 * kHour, 12 * kHour},
        Change{"America/Indiana/Petersburg", at(2025, 3, 9, 7), -5 * kHour, -4 * kHour}));

// Offsets that never change, for fixed zones and links to them.
struct Fixed {
    const char* zone;
    std::int64_t offset;
};

class FixedOffset : public ::testing::TestWithParam<Fixed> {};

TEST_P(FixedOffset, HoldsAllYear) {
    const TimeZone z = zone(GetParam().zone);
    for (const UtcInstant& t : {at(1999, 12, 31, 23, 59, 59), at(2025, 1, 1), at(2025, 7, 1, 12),
                                at(2100, 3, 15)}) {
        EXPECT_EQ(z.utc_offset_seconds(t), GetParam().offset) << GetParam().zone;
    }
}

INSTANTIATE_TEST_SUITE_P(Zones, FixedOffset,
                         ::testing::Values(Fixed{"UTC", 0}, Fixed{"Etc/UTC", 0},
                                           Fixed{"Factory", 0},
                                           Fixed{"Etc/GMT+5", -5 * kHour},  // POSIX sign
                                           Fixed{"Asia/Kathmandu", 5 * kHour + 2700}));

class Rejected : public ::testing::TestWithParam<std::string> {};

TEST_P(Rejected, IsNoZone) { EXPECT_FALSE(TimeZone::find(GetParam()).has_value()); }

INSTANTIATE_TEST_SUITE_P(
    Names, Rejected,
    ::testing::Values("localtime", "Fixed/UTC+01:00:00", "libc:localtime", "", "us/eastern",
                      "US/Eastern ", "America/", "/etc/localtime", "../zoneinfo/UTC", "posix/UTC",
                      "zone.tab", "EST5EDT,M3.2.0,M11.1.0", "UTC+1",
                      std::string("US/Eastern\0x", 12)));

TEST(TimeZone, LinkSharesItsTargetsRules) {
    const auto entries = zone_table::entries();
    const auto blob_of = [&](std::string_view name) {
        for (const auto& e : entries) {
            if (e.name == name) return static_cast<int>(e.blob);
        }
        return -1;
    };
    EXPECT_EQ(blob_of("US/Eastern"), blob_of("America/New_York"));
    EXPECT_EQ(blob_of("Asia/Calcutta"), blob_of("Asia/Kolkata"));
    EXPECT_NE(blob_of("US/Eastern"), blob_of("US/Central"));
    // A link is found under its own name.
    EXPECT_EQ(zone("US/Eastern").name(), "US/Eastern");
    EXPECT_EQ(zone("America/New_York").name(), "America/New_York");
}

TEST(TimeZone, EveryTableNameLoadsSilently) {
    // cctz complains on std::clog about files it cannot extend; nothing may be printed.
    ClogCapture complaints;
    const auto entries = zone_table::entries();
    const auto blobs = zone_table::blobs();
    EXPECT_GE(entries.size(), 590u);
    EXPECT_LT(blobs.size(), entries.size());
    std::set<std::uint16_t> used;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto& e = entries[i];
        if (i > 0) {
            EXPECT_LT(entries[i - 1].name, e.name) << "table not strictly sorted";
        }
        ASSERT_LT(e.blob, blobs.size()) << e.name;
        used.insert(e.blob);
        const auto z = TimeZone::find(e.name);
        ASSERT_TRUE(z.has_value()) << e.name;
        EXPECT_EQ(z->name(), e.name);
        // Every zone in use today lies between UTC-12 and UTC+14.
        const std::int64_t offset = z->utc_offset_seconds(at(2025, 6, 1));
        EXPECT_GE(offset, -12 * kHour) << e.name;
        EXPECT_LE(offset, 14 * kHour) << e.name;
    }
    EXPECT_EQ(complaints.text(), "");
    EXPECT_EQ(used.size(), blobs.size()) << "a stored file that no name uses";
    for (const std::string_view blob : blobs) EXPECT_EQ(blob.substr(0, 4), "TZif");
}

// The edition is the one of the tzdata release that pyproject.toml pins (the build refuses any
// other): an IANA name such as "2025b", which cctz also reports for the zones it loads.
TEST(TimeZone, DatabaseNamesItsIanaEdition) {
    const std::string_view edition = tz_database_version();
    ASSERT_EQ(edition.size(), 5u) << edition;
    EXPECT_EQ(edition.find_first_not_of("0123456789"), 4u) << edition;
    EXPECT_GE(edition.substr(0, 4), "2025") << edition;
    EXPECT_TRUE(edition[4] >= 'a' && edition[4] <= 'z') << edition;
    ASSERT_TRUE(TimeZone::find("US/Eastern").has_value());
    cctz::time_zone tz;
    ASSERT_TRUE(cctz::load_time_zone("US/Eastern", &tz));
    EXPECT_EQ(tz.version(), edition);
}

// cctz itself must not fall back to files once our table serves it (the host has its own
// zoneinfo directory, with names the table lacks).
TEST(TimeZone, NoFileFallbackInCctz) {
    ASSERT_TRUE(TimeZone::find("UTC").has_value());
    cctz::time_zone tz;
    EXPECT_FALSE(cctz::load_time_zone("posix/America/New_York", &tz));
    EXPECT_FALSE(cctz::load_time_zone("localtime", &tz));
    EXPECT_TRUE(cctz::load_time_zone("Europe/Paris", &tz));
}

// US rules since 2007: second Sunday of March 02:00 EST, first Sunday of November 02:00 EDT.
TEST(TimeZone, UsEasternFollowsTheRuleOverTheWholeFutureRange) {
    const TimeZone z = zone("US/Eastern");
    std::vector<std::int32_t> years = {2007, 2025, 2038, 2100, 2400, 9999, 10000, kMaxYear - 1};
    for (std::int32_t y = 2500; y < kMaxYear; y += 9973) years.push_back(y);
    for (const std::int32_t y : years) {
        const std::int64_t spring = nth_weekday(y, 3, 6, 2) * kSecondsPerDay + 7 * kHour;
        const std::int64_t autumn = nth_weekday(y, 11, 6, 1) * kSecondsPerDay + 6 * kHour;
        const auto off = [&](std::int64_t s) {
            return z.utc_offset_seconds(*UtcInstant::from_unix(s, 0));
        };
        EXPECT_EQ(off(spring - 1), -5 * kHour) << y;
        EXPECT_EQ(off(spring), -4 * kHour) << y;
        EXPECT_EQ(off(autumn - 1), -4 * kHour) << y;
        EXPECT_EQ(off(autumn), -5 * kHour) << y;
    }
}

// Jerusalem: from the Friday after the fourth Thursday of March 02:00 to the last Sunday of
// October 02:00 local; Nuuk: last Sunday of March to last Sunday of October, at 01:00 UTC.
TEST(TimeZone, NewerRuleFormsHoldInFarYears) {
    const TimeZone jerusalem = zone("Asia/Jerusalem");
    const TimeZone nuuk = zone("America/Nuuk");
    for (const std::int32_t y : {2030, 2100, 5000, 100001}) {
        const auto off = [](const TimeZone& z, std::int64_t s) {
            return z.utc_offset_seconds(*UtcInstant::from_unix(s, 0));
        };
        const std::int64_t j_start = (nth_weekday(y, 3, 3, 4) + 1) * kSecondsPerDay;
        const std::int64_t j_end = nth_weekday(y, 10, 6, 5) * kSecondsPerDay - kHour;
        EXPECT_EQ(off(jerusalem, j_start - 1), 2 * kHour) << y;
        EXPECT_EQ(off(jerusalem, j_start), 3 * kHour) << y;
        EXPECT_EQ(off(jerusalem, j_end - 1), 3 * kHour) << y;
        EXPECT_EQ(off(jerusalem, j_end), 2 * kHour) << y;
        const std::int64_t n_start = nth_weekday(y, 3, 6, 5) * kSecondsPerDay + kHour;
        const std::int64_t n_end = nth_weekday(y, 10, 6, 5) * kSecondsPerDay + kHour;
        EXPECT_EQ(off(nuuk, n_start - 1), -2 * kHour) << y;
        EXPECT_EQ(off(nuuk, n_start), -kHour) << y;
        EXPECT_EQ(off(nuuk, n_end - 1), -kHour) << y;
        EXPECT_EQ(off(nuuk, n_end), -2 * kHour) << y;
    }
}

// Every representable instant has an offset, the range ends included.
TEST(TimeZone, WholeInstantRangeIsSafe) {
    const UtcInstant first = at(kMinYear, 1, 1);
    const UtcInstant last{days_from_civil(kMaxYear, 12, 31), 86399, 1999999999};  // leap marker
    const TimeZone ny = zone("America/New_York");
    EXPECT_EQ(ny.utc_offset_seconds(first), -17762);  // local mean time before 1883
    EXPECT_EQ(ny.utc_offset_seconds(last), -5 * kHour);
    for (const auto& e : zone_table::entries()) {
        const TimeZone z = zone(e.name);
        for (std::int32_t y = kMinYear; y <= kMaxYear; y += 4099) {
            for (const UtcInstant& t : {at(y, 1, 1), at(y, 7, 1, 12)}) {
                const std::int64_t offset = z.utc_offset_seconds(t);
                EXPECT_LE(offset < 0 ? -offset : offset, 16 * kHour) << e.name << " " << y;
            }
        }
        // Far-future rules repeat every 400 Gregorian years (146097 days).
        EXPECT_EQ(z.utc_offset_seconds(last),
                  z.utc_offset_seconds(plus(last, -146097 * std::int64_t{kSecondsPerDay})))
            << e.name;
        EXPECT_LE(std::abs(z.utc_offset_seconds(first)), 16 * kHour) << e.name;
    }
}

}  // namespace
}  // namespace korvex
