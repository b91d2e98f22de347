#include "calendar/utc_offset_table.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "calendar/zone_table.hpp"

namespace korvex {
namespace {

UtcInstant at_second(std::int64_t unix_seconds) { return *UtcInstant::from_unix(unix_seconds, 0); }

// Every zone and link of the database: around each change the table records or skips, and at
// random seconds of the table's span, the table gives the zone's own offset.
TEST(UtcOffsetTable, GivesTheZonesOffsetAroundEveryChangeOfEveryZone) {
    std::mt19937_64 random(18);
    for (const zone_table::Entry& entry : zone_table::entries()) {
        const std::optional<TimeZone> zone = TimeZone::find(entry.name);
        ASSERT_TRUE(zone.has_value()) << entry.name;
        const UtcOffsetTable table(*zone);
        ASSERT_EQ(table.begin(), jan1_days(UtcOffsetTable::kFirstYear) * kSecondsPerDay) << entry.name;
        ASSERT_EQ(table.end(), jan1_days(UtcOffsetTable::kEndYear) * kSecondsPerDay) << entry.name;
        std::size_t changes = 0;
        std::int64_t t = table.begin() - 1;
        for (auto change = zone->next_change(t, zone->utc_offset_seconds(t)); change && change->at <= table.end();
             change = zone->next_change(t, change->offset)) {
            // The change is where and what the zone's own lookups say.
            ASSERT_EQ(zone->utc_offset_seconds(change->at), change->offset) << entry.name << " at " << change->at;
            ASSERT_EQ(zone->utc_offset_seconds(change->at - 1), zone->utc_offset_seconds(t)) << entry.name;
            ASSERT_GT(change->at, t) << entry.name;
            changes += change->offset != zone->utc_offset_seconds(t) ? 1 : 0;
            t = change->at;
            for (const std::int64_t s : {t - 1, t, t + 1}) {
                ASSERT_EQ(table.utc_offset_seconds(at_second(s)), zone->utc_offset_seconds(s))
                    << entry.name << " at " << s;
            }
        }
        // Only changes of the offset start a new span (the first span is the one in force at begin).
        EXPECT_LE(table.spans(), changes + 1) << entry.name;
        std::uniform_int_distribution<std::int64_t> second(table.begin(), table.end() - 1);
        for (int i = 0; i < 200; ++i) {
            const std::int64_t s = second(random);
            ASSERT_EQ(table.utc_offset_seconds(at_second(s)), zone->utc_offset_seconds(s)) << entry.name << " at " << s;
        }
    }
}

struct Edge {
    const char* zone;
    std::int64_t unix_seconds;
};

class UtcOffsetTableEdges : public testing::TestWithParam<Edge> {};

// Both ends of the table, the seconds next to them, and instants far outside it, which the zone
// answers itself.
TEST_P(UtcOffsetTableEdges, AgreeWithTheZone) {
    const TimeZone zone = *TimeZone::find(GetParam().zone);
    const UtcOffsetTable table(zone);
    const UtcInstant t = at_second(GetParam().unix_seconds);
    EXPECT_EQ(table.utc_offset_seconds(t), zone.utc_offset_seconds(t));
}

constexpr std::int64_t kBegin = jan1_days(UtcOffsetTable::kFirstYear) * kSecondsPerDay;
constexpr std::int64_t kEnd = jan1_days(UtcOffsetTable::kEndYear) * kSecondsPerDay;
constexpr std::int64_t kFirstSecond = jan1_days(kMinYear) * kSecondsPerDay;
constexpr std::int64_t kLastSecond = (jan1_days(kMaxYear + 1)) * kSecondsPerDay - 1;

INSTANTIATE_TEST_SUITE_P(
    Ends, UtcOffsetTableEdges,
    testing::ValuesIn([] {
        std::vector<Edge> edges;
        for (const char* zone : {"US/Eastern", "Europe/London", "Australia/Lord_Howe", "Pacific/Kiritimati",
                                 "America/St_Johns", "Africa/Casablanca", "UTC"}) {
            for (const std::int64_t s : {kFirstSecond, kBegin - 86400 * 400, kBegin - 1, kBegin, kBegin + 1,
                                         kEnd - 1, kEnd, kEnd + 1, kEnd + 86400 * 400, kLastSecond}) {
                edges.push_back({zone, s});
            }
        }
        return edges;
    }()));

}  // namespace
}  // namespace korvex
