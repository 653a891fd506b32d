#include "settings/DecimalText.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

TEST(DecimalText, ReadsTheLongestDecimalPrefix)
{
    EXPECT_EQ(ParseDecimalPrefix("2.5"), 2.5);
    EXPECT_EQ(ParseDecimalPrefix("2,5"), 2.0);
    EXPECT_EQ(ParseDecimalPrefix(" \t\n2.5px"), 2.5);
    EXPECT_EQ(ParseDecimalPrefix("-3.25"), -3.25);
    EXPECT_EQ(ParseDecimalPrefix("+4"), 4.0);
    EXPECT_EQ(ParseDecimalPrefix(".5"), 0.5);
    EXPECT_EQ(ParseDecimalPrefix("5."), 5.0);
    EXPECT_EQ(ParseDecimalPrefix("1.5e2"), 150.0);
    EXPECT_EQ(ParseDecimalPrefix("1E-1"), 0.1);
    // An exponent without digits is not part of the number.
    EXPECT_EQ(ParseDecimalPrefix("1e"), 1.0);
    EXPECT_EQ(ParseDecimalPrefix("1e+x"), 1.0);
    EXPECT_EQ(ParseDecimalPrefix("0.1"), 0.1);  // correctly rounded
    // Only decimal text: a hexadecimal prefix stops after its "0".
    EXPECT_EQ(ParseDecimalPrefix("0x10"), 0.0);
}

TEST(DecimalText, TextWithoutANumberGivesZero)
{
    for (const char* text : {"", "   ", "abc", ".", "-", "+.", "e5", "- 1", ",5"})
        EXPECT_EQ(ParseDecimalPrefix(text), 0.0) << '"' << text << '"';
}

TEST(DecimalText, InfinityNaNAndOutOfRangeMagnitudes)
{
    constexpr double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(ParseDecimalPrefix("inf"), inf);
    EXPECT_EQ(ParseDecimalPrefix("  -Infinity"), -inf);
    EXPECT_EQ(ParseDecimalPrefix("INFx"), inf);
    EXPECT_TRUE(std::isnan(ParseDecimalPrefix("nan")));
    EXPECT_TRUE(std::isnan(ParseDecimalPrefix("NaN(123)")));
    EXPECT_EQ(ParseDecimalPrefix("in"), 0.0);
    EXPECT_EQ(ParseDecimalPrefix("1e999"), inf);
    EXPECT_EQ(ParseDecimalPrefix("-1e99999999999999999999"), -inf);
    EXPECT_EQ(ParseDecimalPrefix(std::string(400, '9')), inf);
    EXPECT_EQ(ParseDecimalPrefix("1e-999"), 0.0);
    EXPECT_EQ(ParseDecimalPrefix("0." + std::string(400, '0') + "1"), 0.0);
    // Many digits that are still in range.
    EXPECT_EQ(ParseDecimalPrefix("0." + std::string(400, '0') + "1e401"), 1.0);
    EXPECT_EQ(ParseDecimalPrefix("0e99999"), 0.0);
}

TEST(DecimalText, IgnoresTheUsersLocale)
{
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    bool switched = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"})
        switched = switched || std::setlocale(LC_NUMERIC, name) != nullptr;
    EXPECT_EQ(ParseDecimalPrefix("2.5"), 2.5);
    EXPECT_EQ(ParseDecimalPrefix("2,5"), 2.0);
    std::setlocale(LC_NUMERIC, previous.c_str());
    if (!switched)
        GTEST_SKIP() << "no locale with a decimal comma is installed";
}

TEST(DecimalText, UnsignedPrefixSaturatesAndWrapsNegatives)
{
    EXPECT_EQ(ParseUnsignedDecimalPrefix("1"), 1u);
    EXPECT_EQ(ParseUnsignedDecimalPrefix("12abc"), 12u);
    EXPECT_EQ(ParseUnsignedDecimalPrefix(" \t+7"), 7u);
    EXPECT_EQ(ParseUnsignedDecimalPrefix("4294967295"), 4294967295u);
    EXPECT_EQ(ParseUnsignedDecimalPrefix("4294967296"), 4294967295u);
    EXPECT_EQ(ParseUnsignedDecimalPrefix(std::string(1000, '9')), 4294967295u);
    EXPECT_EQ(ParseUnsignedDecimalPrefix("-1"), 4294967295u);
    EXPECT_EQ(ParseUnsignedDecimalPrefix("-4294967295"), 1u);
    EXPECT_EQ(ParseUnsignedDecimalPrefix("-4294967296"), 4294967295u);
    EXPECT_EQ(ParseUnsignedDecimalPrefix("000000000000000000042"), 42u);
    EXPECT_EQ(ParseUnsignedDecimalPrefix("1.5e3"), 1u);
    for (const char* text : {"", "abc", "-", "- 5", "0x10"})
        EXPECT_EQ(ParseUnsignedDecimalPrefix(text), 0u) << '"' << text << '"';
}
