#include "calendar/embedded_calendar.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <system_error>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "calendar/calendar_json.hpp"

namespace korvex {
namespace {

const std::vector<std::string> kDays = {"monday", "tuesday", "wednesday", "thursday",
                                        "friday", "saturday", "sunday"};

std::string key_of(int bucket) {
    const int start = bucket * 15;
    const int end = (start + 15) % 1440;
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d - %02d:%02d", start / 60, start % 60, end / 60,
                  end % 60);
    return text;
}

class EmbeddedCalendar : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Result<CalendarJson> r = parse_calendar_json(embedded_calendar_json());
        ASSERT_TRUE(r.has_value()) << r.error().message;
        json_ = new CalendarJson(std::move(*r));
    }
    static void TearDownTestSuite() { delete json_; }

    // A day's 96 weights in bucket order, found under the keys as written in the document.
    static std::vector<double> day(const std::string& name) {
        std::vector<double> out;
        for (int b = 0; b < 96; ++b) out.push_back(json_->time_weightings.at(name).at(key_of(b)));
        return out;
    }
    static double at(const std::string& name, const std::string& start) {
        return json_->time_weightings.at(name).at(key_of(bucket_of(start)));
    }
    static int bucket_of(const std::string& hhmm) {
        return (std::stoi(hhmm.substr(0, 2)) * 60 + std::stoi(hhmm.substr(3))) / 15;
    }

    static CalendarJson* json_;
};

CalendarJson* EmbeddedCalendar::json_ = nullptr;

TEST_F(EmbeddedCalendar, IsTheCommittedDocumentByteForByte) {
    const auto root = std::filesystem::path(__FILE__).parent_path() / "../../..";
    const auto path = root / "src/calendar/embedded_calendar.json";
    std::ifstream file(path, std::ios::binary);
    ASSERT_TRUE(file) << path;
    const std::string committed{std::istreambuf_iterator<char>(file), {}};
    EXPECT_EQ(embedded_calendar_json(), committed);
}

TEST_F(EmbeddedCalendar, LayoutAndKeyOrder) {
    const std::string_view text = embedded_calendar_json();
    EXPECT_TRUE(text.starts_with("{\n    \"DayWeightings\": {\n        \"monday\": 1,\n"));
    EXPECT_LT(text.find("\"DayWeightings\""), text.find("\"TimeWeightings\""));
    EXPECT_LT(text.find("\"TimeWeightings\""), text.find("\"IanaTimeZone\": \"US/Eastern\""));
    // Weekdays Monday to Sunday in both objects, each day's keys in time order.
    std::size_t pos = 0;
    for (const auto& d : kDays) pos = text.find("\"" + d + "\"", pos + 1);
    EXPECT_LT(pos, text.find("\"TimeWeightings\""));
    for (const auto& d : kDays) {
        pos = text.find("        \"" + d + "\": {", pos + 1);
        ASSERT_NE(pos, std::string_view::npos) << d;
        for (int b = 0; b < 96; ++b) {
            pos = text.find("\n            \"" + key_of(b) + "\": ", pos);
            ASSERT_NE(pos, std::string_view::npos) << d << ' ' << key_of(b);
        }
    }
}

// Every intraday weight is positive and written as the shortest text that reads back as it.
TEST_F(EmbeddedCalendar, WeightsAreWrittenInTheirShortestForm) {
    const std::string_view text = embedded_calendar_json();
    int weights = 0;
    for (std::size_t pos = text.find(" - "); pos != std::string_view::npos;
         pos = text.find(" - ", pos + 1)) {
        const std::size_t begin = text.find("\": ", pos) + 3;
        const std::size_t end = text.find_first_of(",\n", begin);
        const std::string_view token = text.substr(begin, end - begin);
        double value = 0.0;
        const auto read = std::from_chars(token.data(), token.data() + token.size(), value);
        ASSERT_EQ(read.ec, std::errc{}) << token;
        char shortest[32];
        const char* last = std::to_chars(shortest, shortest + sizeof shortest, value).ptr;
        EXPECT_EQ(token, std::string_view(shortest, last - shortest));
        EXPECT_GT(value, 0.0) << token;
        ++weights;
    }
    EXPECT_EQ(weights, 672);
}

