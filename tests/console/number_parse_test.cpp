#include "console/number_parse.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

using namespace console;

namespace {

TEST(ParseInteger, ReadsSignAndDigitsAfterWhiteSpace) {
    EXPECT_EQ(123, parseInteger("123"));
    EXPECT_EQ(-45, parseInteger("  -45"));
    EXPECT_EQ(7, parseInteger("+7"));
    EXPECT_EQ(5, parseInteger(" \t\n\v\f\r5"));
    EXPECT_EQ(0, parseInteger("-0"));
}

TEST(ParseInteger, StopsAtTheFirstCharacterThatIsNotADigit) {
    EXPECT_EQ(12, parseInteger("12abc"));
    EXPECT_EQ(1, parseInteger("1e3"));
    EXPECT_EQ(2, parseInteger("2.9"));
    EXPECT_EQ(0, parseInteger("0x10"));
    EXPECT_EQ(0, parseInteger("- 5"));
    EXPECT_EQ(0, parseInteger("+-5"));
}

TEST(ParseInteger, TextWithoutDigitsGivesZero) {
    EXPECT_EQ(0, parseInteger(""));
    EXPECT_EQ(0, parseInteger("abc"));
    EXPECT_EQ(0, parseInteger("-"));
    EXPECT_EQ(0, parseInteger("   "));
}

TEST(ParseInteger, ValuesBeyondThe32BitRangeSaturate) {
    constexpr std::int32_t MIN = std::numeric_limits<std::int32_t>::min();
    EXPECT_EQ(2147483647, parseInteger("2147483647"));
    EXPECT_EQ(MIN, parseInteger("-2147483648"));
    for (const char* text : {"2147483648", "3000000000", "4294967296", "+4294967297", "100000000000000000000",
                             "0000000000000000000000000000002147483648x"})
        EXPECT_EQ(2147483647, parseInteger(text)) << text;
    for (const char* text : {"-2147483649", "-4294967295", "-4294967296", " -99999999999999999999999999"})
        EXPECT_EQ(MIN, parseInteger(text)) << text;
    EXPECT_EQ(12, parseInteger("0000000000000000000000000000012"));
}

TEST(ParseReal, ReadsDecimalNumbers) {
    EXPECT_EQ(50.0, parseReal("50"));
    EXPECT_EQ(-2.7, parseReal("-2.7"));
    EXPECT_EQ(0.5, parseReal(".5"));
    EXPECT_EQ(5.0, parseReal("5."));
    EXPECT_EQ(250.0, parseReal("  +2.5e+2xyz"));
    EXPECT_EQ(0.025, parseReal("2.5E-2"));
    EXPECT_EQ(0.1, parseReal("0.1"));  // correctly rounded
    EXPECT_EQ(99.5, parseReal("\t99.5%"));
}

TEST(ParseReal, AnIncompleteExponentIsNotPartOfTheNumber) {
    EXPECT_EQ(1.0, parseReal("1e"));
    EXPECT_EQ(1.5, parseReal("1.5e+"));
    EXPECT_EQ(2.0, parseReal("2e-x"));
}

TEST(ParseReal, TextThatIsNotADecimalNumberGivesZero) {
    EXPECT_EQ(0.0, parseReal(""));
    EXPECT_EQ(0.0, parseReal("."));
    EXPECT_EQ(0.0, parseReal("-"));
    EXPECT_EQ(0.0, parseReal("e5"));
    EXPECT_EQ(0.0, parseReal("-.e1"));
    EXPECT_EQ(0.0, parseReal("inf"));
    EXPECT_EQ(0.0, parseReal("-infinity"));
    EXPECT_EQ(0.0, parseReal("nan"));
    EXPECT_EQ(0.0, parseReal("abc"));
    // Hexadecimal is not read: "0x10" is the number 0 followed by text.
    EXPECT_EQ(0.0, parseReal("0x10"));
    EXPECT_EQ(0.0, parseReal("0x1p4"));
}

TEST(ParseReal, ValuesBeyondTheDoubleRangeSaturate) {
    constexpr double LARGEST = std::numeric_limits<double>::max();
    EXPECT_EQ(LARGEST, parseReal("1e400"));
    EXPECT_EQ(-LARGEST, parseReal("-1e400"));
    EXPECT_EQ(LARGEST, parseReal("1.8e308"));
    EXPECT_EQ(LARGEST, parseReal("1.7976931348623157e308"));
    double tiny = parseReal("1e-400");
    EXPECT_EQ(0.0, tiny);
    EXPECT_FALSE(std::signbit(tiny));
}

}  // namespace
