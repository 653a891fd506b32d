#include "settings/AppSettings.h"
#include "settings/LanguageSetting.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

namespace {

using testsupport::ReadWholeFile;
using testsupport::ScratchDir;

TEST(LanguageSetting, AbsentOrUnknownMeansFollowTheSystem)
{
    ScratchDir dir;
    EXPECT_EQ(LoadLanguageSetting(dir.File("missing.ini")), "");
    EXPECT_EQ(LoadLanguageSetting(""), "");
    EXPECT_EQ(LoadLanguageSetting(dir.Write("none.ini", "[View]\nProjMode=1\n")), "");
    EXPECT_EQ(LoadLanguageSetting(dir.Write("other.ini", "[View]\nLanguage=fr\n")), "");
    EXPECT_EQ(LoadLanguageSetting(dir.Write("display.ini", "[Display]\nLanguage=en\n")), "");
    EXPECT_EQ(LoadLanguageSetting(dir.Write("ja.ini", "[view]\nlanguage = ja\n")), "ja");
    EXPECT_EQ(LoadLanguageSetting(dir.Write("en.ini", "[View]\r\nLanguage=en\r\n")), "en");
}

TEST(LanguageSetting, SavedBesideTheOtherSettingsWhichKeepIt)
{
    ScratchDir dir;
    const auto file = dir.Write("orrisk.ini", "; mine\n[View]\nProjMode=1\n");
    ASSERT_TRUE(SaveLanguageSetting(file, "en"));
    EXPECT_EQ(ReadWholeFile(file), "; mine\n[View]\nProjMode=1\nLanguage=en\n");
    EXPECT_EQ(LoadLanguageSetting(file), "en");

    // The view's save at exit keeps the choice, and the choice keeps the view's keys.
    AppSettings settings;
    settings.projection = 1;
    ASSERT_TRUE(SaveSettingsTo(file, settings));
    EXPECT_EQ(LoadLanguageSetting(file), "en");
    ASSERT_TRUE(SaveLanguageSetting(file, ""));
    EXPECT_EQ(LoadLanguageSetting(file), "");
    AppSettings loaded;
    LoadSettingsFrom(file, loaded);
    EXPECT_EQ(loaded, settings);

    EXPECT_FALSE(SaveLanguageSetting(file, "fr"));
    EXPECT_FALSE(SaveLanguageSetting(file, "en\n[Display]"));
    EXPECT_FALSE(SaveLanguageSetting("", "en"));
    ASSERT_TRUE(SaveLanguageSetting(dir.File("new.ini"), "ja"));
    EXPECT_EQ(ReadWholeFile(dir.File("new.ini")), "[View]\nLanguage=ja\n");
}

}  // namespace
