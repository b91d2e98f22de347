#include "calendar/tenor.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace korvex {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

struct Figure {
    std::string tenor;
    double years;
};

class TenorValue : public ::testing::TestWithParam<Figure> {};

// Exact comparison: every expectation is the correctly rounded double of its figure.
TEST_P(TenorValue, IsExact) {
    const Result<double> r = tenor_to_ttx(GetParam().tenor);
    ASSERT_TRUE(r.has_value()) << GetParam().tenor << ": " << r.error().message;
    EXPECT_EQ(*r, GetParam().years) << GetParam().tenor;
    EXPECT_EQ(std::signbit(*r), std::signbit(GetParam().years)) << GetParam().tenor;
}

INSTANTIATE_TEST_SUITE_P(
    Figures, TenorValue,
    ::testing::Values(Figure{"1y", 1.0}, Figure{"365d", 1.0}, Figure{"2w", 14.0 / 365.0},
                      Figure{"6m", 180.0 / 365.0}, Figure{"0.5y", 0.5}, Figure{"-1d", -1.0 / 365.0},
                      Figure{"1e1d", 10.0 / 365.0},
                      // Multiplied before dividing: these differ from n * (7 / 365) and
                      // n * (30 / 365) in the last bit.
                      Figure{"5w", 35.0 / 365.0}, Figure{"13m", 390.0 / 365.0},
                      Figure{"1e308w", kInf}));

INSTANTIATE_TEST_SUITE_P(
    Grammar, TenorValue,
    ::testing::Values(Figure{"+1y", 1.0}, Figure{"1.y", 1.0}, Figure{".5y", 0.5},
                      Figure{"00.250y", 0.25}, Figure{"1E1y", 10.0}, Figure{"1e+1y", 10.0},
                      Figure{"25e-1y", 2.5}, Figure{"-0y", -0.0}, Figure{"0.1y", 0.1},
                      Figure{"infy", kInf}, Figure{"+Infinityy", kInf}, Figure{"-INFy", -kInf},
                      // Correct rounding, ties to even.
                      Figure{"9007199254740993y", 9007199254740992.0},
                      Figure{"2.2250738585072011e-308y", 2.2250738585072011e-308},
                      Figure{"4.9e-324y", std::numeric_limits<double>::denorm_min()},
                      Figure{"2.5e-324y", std::numeric_limits<double>::denorm_min()},
                      Figure{"1.7976931348623157e308y", std::numeric_limits<double>::max()},
                      Figure{"1.7976931348623158e308y", std::numeric_limits<double>::max()}));

// Out of range is never an error: too large is infinite, too small is zero, sign kept.
INSTANTIATE_TEST_SUITE_P(
    Range, TenorValue,
    ::testing::Values(Figure{"1.7976931348623159e308y", kInf}, Figure{"1e309y", kInf},
                      Figure{"-1e309y", -kInf}, Figure{"1e99999999999999999999999y", kInf},
                      Figure{"2e-324y", 0.0}, Figure{"1e-400y", 0.0}, Figure{"-1e-400y", -0.0},
                      Figure{"1e-99999999999999999999999y", 0.0},
                      Figure{"0e99999999999999999999999y", 0.0},
                      Figure{std::string("1").append(400, '0').append("y"), kInf},
                      Figure{std::string("0.").append(400, '0').append("1y"), 0.0},
                      Figure{std::string("0.").append(400, '0').append("1e400y"), 0.1},
                      Figure{std::string("1").append(400, '0').append("e-401y"), 0.1},
                      Figure{"0.0001e-320y", 0.0}, Figure{"10000e305y", kInf}));

TEST(Tenor, NanPassesThrough) {
    for (const char* t : {"nany", "NaNd", "-nanw", "+NANm"}) {
        const Result<double> r = tenor_to_ttx(t);
        ASSERT_TRUE(r.has_value()) << t;
        EXPECT_TRUE(std::isnan(*r)) << t;
    }
}

struct Failure {
    std::string tenor;
    std::string message;
};

class TenorError : public ::testing::TestWithParam<Failure> {};

TEST_P(TenorError, HasExactMessage) {
    const Result<double> r = tenor_to_ttx(GetParam().tenor);
    ASSERT_FALSE(r.has_value()) << GetParam().tenor << " gave " << *r;
    EXPECT_EQ(r.error().message, GetParam().message);
}

const std::string kFormat = "Invalid tenor format: ";
const std::string kEmpty = "cannot parse float from empty string";
const std::string kInvalid = "invalid float literal";

INSTANTIATE_TEST_SUITE_P(
    Units, TenorError,
    ::testing::Values(Failure{"", kFormat}, Failure{"1Y", kFormat + "1Y"},
                      Failure{"1", kFormat + "1"}, Failure{"1D", kFormat + "1D"},
                      Failure{"1d ", kFormat + "1d "}, Failure{"3x", kFormat + "3x"},
                      Failure{"1d\n", kFormat + "1d\n"},
                      Failure{std::string("1\0", 2), kFormat + std::string("1\0", 2)},
                      Failure{"1\xc3\xa9", kFormat + "1\xc3\xa9"}, Failure{"d", kEmpty},
                      Failure{"y", kEmpty}));

INSTANTIATE_TEST_SUITE_P(
    Numbers, TenorError,
    ::testing::Values(Failure{" 1d", kInvalid}, Failure{"1 d", kInvalid}, Failure{"+d", kInvalid},
                      Failure{"-d", kInvalid}, Failure{".d", kInvalid}, Failure{"e5d", kInvalid},
                      Failure{"1ed", kInvalid}, Failure{"1e+d", kInvalid},
                      Failure{"1e1.5d", kInvalid}, Failure{"1.2.3d", kInvalid},
                      Failure{"--1d", kInvalid}, Failure{"+-1d", kInvalid},
                      Failure{"++1d", kInvalid}, Failure{"0x10d", kInvalid},
                      Failure{"1_000d", kInvalid}, Failure{"1,5d", kInvalid},
                      Failure{"nan(1)d", kInvalid}, Failure{"nan()d", kInvalid},
                      Failure{"infinid", kInvalid}, Failure{"in fy", kInvalid},
                      Failure{"1dd", kInvalid}, Failure{"1yd", kInvalid},
                      Failure{"\xd9\xa1" "d", kInvalid},  // an Arabic-Indic digit one
                      Failure{std::string("1\0d", 3), kInvalid},
                      Failure{"1e\xe2\x88\x92" "1d", kInvalid}));  // a Unicode minus

}  // namespace
}  // namespace korvex