TEST_F(EmbeddedCalendar, DayWeightsAndZone) {
    EXPECT_EQ(json_->iana_time_zone, "US/Eastern");
    EXPECT_EQ(json_->day_weightings, (WeightMap{{"monday", 1}, {"tuesday", 1}, {"wednesday", 1},
                                                {"thursday", 1}, {"friday", 0.9}, {"saturday", 0.27},
                                                {"sunday", 0.53}}));
    ASSERT_EQ(json_->time_weightings.size(), 7u);
    for (const auto& d : kDays) EXPECT_EQ(json_->time_weightings.at(d).size(), 96u) << d;
}

TEST_F(EmbeddedCalendar, EachDayAddsUpToItsShareOfTheWeekMinutes) {
    EXPECT_EQ(day("tuesday"), day("monday"));
    EXPECT_EQ(day("wednesday"), day("monday"));
    EXPECT_EQ(day("thursday"), day("monday"));
    const std::vector<double> approximately = {1768.42, 1768.42, 1768.42, 1768.42,
                                               1591.58, 477.47,  937.26};
    for (std::size_t i = 0; i < kDays.size(); ++i) {
        double sum = 0.0;
        for (const double w : day(kDays[i])) sum += w;
        EXPECT_NEAR(sum, json_->day_weightings.at(kDays[i]) * 10080.0 / 5.7, 1e-12) << kDays[i];
        EXPECT_NEAR(sum, approximately[i], 0.005) << kDays[i];
    }
}

struct Row {
    const char* start;
    double weekday, friday, saturday, sunday;
};

TEST_F(EmbeddedCalendar, TellingRowsAsPublished) {
    const Row rows[] = {
        {"00:00", 9.296884883729719, 9.03011625564374, 4.130380629396172, 3.6250555848397292},
        {"09:15", 21.284702893840002, 18.16067517069255, 5.91985218132015, 9.69922520707617},
        {"09:30", 62.52174476139236, 63.55522673841343, 6.567933905746908, 9.92808486907062},
        {"10:00", 54.254328967112656, 53.327375149676406, 7.124096222830129, 10.27394852750234},
        {"16:00", 25.25906610633516, 18.235765711161214, 4.7558711479340605, 10.445227678921222},
        {"17:00", 17.647165325788592, 13.470931882763026, 4.828107824701991, 11.114881008011764},
        {"18:00", 18.371145796496613, 11.502540257094058, 6.279044703992892, 30.747213458006772},
        {"23:45", 8.026578187108981, 3.7397808633153513, 3.551490030261413, 8.649675868915342},
    };
    for (const Row& r : rows) {
        for (int d = 0; d < 4; ++d) {
            EXPECT_EQ(at(kDays[d], r.start), r.weekday) << kDays[d] << ' ' << r.start;
        }
        EXPECT_EQ(at("friday", r.start), r.friday) << r.start;
        EXPECT_EQ(at("saturday", r.start), r.saturday) << r.start;
        EXPECT_EQ(at("sunday", r.start), r.sunday) << r.start;
    }
}

TEST_F(EmbeddedCalendar, ExtremesSitWherePublished) {
    struct Extremes {
        const char* day;
        const char* low;
        double smallest;
        const char* high;
    };
    const Extremes cases[] = {{"monday", "00:45", 7.700336881135465, "09:30"},
                              {"friday", "23:45", 3.7397808633153513, "09:30"},
                              {"saturday", "00:45", 3.263553788601789, "11:15"},
                              {"sunday", "02:15", 3.119729966277294, "18:00"}};
    for (const Extremes& e : cases) {
        const std::vector<double> w = day(e.day);
        const auto low = std::min_element(w.begin(), w.end());
        const auto high = std::max_element(w.begin(), w.end());
        EXPECT_EQ(low - w.begin(), bucket_of(e.low)) << e.day;
        EXPECT_EQ(*low, e.smallest) << e.day;
        EXPECT_EQ(high - w.begin(), bucket_of(e.high)) << e.day;
        EXPECT_EQ(std::count(w.begin(), w.end(), *low), 1) << e.day;
        EXPECT_EQ(std::count(w.begin(), w.end(), *high), 1) << e.day;
    }
    EXPECT_EQ(at("saturday", "11:15"), 7.856570316929013);
}

TEST_F(EmbeddedCalendar, SundayEveningCarriesTheWeekOpen) {
    const std::vector<double> w = day("sunday");
    double before = 0.0, after = 0.0;
    for (int b = 0; b < 72; ++b) before += w[b];
    for (int b = 72; b < 96; ++b) after += w[b];
    EXPECT_NEAR(before / 72, 7.2, 0.05);
    EXPECT_NEAR(after / 24, 17.5, 0.05);
}

}  // namespace
}  // namespace korvex
