#include "settings/IniFile.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

namespace {

std::optional<std::string> Get(const std::string& text, std::string_view section, std::string_view key)
{
    return IniFile(text).GetString(section, key);
}

// The document after setting one key.
std::string AfterSet(std::string text, std::string_view section, std::string_view key, std::string_view value)
{
    IniFile ini(std::move(text));
    EXPECT_TRUE(ini.SetString(section, key, value));
    return ini.Text();
}

}  // namespace

TEST(IniFile, FindsKeysRegardlessOfCaseAndPadding)
{
    const std::string text =
        "; leading comment\n"
        "Orphan=before any section\n"
        "[Display]\n"
        "PointSize=2.0\n"
        "  roundpoints  =  1  \n"
        "Quoted=\"  spaced  \"\n"
        "Single='x'\n"
        "Unbalanced=\"x\n"
        "Inner=a=b\n"
        "Empty=\n"
        "# Hidden=1\n"
        "; Hidden=2\n"
        "no equals sign\n"
        "\t[ VIEW ] trailing text\n"
        "ProjMode=1\n";
    EXPECT_EQ(Get(text, "Display", "PointSize"), "2.0");
    EXPECT_EQ(Get(text, "DISPLAY", "pointsize"), "2.0");
    EXPECT_EQ(Get(text, "display", "RoundPoints"), "1");
    EXPECT_EQ(Get(text, "Display", "Quoted"), "  spaced  ");
    EXPECT_EQ(Get(text, "Display", "Single"), "x");
    EXPECT_EQ(Get(text, "Display", "Unbalanced"), "\"x");
    EXPECT_EQ(Get(text, "Display", "Inner"), "a=b");
    EXPECT_EQ(Get(text, "Display", "Empty"), "");
    EXPECT_EQ(Get(text, "View", "projmode"), "1");
    // Comments, lines without '=', keys outside any section and keys of other sections are never read.
    EXPECT_EQ(Get(text, "Display", "Hidden"), std::nullopt);
    EXPECT_EQ(Get(text, "Display", "# Hidden"), std::nullopt);
    EXPECT_EQ(Get(text, "Display", "no equals sign"), std::nullopt);
    EXPECT_EQ(Get(text, "", "Orphan"), std::nullopt);
    EXPECT_EQ(Get(text, "View", "PointSize"), std::nullopt);
    EXPECT_EQ(Get(text, "Missing", "PointSize"), std::nullopt);
}

TEST(IniFile, FirstMatchingSectionAndKeyWin)
{
    const std::string text = "[A]\nk=1\nk=2\n[B]\nk=3\n[a]\nk=4\nother=5\n";
    EXPECT_EQ(Get(text, "A", "k"), "1");
    EXPECT_EQ(Get(text, "a", "other"), std::nullopt);  // only the first [A] counts

    IniFile ini(text);
    ASSERT_TRUE(ini.SetString("a", "K", "9"));
    EXPECT_EQ(ini.Text(), "[A]\nk=9\nk=2\n[B]\nk=3\n[a]\nk=4\nother=5\n");
}

TEST(IniFile, ReadsWindowsLineEndingsByteOrderMarkAndMissingFinalNewline)
{
    EXPECT_EQ(Get("[S]\r\nk=v\r\nj=w\r\n", "S", "k"), "v");
    EXPECT_EQ(Get("\xEF\xBB\xBF[S]\nk=v", "S", "k"), "v");
    EXPECT_EQ(Get("[S]\nk=v", "S", "k"), "v");
    EXPECT_EQ(Get("", "S", "k"), std::nullopt);
    // A bracket line without ']' opens no section.
    EXPECT_EQ(Get("[S]\n[T\nk=v\n", "S", "k"), "v");
}

TEST(IniFile, IntegersComeFromLeadingDigitsWithDefaultsForMissingOrEmpty)
{
    const IniFile ini(
        "[S]\nplain=42\nneg=-5\nplus=+7\ntext=abc\nsuffix=12abc\nempty=\nquotedEmpty=\"\"\n"
        "quoted=\"3\"\nhuge=99999999999999999999\nhugeNeg=-99999999999999999999\nmin=-2147483648\n"
        "float=2.9\nspacedSign=- 4\n");
    EXPECT_EQ(ini.GetInt("S", "plain", -1), 42);
    EXPECT_EQ(ini.GetInt("S", "neg", -1), -5);
    EXPECT_EQ(ini.GetInt("S", "plus", -1), 7);
    EXPECT_EQ(ini.GetInt("S", "text", -1), 0);
    EXPECT_EQ(ini.GetInt("S", "suffix", -1), 12);
    EXPECT_EQ(ini.GetInt("S", "empty", -1), -1);
    EXPECT_EQ(ini.GetInt("S", "quotedEmpty", -1), -1);
    EXPECT_EQ(ini.GetInt("S", "quoted", -1), 3);
    EXPECT_EQ(ini.GetInt("S", "huge", -1), 2147483647);
    EXPECT_EQ(ini.GetInt("S", "hugeNeg", -1), -2147483647 - 1);
    EXPECT_EQ(ini.GetInt("S", "min", -1), -2147483647 - 1);
    EXPECT_EQ(ini.GetInt("S", "float", -1), 2);
    EXPECT_EQ(ini.GetInt("S", "spacedSign", -1), 0);
    EXPECT_EQ(ini.GetInt("S", "missing", -1), -1);
    EXPECT_EQ(ini.GetInt("Other", "plain", 17), 17);
}

