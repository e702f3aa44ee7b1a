// The one decimal reader: where its digits end, and its cap at every size.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "errors/TextRules.h"

TEST(ReadDecimal, ReadsTheLeadingDigitsOnly) {
    struct Case {
        const char* text;
        std::uint64_t value;
        std::size_t digits;
    };
    const Case cases[] = {
        {"", 0, 0},          {"x12", 0, 0},  {" 12", 0, 0},  {"-12", 0, 0},
        {"0", 0, 1},         {"12x3", 12, 2}, {"0012", 12, 4}, {"00000000000000000000000000000007", 7, 32},
    };
    for (const Case& c : cases) {
        text::Decimal read = text::readDecimal(c.text, UINT64_MAX);
        EXPECT_EQ(read.value, c.value) << '"' << c.text << '"';
        EXPECT_EQ(read.digits, c.digits) << '"' << c.text << '"';
    }
    EXPECT_EQ(text::readDecimal(std::string("12\0" "34", 5), UINT64_MAX).digits, 2u) << "a zero byte ends the digits";
}

TEST(ReadDecimal, AValueAboveTheCapReadsAsTheCapHoweverLong) {
    EXPECT_EQ(text::readDecimal("1440", 1441).value, 1440u);
    EXPECT_EQ(text::readDecimal("1441", 1441).value, 1441u);
    EXPECT_EQ(text::readDecimal("1442", 1441).value, 1441u);
    EXPECT_EQ(text::readDecimal("14410", 1441).value, 1441u);
    EXPECT_EQ(text::readDecimal("7", 5).value, 5u) << "a cap below one digit";
    EXPECT_EQ(text::readDecimal("18446744073709551615", UINT64_MAX).value, UINT64_MAX);
    text::Decimal past = text::readDecimal("18446744073709551616999", UINT64_MAX);
    EXPECT_EQ(past.value, UINT64_MAX) << "no wrap past 64 bits";
    EXPECT_EQ(past.digits, 23u);
}

TEST(ReadLeadingDecimal, WhiteSpaceThenOneSignThenTheDigits) {
    text::SignedDecimal read = text::readLeadingDecimal(" \t\n\v\f\r-42z", 1000);
    EXPECT_TRUE(read.negative);
    EXPECT_EQ(read.magnitude.value, 42u);
    EXPECT_EQ(read.end, 9u);
    read = text::readLeadingDecimal("+7", 1000);
    EXPECT_FALSE(read.negative);
    EXPECT_EQ(read.magnitude.value, 7u);
    for (const char* noDigits : {"", "-", "+-5", "- 5", "x5"}) {
        read = text::readLeadingDecimal(noDigits, 1000);
        EXPECT_EQ(read.magnitude.digits, 0u) << '"' << noDigits << '"';
        EXPECT_EQ(read.magnitude.value, 0u) << '"' << noDigits << '"';
    }
    EXPECT_EQ(text::readLeadingDecimal("\xA0" "5", 1000).magnitude.digits, 0u) << "no blank beyond ASCII";
}
