#include "calendar/calendar.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "calendar/calendar_json.hpp"
#include "calendar/embedded_calendar.hpp"

namespace korvex {
namespace {

using namespace std::string_literals;

UtcInstant utc(int y, unsigned mo, unsigned d, unsigned h = 0, unsigned mi = 0, unsigned s = 0) {
    return UtcInstant{days_from_civil(y, mo, d), h * 3600 + mi * 60 + s, 0};
}

Calendar embedded() {
    Result<Calendar> c = Calendar::for_underlying("BTCUSDT");
    EXPECT_TRUE(c.has_value()) << c.error().message;
    return std::move(c.value());
}

// One day's intraday weights from the embedded document, in bucket order.
std::vector<double> weights(const std::string& day) {
    const CalendarJson json = *parse_calendar_json(embedded_calendar_json());
    std::vector<double> out;
    // The keys "HH:MM - HH:MM" sort in time order.
    for (const auto& [key, w] : json.time_weightings.at(day)) out.push_back(w);
    return out;
}

double sum(const std::vector<double>& w, std::size_t from = 0, std::size_t to = 96) {
    double s = 0.0;
    for (std::size_t i = from; i < to; ++i) s += w[i];
    return s;
}

TEST(EmbeddedBusinessTime, TablesOfTheDocument) {
    const Calendar c = embedded();
    EXPECT_EQ(c.zone().name(), "US/Eastern");
    EXPECT_EQ(c.day_weights(), (std::array<double, 7>{1, 1, 1, 1, 0.9, 0.27, 0.53}));
    EXPECT_NEAR(c.week_weight(), 5.7, 1e-15);
    for (int d = 0; d < 7; ++d) {
        ASSERT_TRUE(c.intraday_cumulative()[d].has_value()) << d;
        EXPECT_EQ((*c.intraday_cumulative()[d])[0], 0.0);
        EXPECT_NEAR((*c.intraday_cumulative()[d])[96], c.day_weights()[d], 1e-14) << d;
    }
    EXPECT_EQ(c.year_weight_cache().size(), 0u);
}

TEST(EmbeddedBusinessTime, YearStartsAndWeeks) {
    Calendar c = embedded();
    EXPECT_EQ(c.bus_ttx_point(utc(2025, 1, 1, 5)), 2025.0);  // local midnight
    // Wednesday to Sunday have accrued by local midnight of Monday January 6.
    EXPECT_NEAR(c.bus_ttx_point(utc(2025, 1, 6, 5)), 2025 + 3.7 / 297.4, 1e-12);
    EXPECT_NEAR(c.bus_ttx(utc(2025, 1, 6, 5), utc(2025, 1, 13, 5)), 5.7 / 297.4, 1e-12);
    EXPECT_NEAR(c.bus_ttx(utc(2025, 1, 6, 5), utc(2025, 1, 13, 5)), 0.0191661, 5e-8);
    // A whole local year is exactly 1.
    EXPECT_EQ(c.bus_ttx(utc(2025, 1, 1, 5), utc(2026, 1, 1, 5)), 1.0);
    // One second before local midnight still belongs to the old year.
    const double eve = c.bus_ttx_point(utc(2025, 1, 1, 4, 59, 59));
    EXPECT_LT(eve, 2025.0);
    EXPECT_GT(eve, 2025.0 - 1e-6);
}

TEST(EmbeddedBusinessTime, TheOpeningBucketAccruesLinearly) {
    Calendar c = embedded();
    const double bucket = 62.52174476139236 / (10080 / 5.7) / 297.4;
    EXPECT_NEAR(c.bus_ttx(utc(2025, 1, 6, 14, 30), utc(2025, 1, 6, 14, 45)), bucket, 1e-12);
    EXPECT_NEAR(c.bus_ttx(utc(2025, 1, 6, 14, 30), utc(2025, 1, 6, 14, 45)), 1.18879e-4, 5e-10);
    EXPECT_NEAR(c.bus_ttx(utc(2025, 1, 6, 14, 30), utc(2025, 1, 6, 14, 37, 30)), bucket / 2, 1e-12);
}

TEST(EmbeddedBusinessTime, SpringForwardSkipsAnHourOfBuckets) {
    Calendar c = embedded();
    // 01:59:59 EST to 03:00:00 EDT: the last 1/900 of 01:45 and the buckets 02:00 to 02:45.
    const double second = c.bus_ttx(utc(2025, 3, 9, 6, 59, 59), utc(2025, 3, 9, 7));
    EXPECT_NEAR(second, 2.6069e-5, 5e-10);
    const std::vector<double> sunday = weights("sunday");
    EXPECT_NEAR(second, (sunday[7] / 900 + sum(sunday, 8, 12)) / sum(sunday) * 0.53 / 297.4, 1e-12);
}

TEST(EmbeddedBusinessTime, AutumnRepeatsAnHourAtTheSamePoints) {
    Calendar c = embedded();
    EXPECT_EQ(c.bus_ttx_point(utc(2025, 11, 2, 5, 30)), c.bus_ttx_point(utc(2025, 11, 2, 6, 30)));
    EXPECT_EQ(c.bus_ttx(utc(2025, 11, 2, 5, 30), utc(2025, 11, 2, 6, 30)), 0.0);
}

TEST(EmbeddedBusinessTime, CrossingAYearMeasuresEachSideAgainstItsOwnYear) {
    Calendar c = embedded();
    // Tuesday 2024-12-31 23:00 EST to Wednesday 2025-01-01 01:00 EST.
    const std::vector<double> tue = weights("tuesday"), wed = weights("wednesday");
    const double expected = sum(tue, 92, 96) / sum(tue) / 298.4 + sum(wed, 0, 4) / sum(wed) / 297.4;
    EXPECT_NEAR(c.bus_ttx(utc(2025, 1, 1, 4), utc(2025, 1, 1, 6)), expected, 1e-12);
    EXPECT_EQ(c.bus_ttx(utc(2025, 1, 1, 6), utc(2025, 1, 1, 4)),
              -c.bus_ttx(utc(2025, 1, 1, 4), utc(2025, 1, 1, 6)));
}

TEST(EmbeddedBusinessTime, SubSecondsAndLeapSecondMarkersAreIgnored) {
    Calendar c = embedded();
    UtcInstant t = utc(2016, 12, 31, 23, 59, 59);
    const double whole = c.bus_ttx_point(t);
    t.nanoseconds = 1'999'999'999;
    EXPECT_EQ(c.bus_ttx_point(t), whole);
}

TEST(EmbeddedBusinessTime, YearWeightsAreCachedOncePerYear) {
    Calendar c = embedded();
    c.bus_ttx(utc(2025, 3, 1), utc(2025, 7, 1));
    EXPECT_EQ(c.year_weight_cache().size(), 1u);
    EXPECT_TRUE(c.year_weight_cache().contains(2025));
    c.bus_ttx(utc(2024, 3, 1), utc(2025, 1, 1));  // local 2024 twice
    c.bus_ttx_point(utc(2025, 9, 1));
    EXPECT_EQ(c.year_weight_cache().size(), 2u);
    Calendar fresh = embedded();
    EXPECT_EQ(c.year_weight(2024), fresh.year_weight(2024));
    const UtcInstant may = utc(2024, 5, 5, 5, 5, 5);
    EXPECT_EQ(c.bus_ttx_point(may), fresh.bus_ttx_point(may));
}


// What threads share: the same points, bit for bit, and the calendar is not written.
TEST(EmbeddedBusinessTime, UncachedPointsAreTheCachedOnesAndWriteNothing) {
    const Calendar shared = embedded();
    Calendar cached = embedded();
    for (const UtcInstant& t : {utc(1969, 12, 31, 23, 59, 59), utc(2024, 2, 29, 14, 7, 3), utc(2025, 3, 9, 7, 30),
                                utc(2025, 12, 31, 23), utc(-4000, 6, 1), utc(9999, 12, 31, 23, 59, 59)}) {
        EXPECT_EQ(shared.bus_ttx_point_uncached(t), cached.bus_ttx_point(t));
    }
    EXPECT_EQ(shared.year_weight_cache().size(), 0u);
}
TEST(EmbeddedBusinessTime, EndsOfTheInstantRangeDoNotFail) {
    Calendar c = embedded();
    c.bus_ttx_point(utc(kMinYear, 1, 1));
    c.bus_ttx_point(utc(kMaxYear, 12, 31, 23, 59, 59));
    SUCCEED();
}

struct YearWeight {
    int year;
    double weight;
};

class EmbeddedYearWeight : public ::testing::TestWithParam<YearWeight> {};

TEST_P(EmbeddedYearWeight, IsFiftyTwoWeeksAndTheDaysLeftOver) {
    Calendar c = embedded();
    EXPECT_NEAR(c.year_weight(GetParam().year), GetParam().weight, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Years, EmbeddedYearWeight,
                         ::testing::Values(YearWeight{2023, 296.93}, YearWeight{2024, 298.4},
                                           YearWeight{2025, 297.4}, YearWeight{2026, 297.4},
                                           YearWeight{2027, 297.3}, YearWeight{2028, 297.2}));

struct Refusal {
    std::string input;
    std::string message;
};

class CalendarRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(CalendarRefusal, CarriesTheWholeMessage) {
    const std::string& input = GetParam().input;
    const Result<Calendar> c = input.starts_with("{") ? Calendar::from_json_str(input)
                                                       : Calendar::for_underlying(input);
    ASSERT_FALSE(c.has_value()) << GetParam().input;
    EXPECT_EQ(c.error().message, GetParam().message);
}

std::string document(const std::string& days, const std::string& intraday = "{}",
                     const std::string& zone = "UTC") {
    return R"({"DayWeightings": )" + days + R"(, "TimeWeightings": )" + intraday +
           R"(, "IanaTimeZone": ")" + zone + "\"}";
}

INSTANTIATE_TEST_SUITE_P(
    Messages, CalendarRefusal,
    ::testing::Values(Refusal{"btcusdt", "No embedded calendar for underlying: btcusdt"},
                      Refusal{"", "No embedded calendar for underlying: "},
                      Refusal{"BTCUSDT\0"s, "No embedded calendar for underlying: BTCUSDT\0"s},
                      Refusal{document("{}", "{}", "us/eastern"),
                              "Invalid IANA timezone: us/eastern"},
                      Refusal{document("{}", "{}", "localtime"),
                              "Invalid IANA timezone: localtime"},
                      Refusal{document("{}", "{}", ""), "Invalid IANA timezone: "},
                      Refusal{"{}", "missing field `TimeWeightings` at line 1 column 2"}));

Calendar from(const std::string& text) {
    Result<Calendar> c = Calendar::from_json_str(text);
    EXPECT_TRUE(c.has_value()) << text << "\n-> " << (c ? "" : c.error().message);
    return std::move(c.value());
}

const Calendar::Cumulative& day_table(const Calendar& c, int weekday) {
    static const Calendar::Cumulative none{};
    return c.intraday_cumulative()[weekday] ? *c.intraday_cumulative()[weekday] : none;
}

// 2024-01-01 is a Monday; in UTC local time is the instant itself.
TEST(DocumentRules, AWeekdayWithoutIntradayWeightsAccruesEvenly) {
    Calendar c = from(document(R"({"monday": 2, "tuesday": 1})"));
    for (int k = 0; k <= 96; ++k) EXPECT_NEAR(day_table(c, 0)[k], 2.0 * k / 96, 1e-14) << k;
    // 52 weeks of 3 plus the Monday and Tuesday left over.
    EXPECT_NEAR(c.bus_ttx_point(utc(2024, 1, 1, 6)), 2024 + 0.5 / 159, 1e-12);
}

TEST(DocumentRules, AWeekdayNotNamedNeverAdvances) {
    Calendar c = from(document(R"({"monday": 2, "tuesday": 1, "holiday": 7})"));
    EXPECT_FALSE(c.intraday_cumulative()[2].has_value());
    EXPECT_EQ(c.day_weights()[2], 0.0);
    EXPECT_EQ(c.week_weight(), 3.0);
    EXPECT_EQ(c.bus_ttx(utc(2024, 1, 3), utc(2024, 1, 3, 23, 59, 59)), 0.0);
}

TEST(DocumentRules, AZeroSumDayAccruesAllAtTheNextMidnight) {
    Calendar c = from(document(R"({"monday": 1, "tuesday": 1})",
                               R"({"tuesday": {"00:00": 0, "12:00": 0}})"));
    for (const double v : day_table(c, 1)) EXPECT_EQ(v, 0.0);
    EXPECT_EQ(c.bus_ttx(utc(2024, 1, 2), utc(2024, 1, 2, 23, 59, 59)), 0.0);
    EXPECT_NEAR(c.bus_ttx(utc(2024, 1, 2, 23, 59, 59), utc(2024, 1, 3)), 1.0 / 106, 1e-12);
}

TEST(DocumentRules, IntradayWeightsAreFoundUnderTheDayKeyAsWritten) {
    // "Monday" names the weekday, but its intraday object is looked up as "Monday", not "monday".
    Calendar even = from(document(R"({"Monday": 1})", R"({"monday": {"00:00": 5, "12:00": 1}})"));
    EXPECT_NEAR(day_table(even, 0)[48], 0.5, 1e-15);
    Calendar uneven = from(document(R"({"MONDAY": 1})", R"({"MONDAY": {"00:00": 3, "00:15": 1}})"));
    EXPECT_EQ(day_table(uneven, 0)[1], 0.75);
    EXPECT_EQ(day_table(uneven, 0)[2], 1.0);
    EXPECT_EQ(day_table(uneven, 0)[96], 1.0);
}

TEST(DocumentRules, BucketKeysSelectByTheirStartAndOthersAreIgnored) {
    const std::string keys = R"({"monday": {"09:35 - 09:50": 1, "open": 1, "24:00 - 00:15": 100}})";
    Calendar c = from(document(R"({"monday": 1})", keys));
    EXPECT_EQ(day_table(c, 0)[1], 0.5);
    EXPECT_EQ(day_table(c, 0)[38], 0.5);
    EXPECT_EQ(day_table(c, 0)[39], 1.0);
    // Linear inside the bucket: a third of the way through 09:30 - 09:45.
    EXPECT_NEAR(c.bus_ttx(utc(2024, 1, 1, 9, 30), utc(2024, 1, 1, 9, 35)), 0.5 / 3 / 53, 1e-12);
}

TEST(DocumentRules, TwoKeysForOneWeekdayLeaveOneWholeEntry) {
    Calendar c = from(document(R"({"Friday": 2, "friday": 3})", R"({"Friday": {"00:00": 1}})"));
    const double w = c.day_weights()[4];
    ASSERT_TRUE(w == 2.0 || w == 3.0);
    EXPECT_DOUBLE_EQ(day_table(c, 4)[1], w == 2.0 ? 2.0 : 3.0 / 96);
}

TEST(DocumentRules, WeightsAreTakenAsTheyAre) {
    Calendar c = from(document(R"({"sunday": -1, "saturday": 0})"));
    EXPECT_NEAR(day_table(c, 6)[96], -1.0, 1e-14);
    EXPECT_EQ(c.week_weight(), -1.0);
}

}  // namespace
}  // namespace korvex
