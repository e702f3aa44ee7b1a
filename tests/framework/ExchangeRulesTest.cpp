#include <gtest/gtest.h>

#include "framework/ExchangeRules.h"

TEST(UnsignedField, ReadsADecimalNumberWithBlanksAround) {
    struct Case {
        const char* text;
        UnsignedField result;
        std::uint32_t value;
    };
    const Case cases[] = {
        {"60", UnsignedField::Ok, 60},
        {" \t60 \t", UnsignedField::Ok, 60},
        {"+60", UnsignedField::Ok, 60},
        {"65535", UnsignedField::Ok, 65535},
        {"1", UnsignedField::Ok, 1},
        {"", UnsignedField::NotANumber, 0},
        {"   ", UnsignedField::NotANumber, 0},
        {"12abc", UnsignedField::NotANumber, 0},
        {"12 3", UnsignedField::NotANumber, 0},
        {"-5", UnsignedField::NotANumber, 0},
        {"0x10", UnsignedField::NotANumber, 0},
        {"0", UnsignedField::OutOfRange, 0},
        {"65536", UnsignedField::OutOfRange, 0},
        {"4294967296", UnsignedField::OutOfRange, 0},
        {"99999999999999999999999", UnsignedField::OutOfRange, 0},
    };
    for (const Case& c : cases) {
        std::uint32_t value = 7;
        EXPECT_EQ(readUnsignedField(c.text, 1, 65535, value), c.result) << '"' << c.text << '"';
        EXPECT_EQ(value, c.result == UnsignedField::Ok ? c.value : 7u) << '"' << c.text << "\" changed the value";
    }
}

TEST(UnsignedField, StandardMessages) {
    EXPECT_STREQ(kNotAPositiveIntegerMessage, "Please enter a positive integer.");
    EXPECT_EQ(outOfRangeMessage(1, 65535), "Please enter an integer between 1 and 65535.");
}

TEST(PrefixItem, FirstItemThatBeginsWithTheTextRegardlessOfCase) {
    const std::vector<std::string> items = {"ntp.example", "Time.A.org", "time.b.org"};
    EXPECT_EQ(findPrefixItem(items, "time"), 1u);
    EXPECT_EQ(findPrefixItem(items, "TIME.B"), 2u);
    EXPECT_EQ(findPrefixItem(items, "ntp.example"), 0u);
    EXPECT_FALSE(findPrefixItem(items, "ntp.example.net").has_value());
    EXPECT_FALSE(findPrefixItem(items, "a.org").has_value());
    EXPECT_FALSE(findPrefixItem(items, "").has_value()) << "an empty server stays empty";
}