TEST(IniFile, SetReplacesValuesInPlaceAndKeepsEverythingElse)
{
    IniFile ini(
        "; my settings\n"
        "[Display]\n"
        "PointSize = 7.5 ; big\n"
        "  roundpoints=\n"
        "Custom=keep me\n"
        "\n"
        "[Other]\n"
        "PointSize=1\n");
    ASSERT_TRUE(ini.SetString("Display", "PointSize", "2.0"));
    ASSERT_TRUE(ini.SetString("Display", "RoundPoints", "1"));
    EXPECT_EQ(ini.Text(),
              "; my settings\n"
              "[Display]\n"
              "PointSize = 2.0\n"
              "  roundpoints=1\n"
              "Custom=keep me\n"
              "\n"
              "[Other]\n"
              "PointSize=1\n");
    EXPECT_EQ(ini.GetString("Display", "PointSize"), "2.0");
    EXPECT_EQ(ini.GetString("Other", "PointSize"), "1");
}

TEST(IniFile, SetAddsMissingKeysAfterTheLastKeyOfTheirSection)
{
    IniFile ini("[Display]\nA=1\n; about View\n\n[View]\n; nothing yet\n");
    ASSERT_TRUE(ini.SetString("Display", "B", "2"));
    ASSERT_TRUE(ini.SetString("View", "C", "3"));
    EXPECT_EQ(ini.Text(), "[Display]\nA=1\nB=2\n; about View\n\n[View]\nC=3\n; nothing yet\n");

    EXPECT_EQ(AfterSet("[Display]\nA=1", "Display", "B", "2"), "[Display]\nA=1\nB=2\n");
}

TEST(IniFile, SetAddsMissingSectionsAtTheEnd)
{
    IniFile empty;
    ASSERT_TRUE(empty.SetString("Display", "A", "1"));
    ASSERT_TRUE(empty.SetString("View", "B", "2"));
    EXPECT_EQ(empty.Text(), "[Display]\nA=1\n\n[View]\nB=2\n");

    EXPECT_EQ(AfterSet("; comment", "S", "k", "v"), "; comment\n\n[S]\nk=v\n");
    EXPECT_EQ(AfterSet("x=1\n\n", "S", "k", "v"), "x=1\n\n[S]\nk=v\n");
    EXPECT_EQ(AfterSet("x=1\n \t\n", "S", "k", "v"), "x=1\n \t\n[S]\nk=v\n");
    EXPECT_EQ(AfterSet("\xEF\xBB\xBF", "S", "k", "v"), "\xEF\xBB\xBF[S]\nk=v\n");
}

TEST(IniFile, NewLinesFollowTheDocumentsLineEnding)
{
    IniFile ini("[Display]\r\nA=1\r\n");
    ASSERT_TRUE(ini.SetString("Display", "A", "5"));
    ASSERT_TRUE(ini.SetString("Display", "B", "2"));
    ASSERT_TRUE(ini.SetString("View", "C", "3"));
    EXPECT_EQ(ini.Text(), "[Display]\r\nA=5\r\nB=2\r\n\r\n[View]\r\nC=3\r\n");
}

TEST(IniFile, SetRefusesWhatCannotBeOneLine)
{
    const std::string text = "[S]\nk=v\n";
    IniFile ini(text);
    EXPECT_FALSE(ini.SetString("", "k", "v"));
    EXPECT_FALSE(ini.SetString("S]", "k", "v"));
    EXPECT_FALSE(ini.SetString(" S", "k", "v"));
    EXPECT_FALSE(ini.SetString("S", "", "v"));
    EXPECT_FALSE(ini.SetString("S", "a=b", "v"));
    EXPECT_FALSE(ini.SetString("S", "k ", "v"));
    EXPECT_FALSE(ini.SetString("S", ";k", "v"));
    EXPECT_FALSE(ini.SetString("S", "[k", "v"));
    EXPECT_FALSE(ini.SetString("S", "k", "two\nlines"));
    EXPECT_FALSE(ini.SetString("S", "k", "cr\r"));
    EXPECT_FALSE(ini.SetString("S", "k", std::string_view("nul\0", 4)));
    EXPECT_EQ(ini.Text(), text);
}

TEST(IniFile, HandlesAMillionLinesAndBinaryNoise)
{
    std::string text = "[Display]\n";
    for (int i = 0; i < 1000000; ++i)
        text += "Key" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    text += "[View]\nSegSeed=7\n";
    IniFile ini(std::move(text));
    EXPECT_EQ(ini.GetInt("Display", "Key999999", -1), 999999);
    EXPECT_EQ(ini.GetInt("View", "SegSeed", -1), 7);
    ASSERT_TRUE(ini.SetString("Display", "PointSize", "2.0"));
    EXPECT_EQ(ini.GetString("Display", "PointSize"), "2.0");

    std::string noise;
    for (unsigned i = 0; i < (1u << 20); ++i)
        noise += static_cast<char>((i * 7919u) % 251u + 1u);
    IniFile garbage(noise);
    EXPECT_EQ(garbage.GetString("Display", "PointSize"), std::nullopt);
    ASSERT_TRUE(garbage.SetString("Display", "PointSize", "2.0"));
    EXPECT_EQ(garbage.GetString("Display", "PointSize"), "2.0");
}
