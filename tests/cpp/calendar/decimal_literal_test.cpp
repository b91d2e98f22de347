#include "calendar/decimal_literal.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

namespace korvex {
namespace {

struct Lead {
    std::string literal;
    std::optional<std::int64_t> exponent;  // of the leading non-zero digit
};

class LeadingExponent : public testing::TestWithParam<Lead> {};

TEST_P(LeadingExponent, IsTheDecimalExponentOfTheFirstNonZeroDigit) {
    const std::optional<DecimalLiteral> lit = scan_decimal_literal(GetParam().literal);
    ASSERT_TRUE(lit.has_value()) << GetParam().literal;
    EXPECT_EQ(leading_exponent(*lit), GetParam().exponent) << GetParam().literal;
}

INSTANTIATE_TEST_SUITE_P(
    Literals, LeadingExponent,
    testing::Values(Lead{"1", 0}, Lead{"-9.5", 0}, Lead{"00123.4", 2}, Lead{"0.025", -2},
                    Lead{".5", -1}, Lead{"5.", 0}, Lead{"1.5e3", 3}, Lead{"+0.001E+2", -1},
                    Lead{"12e-400", -399}, Lead{"0.00e999", std::nullopt},
                    Lead{"0", std::nullopt}, Lead{"-0.0e-5", std::nullopt},
                    // A huge exponent saturates instead of wrapping round to the other sign.
                    Lead{"1e99999999999999999999999", std::int64_t{1} << 52},
                    Lead{"1e-99999999999999999999999", -(std::int64_t{1} << 52)}));

TEST(DecimalLiteral, SplitsSignDigitsAndExponent) {
    const std::optional<DecimalLiteral> lit = scan_decimal_literal("-012.340e-05");
    ASSERT_TRUE(lit.has_value());
    EXPECT_TRUE(lit->negative);
    EXPECT_EQ(lit->integer, "012");
    EXPECT_EQ(lit->fraction, "340");
    EXPECT_EQ(lit->exponent, "05");
    EXPECT_TRUE(lit->negative_exponent);
}

TEST(DecimalLiteral, RefusesWhatIsNotOneWholeLiteral) {
    for (const char* text : {"", "+", "-", ".", "e5", ".e5", "1e", "1e+", "1.2.3", "1 ", " 1", "1x",
                             "inf", "nan", "0x10", "1e5.0", "--1"}) {
        EXPECT_FALSE(scan_decimal_literal(text).has_value()) << '"' << text << '"';
    }
}

}  // namespace
}  // namespace korvex
