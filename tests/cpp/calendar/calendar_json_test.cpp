#include "calendar/calendar_json.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace korvex {
namespace {

using namespace std::string_literals;

constexpr const char* kMinimal =
    R"({"TimeWeightings": {}, "DayWeightings": {}, "IanaTimeZone": "UTC"})";

CalendarJson parse_ok(const std::string& text) {
    Result<CalendarJson> r = parse_calendar_json(text);
    EXPECT_TRUE(r.has_value()) << text << "\n-> " << (r ? "" : r.error().message);
    return r ? *r : CalendarJson{};
}

TEST(CalendarJson, ReadsTheThreeFields) {
    const CalendarJson json = parse_ok(R"({
        "IanaTimeZone": "US/Eastern",
        "DayWeightings": {"monday": 1, "Friday": 0.9},
        "TimeWeightings": {"monday": {"09:30 - 09:45": 62.5, "open": -2e-3}, "x": {}}
    })");
    EXPECT_EQ(json.iana_time_zone, "US/Eastern");
    EXPECT_EQ(json.day_weightings, (WeightMap{{"monday", 1.0}, {"Friday", 0.9}}));
    ASSERT_EQ(json.time_weightings.size(), 2u);
    EXPECT_EQ(json.time_weightings.at("monday"),
              (WeightMap{{"09:30 - 09:45", 62.5}, {"open", -0.002}}));
    EXPECT_TRUE(json.time_weightings.at("x").empty());
}

TEST(CalendarJson, ArrayFormTakesTheDeclaredOrder) {
    const CalendarJson json = parse_ok(R"([{"sunday": {"00:00": 3}}, {"sunday": 0.5}, "UTC"])");
    EXPECT_EQ(json.time_weightings.at("sunday"), (WeightMap{{"00:00", 3.0}}));
    EXPECT_EQ(json.day_weightings, (WeightMap{{"sunday", 0.5}}));
    EXPECT_EQ(json.iana_time_zone, "UTC");
}

TEST(CalendarJson, UnknownTopLevelKeysAreSkippedWhateverTheirValue) {
    const std::string deep = std::string(20000, '[') + std::string(20000, ']');
    const CalendarJson json = parse_ok(
        R"({"comment": {"TimeWeightings": 5, "a": [1e999, -1e999, {"b": null}]}, "n": 1e400,)"
        R"( "d": )" + deep + R"(, "TimeWeightings": {}, "DayWeightings": {"monday": 2},)"
        R"( "IanaTimeZone": "UTC", "z": "x", "z": true})");
    EXPECT_EQ(json.day_weightings, (WeightMap{{"monday", 2.0}}));
    EXPECT_TRUE(json.time_weightings.empty());
}

TEST(CalendarJson, LaterKeysReplaceEarlierOnesInsideMaps) {
    const CalendarJson json = parse_ok(R"({"TimeWeightings": {"monday": {"a": 1, "b": 2, "a": 3},
        "friday": {"old": 1}, "friday": {"new": 2}},
        "DayWeightings": {"monday": 1, "monday": 4}, "IanaTimeZone": "UTC"})");
    EXPECT_EQ(json.time_weightings.at("monday"), (WeightMap{{"a", 3.0}, {"b", 2.0}}));
    EXPECT_EQ(json.time_weightings.at("friday"), (WeightMap{{"new", 2.0}}));
    EXPECT_EQ(json.day_weightings, (WeightMap{{"monday", 4.0}}));
}

TEST(CalendarJson, KeysAndStringsKeepEscapesAndNulBytes) {
    const CalendarJson json = parse_ok(
        R"({"TimeWeightings": {}, "DayWeightings": {"a\u0000b": 1, "\u00e9": 2},)"
        R"( "IanaTimeZone": "U\"TC"})");
    EXPECT_EQ(json.day_weightings, (WeightMap{{"a\0b"s, 1.0}, {"\xC3\xA9", 2.0}}));
    EXPECT_EQ(json.iana_time_zone, "U\"TC");
}

struct NumberCase {
    std::string text;
    double value;
};

class NumberValue : public ::testing::TestWithParam<NumberCase> {};

// Expectations are the compiler's own correctly rounded literals.
TEST_P(NumberValue, IsTheNearestDouble) {
    const CalendarJson json = parse_ok(R"({"TimeWeightings": {}, "DayWeightings": {"x": )" +
                                       GetParam().text + R"(}, "IanaTimeZone": "UTC"})");
    ASSERT_EQ(json.day_weightings.count("x"), 1u);
    const double got = json.day_weightings.at("x");
    EXPECT_EQ(got, GetParam().value) << GetParam().text;
    EXPECT_EQ(std::signbit(got), std::signbit(GetParam().value)) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, NumberValue,
    ::testing::Values(
        NumberCase{"1", 1.0}, NumberCase{"-0", -0.0}, NumberCase{"-0.0e5", -0.0},
        NumberCase{"0.1", 0.1},
        NumberCase{"62.52174476139236", 62.52174476139236},
        NumberCase{"9007199254740993", 9007199254740992.0},  // halfway: ties to even
        NumberCase{"18446744073709551617", 18446744073709551616.0},
        NumberCase{"123456789012345678901234567890", 123456789012345678901234567890.0},
        NumberCase{"0.30000000000000004441", 0.30000000000000004441},
        NumberCase{"2.4703282292062328e-324", std::numeric_limits<double>::denorm_min()},
        NumberCase{"2.4703282292062327e-324", 0.0}, NumberCase{"-1e-400", -0.0},
        NumberCase{"1.7976931348623157e308", std::numeric_limits<double>::max()},
        // Doubles that the reader alone would refuse as too big.
        NumberCase{"0e400", 0.0},
        NumberCase{"17976931348623157081452742373170435679807056752584499659891747680315726078"
                   "00285387605895586327668781715404589535143824642343213268894641827684675467"
                   "03537516986049910576551282076245490090389328944075868508455133942304583236"
                   "90322294816580855933212334827479782620414472316873817718091929988125040402"
                   "6184124858368",
                   std::numeric_limits<double>::max()}));

