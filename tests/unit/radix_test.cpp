// SPDX-License-Identifier: MIT WITH fmt-exception
#include <boardutil/radix.h>

#include <cfloat>
#include <climits>
#include <limits>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

std::string format(int radix, int value) {
    char out[RADIX_TEXT_SIZE + 1];
    std::memset(out, '@', sizeof out);
    out[RADIX_TEXT_SIZE] = '\0';
    if (radix_format(radix, out, &value) != 0) return std::string("<refused>") + (out[0] == '@' ? "" : ", written");
    return out;
}

// The value, or -1000 for a refusal that left the int alone.
long long parse(int radix, const char* text) {
    int value = -1000;
    if (radix_parse(radix, text, &value) != 0) return value == -1000 ? -1000 : -2000;
    return value;
}

TEST(RadixFormat, WritesTheDigitsWithoutLeadingZeros) {
    EXPECT_EQ(format(16, 255), "FF");
    EXPECT_EQ(format(2, 5), "101");
    for (int radix = 2; radix <= 40; ++radix) EXPECT_EQ(format(radix, 0), "0");
    EXPECT_EQ(format(40, 39), "%");
    EXPECT_EQ(format(40, 40), "10");
    EXPECT_EQ(format(36, 35), "Z");
    EXPECT_EQ(format(37, 36), "&");
    EXPECT_EQ(format(38, 37), "/");
    EXPECT_EQ(format(39, 38), "+");
    EXPECT_EQ(format(10, INT_MAX), "2147483647");
    EXPECT_EQ(format(2, INT_MAX), std::string(31, '1'));
    EXPECT_EQ(format(16, INT_MAX), "7FFFFFFF");
}

TEST(RadixFormat, RefusesARadixOutOfRangeAndANegativeValue) {
    for (int radix : {INT_MIN, -1, 0, 1, 41, INT_MAX}) EXPECT_EQ(format(radix, 5), "<refused>") << radix;
    EXPECT_EQ(format(10, -1), "<refused>");
    EXPECT_EQ(format(10, INT_MIN), "<refused>");
}

TEST(RadixParse, ReadsTheFirstRadixSymbolsOnly) {
    EXPECT_EQ(parse(16, "FF"), 255);
    EXPECT_EQ(parse(16, "ff"), -1000);
    EXPECT_EQ(parse(10, "12A"), -1000);
    EXPECT_EQ(parse(2, "102"), -1000);
    EXPECT_EQ(parse(40, "1%"), 79);
    EXPECT_EQ(parse(10, "007"), 7);
    EXPECT_EQ(parse(10, ""), 0);
    EXPECT_EQ(parse(10, "-1"), -1000);
    EXPECT_EQ(parse(36, "Z&"), -1000);
    EXPECT_EQ(parse(37, "Z&"), 35 * 37 + 36);
}

TEST(RadixParse, RefusesValuesBeyondTheIntAndRadixesOutOfRange) {
    EXPECT_EQ(parse(10, "2147483647"), INT_MAX);
    EXPECT_EQ(parse(10, "2147483648"), -1000);
    EXPECT_EQ(parse(16, "7FFFFFFF"), INT_MAX);
    EXPECT_EQ(parse(16, "80000000"), -1000);
    EXPECT_EQ(parse(16, "FFFFFFFFFFFFFFFFFFFF"), -1000);
    EXPECT_EQ(parse(2, std::string(31, '1').c_str()), INT_MAX);
    EXPECT_EQ(parse(2, std::string(32, '1').c_str()), -1000);
    // leading zeros never count toward the range, however many
    EXPECT_EQ(parse(40, (std::string(100, '0') + "%").c_str()), 39);
    for (int radix : {INT_MIN, 0, 1, 41}) EXPECT_EQ(parse(radix, "1"), -1000) << radix;
    EXPECT_EQ(parse(41, ""), -1000);
}

TEST(RadixConvert, WritesTheSameValueInTheTargetRadix) {
    char out[RADIX_TEXT_SIZE] = "untouched";
    EXPECT_EQ(radix_convert(16, "FF", 10, out), 0);
    EXPECT_STREQ(out, "255");
    EXPECT_EQ(radix_convert(8, "7", 2, out), 0);
    EXPECT_STREQ(out, "111");
    std::strcpy(out, "untouched");
    EXPECT_EQ(radix_convert(10, "1X", 16, out), -1);
    EXPECT_STREQ(out, "untouched");
    EXPECT_EQ(radix_convert(10, "2147483648", 16, out), -1);
    EXPECT_EQ(radix_convert(10, "12", 41, out), -1);
    EXPECT_EQ(radix_convert(1, "0", 10, out), -1);
    EXPECT_STREQ(out, "untouched");
}

TEST(Bcd, DecodesFourDecimalDigits) {
    EXPECT_EQ(bcd_to_decimal(0x1234), 1234);
    EXPECT_EQ(bcd_to_decimal(0x0999), 999);
    EXPECT_EQ(bcd_to_decimal(0x9999), 9999);
    // hundreds digits that need every bit of the lower 12
    EXPECT_EQ(bcd_to_decimal(0x1200), 1200);
    EXPECT_EQ(bcd_to_decimal(0x0900), 900);
    EXPECT_EQ(bcd_to_decimal(0), 0);
    EXPECT_EQ(bcd_to_decimal(0x1A), -1);
    EXPECT_EQ(bcd_to_decimal(0xA0), -1);
    EXPECT_EQ(bcd_to_decimal(0xA00), -1);
    EXPECT_EQ(bcd_to_decimal(0xA000), -1);
    EXPECT_EQ(bcd_to_decimal(0x10000), -1);
    EXPECT_EQ(bcd_to_decimal(INT_MAX), -1);
}

TEST(Bcd, RefusesNegativeWords) {
    EXPECT_EQ(bcd_to_decimal(-1), -1);
    EXPECT_EQ(bcd_to_decimal(-0x1234), -1);  // its digits would come out negative
    EXPECT_EQ(bcd_to_decimal(INT_MIN), -1);
}

TEST(FloatCheck, AcceptsZerosAndNormalNumbersOnly) {
    for (float f : {1.0f, -2.5f, 0.0f, -0.0f, FLT_MAX, -FLT_MAX, FLT_MIN}) EXPECT_EQ(float_check(f), 0) << f;
    constexpr float kInf = std::numeric_limits<float>::infinity(), kNaN = std::numeric_limits<float>::quiet_NaN();
    for (float f : {FLT_TRUE_MIN, -FLT_TRUE_MIN, FLT_MIN / 2, kInf, -kInf, kNaN, -kNaN, std::numeric_limits<float>::signaling_NaN()})
        EXPECT_EQ(float_check(f), -1) << f;
}

TEST(DoubleCheck, AcceptsZerosAndNormalNumbersOnly) {
    for (double d : {1.0, -2.5, 0.0, -0.0, DBL_MAX, -DBL_MAX, DBL_MIN}) EXPECT_EQ(double_check(d), 0) << d;
    constexpr double kInf = std::numeric_limits<double>::infinity(), kNaN = std::numeric_limits<double>::quiet_NaN();
    for (double d : {DBL_TRUE_MIN, -DBL_TRUE_MIN, DBL_MIN / 2, kInf, -kInf, kNaN, -kNaN})
        EXPECT_EQ(double_check(d), -1) << d;
    // a float subnormal is a normal double
    EXPECT_EQ(double_check(static_cast<double>(FLT_TRUE_MIN)), 0);
}

}  // namespace
