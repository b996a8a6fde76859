#include <gtest/gtest.h>

#include <limits>

#include "TextConversion.h"

namespace {

TEST(TextConversionTest, IntegersInDecimalOrHexadecimal) {
    EXPECT_EQ(TextToInt32("42"), 42);
    EXPECT_EQ(TextToInt32(" -7 "), -7);
    EXPECT_EQ(TextToInt32("+7"), 7);
    EXPECT_EQ(TextToInt32("0xFF"), 255);
    EXPECT_EQ(TextToInt32("$ff"), 255);
    EXPECT_EQ(TextToInt32("-2147483648"), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(TextToInt64("-9223372036854775808"), std::numeric_limits<int64_t>::min());
}

TEST(TextConversionTest, AnythingButAWholeIntegerIsRefused) {
    for (const char* text : {"", " ", "abc", "12abc", "1.5", "--1", "+-1", "0x", "$", "2147483648", "1 2"})
        EXPECT_THROW(TextToInt32(text), ConversionError) << text;
    EXPECT_THROW(TextToInt64("9223372036854775808"), ConversionError);
    try {
        TextToInt32("abc");
    } catch (const ConversionError& error) {
        EXPECT_STREQ(error.what(), "'abc' is not a valid integer value");
    }
}

TEST(TextConversionTest, FloatsWithAPoint) {
    EXPECT_FLOAT_EQ(TextToFloat("0.5"), 0.5f);
    EXPECT_FLOAT_EQ(TextToFloat(" -1.25 "), -1.25f);
    EXPECT_FLOAT_EQ(TextToFloat("+2"), 2.0f);
    EXPECT_FLOAT_EQ(TextToFloat("1e3"), 1000.0f);
    for (const char* text : {"", "x", "0,5", "1.5s", "nan", "inf", "1e99"})
        EXPECT_THROW(TextToFloat(text), ConversionError) << text;
}

TEST(TextConversionTest, TrimRemovesBlanksAndControlCharacters) {
    EXPECT_EQ(TrimText("\t a b \r\n"), "a b");
    EXPECT_EQ(TrimText(" \n "), "");
}

}  // namespace
