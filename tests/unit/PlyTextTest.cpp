#include "io/ply/PlyAsciiNumber.h"
#include "io/ply/PlyText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

using orrisk::ply::HasPrefix;
using orrisk::ply::ParsePlyNumber;
using orrisk::ply::SplitPlyTokens;
using orrisk::ply::TrimPlyText;

TEST(PlyText, TrimDropsLeadingSpacesAndTrailingLineEnds)
{
    EXPECT_EQ(TrimPlyText("   ply  \r"), "ply");
    EXPECT_EQ(TrimPlyText("ply\r\n"), "ply");
    EXPECT_EQ(TrimPlyText("\tply"), "\tply");  // only ' ' leads
    EXPECT_EQ(TrimPlyText(" \r a\r"), "\r a");
    EXPECT_EQ(TrimPlyText("\r"), "");
    EXPECT_EQ(TrimPlyText("   "), "");
    EXPECT_EQ(TrimPlyText(""), "");
}

TEST(PlyText, SplitCutsAtSingleSpacesAndDropsEmptyPieces)
{
    using Tokens = std::vector<std::string>;
    EXPECT_EQ(SplitPlyTokens("format  ascii  1.0\r"), (Tokens{"format", "ascii", "1.0"}));
    EXPECT_EQ(SplitPlyTokens("property\tfloat x"), (Tokens{"property\tfloat", "x"}));
    EXPECT_EQ(SplitPlyTokens("  1 2   3  "), (Tokens{"1", "2", "3"}));
    EXPECT_EQ(SplitPlyTokens("\r"), Tokens{});
    EXPECT_EQ(SplitPlyTokens(""), Tokens{});
}

TEST(PlyText, LineTokensAreFoundAsTheyAreAskedFor)
{
    for (const char* line : {"format  ascii  1.0\r", "  1 2   3  ", "\r", "", "a\rb \r\n c\r\r"}) {
        SCOPED_TRACE(line);
        const std::vector<std::string> split = SplitPlyTokens(line);
        orrisk::ply::PlyLineTokens tokens(line);
        for (std::size_t i = 0; i < split.size(); ++i) {
            EXPECT_EQ(tokens.At(i), split[i]);
            EXPECT_EQ(tokens.At(i), split[i]) << "asking again for the latest token";
        }
        EXPECT_EQ(tokens.At(split.size()), std::nullopt);
    }
    orrisk::ply::PlyLineTokens skipping("1 2 3 4");
    EXPECT_EQ(skipping.At(2), "3");
    EXPECT_THROW(skipping.At(0), std::logic_error);

    using Tokens = std::vector<std::string>;
    EXPECT_EQ(SplitPlyTokens("element vertex 3 extra more", 4), (Tokens{"element", "vertex", "3", "extra"}));
}

TEST(PlyText, HasPrefixComparesTheLeadingCharacters)
{
    EXPECT_TRUE(HasPrefix("property list uchar int i", "property list"));
    EXPECT_TRUE(HasPrefix("commentary", "comment"));
    EXPECT_TRUE(HasPrefix("end_header", "end_header"));
    EXPECT_FALSE(HasPrefix("end_head", "end_header"));
    EXPECT_FALSE(HasPrefix(" comment", "comment"));
}

namespace {

// What `std::istringstream(token) >> value` gives, the rule ASCII bodies follow.
template <typename T>
T StreamExtracted(const std::string& token)
{
    T value{};
    std::istringstream stream(token);
    stream.imbue(std::locale::classic());
    stream >> value;
    return value;
}

const std::vector<std::string> kNumberTokens = {
    "0", "-0", "+5", "  \t7", "42abc", "abc", "", "-", "+", "--1", "1.5", "-1.5", ".5", "-.5", "1.", ".",
    "1e3", "1E3", "1e", "1e+", "1e-2", "1.5e+2x", "1e+-2", ".e5", "e5", "0e5", "0x1f", "00012", "-0005",
    "32767", "32768", "-32768", "-32769", "65535", "65536", "-1", "-65535", "-70000",
    "2147483647", "2147483648", "-2147483648", "-2147483649", "4294967295", "4294967296", "-4294967295",
    "18446744073709551615", "18446744073709551616", "99999999999999999999", "-99999999999999999999",
    "1e38", "3.4028235e38", "3.40282357e38", "1e39", "-1e39", "1e-38", "1e-40", "7e-46", "8e-46", "1e-46",
    "-1e-50", "1e308", "1e309", "-1e400", "4.9e-324", "2e-324", "1e-400", "0.000001e-320",
    "123456789012345678901234567890", "0.1234567890123456789012345", "1e99999999999999999999",
    "1e-99999999999999999999", "nan", "inf", "-inf", "1,5",
};

template <typename T>
void ExpectMatchesStreamExtraction()
{
    for (const std::string& token : kNumberTokens) {
        const T expected = StreamExtracted<T>(token);
        const T actual = ParsePlyNumber<T>(token);
        if constexpr (std::is_floating_point_v<T>)
            EXPECT_EQ(std::memcmp(&expected, &actual, sizeof(T)), 0)
                << "token '" << token << "': expected " << expected << ", got " << actual;
        else
            EXPECT_EQ(expected, actual) << "token '" << token << "'";
    }
}

}  // namespace

TEST(PlyAsciiNumber, EveryTypeReadsTokensExactlyAsStreamExtraction)
{
    ExpectMatchesStreamExtraction<std::int16_t>();
    ExpectMatchesStreamExtraction<std::int32_t>();
    ExpectMatchesStreamExtraction<std::uint16_t>();
    ExpectMatchesStreamExtraction<std::uint32_t>();
    ExpectMatchesStreamExtraction<std::uint64_t>();
    ExpectMatchesStreamExtraction<float>();
    ExpectMatchesStreamExtraction<double>();
}
