#include "calendar/bucket_key.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace korvex {
namespace {

using namespace std::string_literals;

struct KeyCase {
    std::string key;
    std::optional<unsigned> bucket;
};

class BucketKey : public ::testing::TestWithParam<KeyCase> {};

TEST_P(BucketKey, SelectsTheBucketOfItsStart) {
    EXPECT_EQ(bucket_index(GetParam().key), GetParam().bucket) << '"' << GetParam().key << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Written, BucketKey,
    ::testing::Values(KeyCase{"00:00 - 00:15", 0}, KeyCase{"09:30 - 09:45", 38},
                      KeyCase{"23:45 - 00:00", 95},
                      KeyCase{"9:30", 38}, KeyCase{"09:35 - 09:50", 38}, KeyCase{"12", 48},
                      KeyCase{"10:75", 45}, KeyCase{"0:1439", 95}, KeyCase{"9:30:59", 38},
                      KeyCase{"+9:+30", 38}, KeyCase{"0009:0030 - 99:99", 38}));

INSTANTIATE_TEST_SUITE_P(
    NoNumber, BucketKey,
    ::testing::Values(KeyCase{"open", 0}, KeyCase{"", 0}, KeyCase{":", 0}, KeyCase{"-09:30", 0},
                      KeyCase{"9: 30", 36}, KeyCase{"9:3O", 36}, KeyCase{"++9:30", 2},
                      KeyCase{"9.5:30", 2},
                      KeyCase{"09\0:30"s, 2},
                      // Beyond 64 bits counts as 0, like any other unreadable piece.
                      KeyCase{"18446744073709551616:30", 2},
                      KeyCase{"18446744073709551615:30", std::nullopt}));

INSTANTIATE_TEST_SUITE_P(
    PastTheDay, BucketKey,
    ::testing::Values(KeyCase{"24:00", std::nullopt}, KeyCase{"23:60", std::nullopt},
                      KeyCase{"0:1440", std::nullopt}, KeyCase{"1440", std::nullopt},
                      // x 60 would wrap past 2^64 to 44 minutes; it must stay past the day.
                      KeyCase{"307445734561825861:00", std::nullopt},
                      KeyCase{"0:18446744073709551615", std::nullopt}));

// Unicode White_Space goes at both ends; other characters, such as a zero-width space, stay.
INSTANTIATE_TEST_SUITE_P(
    WhiteSpace, BucketKey,
    ::testing::Values(KeyCase{" \t\r\n\v\f09:30 - 09:45", 38},
                      KeyCase{"\xC2\xA0" "09:30\xE3\x80\x80", 38},
                      KeyCase{"\xE2\x80\xAF\xC2\x85\xE1\x9A\x80 9:30"
                              "\xE2\x80\xA8\xE2\x80\xA9\xE2\x81\x9F", 38},
                      KeyCase{"\xE2\x80\x8A" "09:30\xE2\x80\x80 - x", 38}, KeyCase{"9 :30", 2},
                      KeyCase{"\xE2\x80\x8B" "09:30", 2}, KeyCase{"09:30\xE2\x80", 36},
                      KeyCase{"\xE2\x80" "09:30", 2}));

}  // namespace
}  // namespace korvex
