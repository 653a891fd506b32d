#include "settings/AppSettings.h"

#include "settings/IniFile.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

constexpr const char* kFileWithoutBudget =
    "; kept as it is\n"
    "[Display]\n"
    "PointSize=3.0\n"
    "RoundPoints=0\n"
    "BackGroundR=10\n"
    "BackGroundG=20\n"
    "BackGroundB=30\n"
    "ShowAxisGizmo=1\n"
    "\n"
    "[View]\n"
    "ProjMode=1\n"
    "NavMode=0\n"
    "segBlend=50\n"
    "SegSeed=7\n";

std::string FileText(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::optional<std::int64_t> BudgetIn(const std::string& text)
{
    AppSettings settings;
    ReadSettings(IniFile(text), settings);
    return settings.pointBudget;
}

TEST(PointBudgetSettingTest, AFileThatNeverHadTheKeyStaysByteForByte)
{
    const testsupport::ScratchDir scratch;
    const auto file = scratch.Write("orrisk.ini", kFileWithoutBudget);
    AppSettings settings;
    LoadSettingsFrom(file, settings);
    EXPECT_FALSE(settings.pointBudget.has_value());
    ASSERT_TRUE(SaveSettingsTo(file, settings));
    EXPECT_EQ(FileText(file), kFileWithoutBudget);
}

TEST(PointBudgetSettingTest, AutomaticEveryPointAndACountSurviveTheRoundTrip)
{
    for (const std::int64_t budget : {std::int64_t{-1}, std::int64_t{0}, std::int64_t{2'500'000}, std::int64_t{1} << 40}) {
        const testsupport::ScratchDir scratch;
        const auto file = scratch.Write("orrisk.ini", kFileWithoutBudget);
        AppSettings settings;
        LoadSettingsFrom(file, settings);
        settings.pointBudget = budget;
        ASSERT_TRUE(SaveSettingsTo(file, settings));
        const std::string text = FileText(file);
        EXPECT_NE(text.find("PointBudget=" + std::to_string(budget) + "\n"), std::string::npos) << text;
        // In [Display], before [View].
        EXPECT_LT(text.find("PointBudget="), text.find("[View]")) << text;

        AppSettings reloaded;
        LoadSettingsFrom(file, reloaded);
        EXPECT_EQ(reloaded.pointBudget, budget);
        EXPECT_EQ(reloaded, settings);
    }
}

TEST(PointBudgetSettingTest, ValuesThatAreNoBudgetAreIgnoredAndKeptInTheFile)
{
    for (const char* value : {"", "abc", "-2", "12x", "1.5", "99999999999999999999", "--1", "+5"}) {
        const std::string text = std::string("[Display]\nPointBudget=") + value + "\n";
        EXPECT_FALSE(BudgetIn(text).has_value()) << value;

        const testsupport::ScratchDir scratch;
        const auto file = scratch.Write("orrisk.ini", text);
        AppSettings settings;
        LoadSettingsFrom(file, settings);
        ASSERT_TRUE(SaveSettingsTo(file, settings));
        EXPECT_NE(FileText(file).find(text), std::string::npos) << value;
    }
    EXPECT_EQ(BudgetIn("[Display]\nPointBudget= 750000 \n"), 750000);
    EXPECT_EQ(BudgetIn("[Display]\nPointBudget=-1\n"), -1);
    // Only [Display] holds it.
    EXPECT_FALSE(BudgetIn("[View]\nPointBudget=5\n").has_value());
}

}  // namespace