struct ErrorCase {
    std::string document;
    std::string message;
};

class ParseError : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ParseError, NamesTheFaultAndItsPosition) {
    const Result<CalendarJson> r = parse_calendar_json(GetParam().document);
    ASSERT_FALSE(r.has_value()) << GetParam().document;
    EXPECT_EQ(r.error().message, GetParam().message);
}

// Columns count bytes from 1 and point at the offending byte, or at the last byte of the
// offending token.
INSTANTIATE_TEST_SUITE_P(
    Fields, ParseError,
    ::testing::Values(
        ErrorCase{"{}", "missing field `TimeWeightings` at line 1 column 2"},
        ErrorCase{"{\"DayWeightings\": {},\n \"TimeWeightings\": {}\n}",
                  "missing field `IanaTimeZone` at line 3 column 1"},
        ErrorCase{R"({"IanaTimeZone": "UTC", "TimeWeightings": {}})",
                  "missing field `DayWeightings` at line 1 column 45"},
        ErrorCase{"{\"DayWeightings\": {},\n\n  \"DayWeightings\": 5}",
                  "duplicate field `DayWeightings` at line 3 column 17"},
        ErrorCase{R"({"IanaTimeZone": "a", "IanaTimeZone": "a")",
                  "duplicate field `IanaTimeZone` at line 1 column 36"},
        // Keys are compared exactly: a near miss is an unknown key.
        ErrorCase{R"({"timeWeightings": {}, "DayWeightings": {}, "IanaTimeZone": "UTC"})",
                  "missing field `TimeWeightings` at line 1 column 66"}));

INSTANTIATE_TEST_SUITE_P(
    Types, ParseError,
    ::testing::Values(
        ErrorCase{R"({"DayWeightings": {"monday": "1"}})",
                  "invalid type: string \"1\", expected f64 at line 1 column 32"},
        ErrorCase{R"({"DayWeightings": {"monday": [1]}})",
                  "invalid type: sequence, expected f64 at line 1 column 30"},
        ErrorCase{R"({"TimeWeightings": {"monday": {"00:00": {}}}})",
                  "invalid type: map, expected f64 at line 1 column 41"},
        ErrorCase{R"({"TimeWeightings": {"monday": 1.5e1}})",
                  "invalid type: floating point `1.5e1`, expected a map at line 1 column 35"},
        ErrorCase{R"({"DayWeightings": null})",
                  "invalid type: null, expected a map at line 1 column 22"},
        ErrorCase{R"({"IanaTimeZone": false})",
                  "invalid type: boolean `false`, expected a string at line 1 column 22"},
        ErrorCase{R"({"IanaTimeZone": 1e400})",
                  "invalid type: floating point `1e400`, expected a string at line 1 column 22"},
        ErrorCase{"\"x\\ty\"",
                  "invalid type: string \"x\\ty\", expected struct CalendarJson "
                  "at line 1 column 6"}));

INSTANTIATE_TEST_SUITE_P(
    ArrayForm, ParseError,
    ::testing::Values(
        ErrorCase{"[]",
                  "invalid length 0, expected struct CalendarJson with 3 elements "
                  "at line 1 column 2"},
        ErrorCase{"[{}, {}\n]",
                  "invalid length 2, expected struct CalendarJson with 3 elements "
                  "at line 2 column 1"},
        ErrorCase{R"([{}, {}, "UTC" ,  {"a": 1}])",
                  "The document root must not be followed by other values at line 1 column 19"},
        ErrorCase{R"([{}, "UTC"])",
                  "invalid type: string \"UTC\", expected a map at line 1 column 10"}));

INSTANTIATE_TEST_SUITE_P(
    Syntax, ParseError,
    ::testing::Values(
        ErrorCase{"", "The document is empty at line 1 column 1"},
        ErrorCase{std::string(kMinimal) + " \n x",
                  "The document root must not be followed by other values at line 2 column 2"},
        ErrorCase{std::string(kMinimal) + "\0"s,
                  "The document root must not be followed by other values at line 1 column 67"},
        ErrorCase{R"({"a": 1,})", "Missing a name for object member at line 1 column 9"},
        ErrorCase{R"({/* note */ "a": 1})", "Missing a name for object member at line 1 column 2"},
        ErrorCase{R"({"a": NaN})", "Invalid value at line 1 column 7"},
        ErrorCase{"{\"a\": \"x\0y\"}"s,
                  "Missing a closing quotation mark in string at line 1 column 9"},
        ErrorCase{"{\"IanaTimeZone\": \"\xC3\x28\"}",
                  "Invalid encoding in string at line 1 column 19"},
        ErrorCase{R"({"DayWeightings": {"x": -1e400}})",
                  "Number too big to be stored in double at line 1 column 25"},
        ErrorCase{R"({"DayWeightings": {"x": 1.7976931348623159e308}})",
                  "Number too big to be stored in double at line 1 column 25"},
        // Bytes, not characters: the two-byte letter counts twice.
        ErrorCase{"{\"\xC3\xA9\": 1,\n\"IanaTimeZone\": true}",
                  "invalid type: boolean `true`, expected a string at line 2 column 20"},
        ErrorCase{std::string(100000, '['),
                  "invalid type: sequence, expected a map at line 1 column 2"}));

}  // namespace
}  // namespace korvex
