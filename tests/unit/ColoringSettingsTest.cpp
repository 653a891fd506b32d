#include "settings/AppSettings.h"
#include "settings/ColoringSettings.h"
#include "settings/IniFile.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <string>

namespace {

AppSettings LoadedFrom(const std::string& text)
{
    AppSettings settings;
    ReadSettings(IniFile(text), settings);
    return settings;
}

std::string WrittenFrom(const AppSettings& settings, std::string existing = {})
{
    IniFile ini(std::move(existing));
    WriteSettings(ini, settings);
    return ini.Text();
}

}  // namespace

TEST(ColoringSettings, AbsentKeysMeanRgbWithoutEyeDomeLightingAndAreNotAdded)
{
    const AppSettings loaded = LoadedFrom("[Display]\nPointSize=3.0\n");
    EXPECT_EQ(loaded.colorMode, 0);
    EXPECT_EQ(loaded.edlStrength, 0.0f);
    EXPECT_EQ(loaded.edlRadius, 1.4f);
    const std::string written = WrittenFrom(AppSettings{});
    EXPECT_EQ(written.find("ColorMode"), std::string::npos);
    EXPECT_EQ(written.find("Edl"), std::string::npos);
}

TEST(ColoringSettings, AFileThatNeverHadThemIsSavedByteForByte)
{
    testsupport::ScratchDir dir;
    const std::string text = "; mine\n[Display]\nPointSize=2.0\nRoundPoints=1\nBackGroundR=0\nBackGroundG=0\n"
                             "BackGroundB=0\nShowAxisGizmo=1\n\n[View]\nProjMode=0\nNavMode=0\nsegBlend=50\nSegSeed=1\n";
    const auto path = dir.Write("orrisk.ini", text);
    AppSettings settings;
    LoadSettingsFrom(path, settings);
    ASSERT_TRUE(SaveSettingsTo(path, settings));
    EXPECT_EQ(testsupport::ReadWholeFile(path), text);
}

TEST(ColoringSettings, ChosenValuesAreWrittenAndReadBack)
{
    AppSettings settings;
    settings.colorMode = 3;
    settings.edlStrength = 1.5f;
    settings.edlRadius = 2.0f;
    const std::string written = WrittenFrom(settings);
    EXPECT_NE(written.find("ColorMode=3\n"), std::string::npos);
    EXPECT_NE(written.find("EdlStrength=1.5\n"), std::string::npos);
    EXPECT_NE(written.find("EdlRadius=2.0\n"), std::string::npos);
    EXPECT_EQ(LoadedFrom(written), settings);

    // Back to the defaults: keys the file has keep being written, with the default value.
    const std::string reverted = WrittenFrom(AppSettings{}, written);
    EXPECT_NE(reverted.find("ColorMode=0\n"), std::string::npos);
    EXPECT_NE(reverted.find("EdlStrength=0.0\n"), std::string::npos);
    EXPECT_EQ(LoadedFrom(reverted), AppSettings{});
}

TEST(ColoringSettings, UnacceptableValuesLeaveTheFieldAlone)
{
    for (const char* text : {"[Display]\nColorMode=5\nEdlStrength=-1\nEdlRadius=0.5\n",
                             "[Display]\nColorMode=-1\nEdlStrength=nan\nEdlRadius=inf\n",
                             "[Display]\nColorMode=\nEdlStrength=11\nEdlRadius=\n"}) {
        const AppSettings loaded = LoadedFrom(text);
        EXPECT_EQ(loaded.colorMode, 0) << text;
        EXPECT_EQ(loaded.edlStrength, 0.0f) << text;
        EXPECT_EQ(loaded.edlRadius, 1.4f) << text;
    }
    const AppSettings edge = LoadedFrom("[Display]\nColorMode=4\nEdlStrength=10\nEdlRadius=1\n");
    EXPECT_EQ(edge.colorMode, 4);
    EXPECT_EQ(edge.edlStrength, kMaxEdlStrength);
    EXPECT_EQ(edge.edlRadius, kMinEdlRadius);
}
