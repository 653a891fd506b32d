#include "settings/AppSettings.h"
#include "platform/Log.h"

#include "settings/IniFile.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kStartingFile =
    "[Display]\n"
    "PointSize=2.0\n"
    "RoundPoints=1\n"
    "BackGroundR=0\n"
    "BackGroundG=0\n"
    "BackGroundB=0\n"
    "ShowAxisGizmo=1\n"
    "\n"
    "[View]\n"
    "ProjMode=0\n"
    "NavMode=0\n"
    "segBlend=50\n"
    "SegSeed=1\n";

AppSettings LoadedFrom(const std::string& text, AppSettings settings = {})
{
    ReadSettings(IniFile(text), settings);
    return settings;
}

std::string WrittenFrom(const AppSettings& settings, std::string existing = {})
{
    IniFile ini(std::move(existing));
    WriteSettings(ini, settings);
    return ini.Text();
}

// The value a save writes for one key.
std::string WrittenValue(const AppSettings& settings, std::string_view section, std::string_view key)
{
    IniFile ini;
    WriteSettings(ini, settings);
    return ini.GetString(section, key).value_or("<missing>");
}

std::vector<std::string> DirectoryEntries(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(AppSettings, StartingValuesWriteTheDocumentedFile)
{
    const AppSettings settings;
    EXPECT_EQ(WrittenFrom(settings), kStartingFile);
    EXPECT_EQ(LoadedFrom(kStartingFile), settings);
}

TEST(AppSettings, PointSizeIsClampedAndOnlyFiniteNumbersCount)
{
    AppSettings start;
    start.pointSize = 5.0f;
    const auto size = [&](const std::string& value) {
        return LoadedFrom("[Display]\nPointSize=" + value + "\n", start).pointSize;
    };
    EXPECT_EQ(size("0.2"), 1.0f);
    EXPECT_EQ(size("100"), 32.0f);
    EXPECT_EQ(size("abc"), 1.0f);
    EXPECT_EQ(size("-3"), 1.0f);
    EXPECT_EQ(size("7.25"), 7.25f);
    EXPECT_EQ(size("2,5"), 2.0f);
    EXPECT_EQ(size("  12px"), 12.0f);
    EXPECT_EQ(size("1e39"), 32.0f);  // beyond float range, still a finite number
    // Values treated as absent.
    for (const char* absent : {"", "\"\"", "inf", "-inf", "nan", "1e999", "-1e999"})
        EXPECT_EQ(size(absent), 5.0f) << absent;
    // Only the first 63 characters of the value are read.
    EXPECT_EQ(size(std::string(62, '0') + "3"), 3.0f);
    EXPECT_EQ(size(std::string(63, '0') + "3"), 1.0f);
}

TEST(AppSettings, FlagsAndModesAcceptOnlyZeroOrOneEachOnItsOwn)
{
    const AppSettings set = LoadedFrom(
        "[Display]\nRoundPoints=0\nShowAxisGizmo=0\n[View]\nProjMode=1\nNavMode=1\n");
    EXPECT_FALSE(set.roundPoints);
    EXPECT_FALSE(set.showAxisGizmo);
    EXPECT_EQ(set.projection, 1);
    EXPECT_EQ(set.navMode, 1);

    // Rejected values leave their own field alone; the others still apply.
    const AppSettings mixed = LoadedFrom(
        "[Display]\nRoundPoints=2\nShowAxisGizmo=0\n[View]\nProjMode=7\nNavMode=-1\nsegBlend=20\n");
    EXPECT_TRUE(mixed.roundPoints);
    EXPECT_FALSE(mixed.showAxisGizmo);
    EXPECT_EQ(mixed.projection, 0);
    EXPECT_EQ(mixed.navMode, 0);
    EXPECT_EQ(mixed.segBlend, 20 * 0.01f);

    // Leading digits decide: "1 (fly)" is 1, "yes" is 0.
    const AppSettings textual = LoadedFrom("[Display]\nRoundPoints=yes\n[View]\nNavMode=1 (fly)\n");
    EXPECT_FALSE(textual.roundPoints);
    EXPECT_EQ(textual.navMode, 1);
}

TEST(AppSettings, BackgroundNeedsAllThreeChannelsAndHasNoUpperClamp)
{
    AppSettings start;
    start.background = {0.25f, 0.5f, 0.75f};
    EXPECT_EQ(LoadedFrom("[Display]\nBackGroundR=255\nBackGroundG=128\n", start).background, start.background);
    EXPECT_EQ(LoadedFrom("[Display]\nBackGroundR=255\nBackGroundG=128\nBackGroundB=-1\n", start).background,
              start.background);
    EXPECT_EQ(LoadedFrom("[Display]\nBackGroundR=255\nBackGroundG=128\nBackGroundB=\n", start).background,
              start.background);

    const AppSettings bright = LoadedFrom("[Display]\nBackGroundR=300\nBackGroundG=255\nBackGroundB=0\n", start);
    EXPECT_EQ(bright.background, Eigen::Vector3f(300.0f / 255.0f, 1.0f, 0.0f));
    const std::string written = WrittenFrom(bright);
    EXPECT_NE(written.find("BackGroundR=300\nBackGroundG=255\nBackGroundB=0\n"), std::string::npos) << written;
}

TEST(AppSettings, BackgroundChannelsRoundTripThroughWholeNumbers)
{
    for (int value = 0; value <= 255; ++value) {
        const std::string v = std::to_string(value);
        const AppSettings loaded =
            LoadedFrom("[Display]\nBackGroundR=" + v + "\nBackGroundG=" + v + "\nBackGroundB=" + v + "\n");
        const std::string written = WrittenFrom(loaded);
        ASSERT_NE(written.find("BackGroundR=" + v + "\nBackGroundG=" + v + "\nBackGroundB=" + v + "\n"),
                  std::string::npos) << written;
    }
    AppSettings odd;
    odd.background = {0.5f, -0.2f, std::numeric_limits<float>::quiet_NaN()};
    const std::string written = WrittenFrom(odd);
    EXPECT_NE(written.find("BackGroundR=128\nBackGroundG=-50\nBackGroundB=0\n"), std::string::npos) << written;
}

TEST(AppSettings, BlendIsAWholePercentFromZeroToHundred)
{
    const auto blend = [](const std::string& value) {
        return LoadedFrom("[View]\nsegBlend=" + value + "\n").segBlend;
    };
    EXPECT_EQ(blend("100"), 1.0f);
    EXPECT_EQ(blend("0"), 0.0f);
    EXPECT_EQ(blend("30"), 0.29999998f);
    EXPECT_EQ(blend("101"), 0.5f);
    EXPECT_EQ(blend("-5"), 0.5f);
    EXPECT_EQ(blend(""), 0.5f);
    EXPECT_EQ(blend("99999999999"), 0.5f);

    const auto written = [](float value) {
        AppSettings settings;
        settings.segBlend = value;
        return WrittenValue(settings, "View", "segBlend");
    };
    EXPECT_EQ(written(blend("30")), "30");
    EXPECT_EQ(written(0.555f), "56");
    EXPECT_EQ(written(1.0f), "100");
    EXPECT_EQ(written(std::numeric_limits<float>::infinity()), "2147483647");
    for (int percent = 0; percent <= 100; ++percent)
        EXPECT_EQ(written(blend(std::to_string(percent))), std::to_string(percent));
}

TEST(AppSettings, SeedIsReadAsAnUnsignedNumber)
{
    const auto seed = [](const std::string& value) {
        return LoadedFrom("[View]\nSegSeed=" + value + "\n").segSeed;
    };
    EXPECT_EQ(seed("4294967295"), 4294967295u);
    EXPECT_EQ(seed("12abc"), 12u);
    EXPECT_EQ(seed("abc"), 0u);
    EXPECT_EQ(seed("-1"), 4294967295u);
    EXPECT_EQ(seed("99999999999"), 4294967295u);
    EXPECT_EQ(seed(""), 1u);

    AppSettings settings;
    settings.segSeed = 4294967295u;
    EXPECT_EQ(WrittenValue(settings, "View", "SegSeed"), "4294967295");
}

TEST(AppSettings, NamesMatchRegardlessOfCase)
{
    const AppSettings loaded = LoadedFrom("[display]\nPOINTSIZE=4\nbackgroundr=1\nBACKGROUNDG=2\nBackgroundB=3\n"
                                          "[VIEW]\nsegblend=10\nsegseed=9\n");
    EXPECT_EQ(loaded.pointSize, 4.0f);
    EXPECT_EQ(loaded.background, Eigen::Vector3f(1.0f, 2.0f, 3.0f) / 255.0f);
    EXPECT_EQ(loaded.segBlend, 10 * 0.01f);
    EXPECT_EQ(loaded.segSeed, 9u);

    // Writing replaces those keys in place, in their spelling, without adding duplicates.
    EXPECT_EQ(WrittenFrom(AppSettings{}, "[display]\nPOINTSIZE=4\n"),
              "[display]\nPOINTSIZE=2.0\nRoundPoints=1\nBackGroundR=0\nBackGroundG=0\nBackGroundB=0\n"
              "ShowAxisGizmo=1\n\n[View]\nProjMode=0\nNavMode=0\nsegBlend=50\nSegSeed=1\n");
}

TEST(AppSettings, PointSizeIsWrittenWithOneDecimal)
{
    const auto written = [](float size) {
        AppSettings settings;
        settings.pointSize = size;
        return WrittenValue(settings, "Display", "PointSize");
    };
    EXPECT_EQ(written(2.0f), "2.0");
    EXPECT_EQ(written(7.25f), "7.2");  // an exact tie rounds to even, as printf does
    EXPECT_EQ(written(7.26f), "7.3");
    EXPECT_EQ(written(32.0f), "32.0");
    EXPECT_EQ(written(1234567.9f), "1234567.9");
}

TEST(AppSettings, SettingsFileSitsBesideTheExecutable)
{
    EXPECT_EQ(SettingsFilePathFor("/opt/orrisk/bin/orrisk"), fs::path("/opt/orrisk/bin/orrisk.ini"));
    EXPECT_EQ(SettingsFilePathFor("/opt/orrisk/bin/viewer.bin"), fs::path("/opt/orrisk/bin/viewer.ini"));
    EXPECT_EQ(SettingsFilePathFor("/home/u/.local/bin/orrisk"), fs::path("/home/u/.local/bin/orrisk.ini"));
    EXPECT_EQ(SettingsFilePathFor("/my.tools/viewer"), fs::path("/my.tools/viewer.ini"));
    EXPECT_EQ(SettingsFilePathFor("/a/viewer.tar.gz"), fs::path("/a/viewer.tar.ini"));
    EXPECT_EQ(SettingsFilePathFor("/a/.hidden"), fs::path("/a/.hidden.ini"));
    EXPECT_EQ(SettingsFilePathFor("/opt/bin/orrisk (deleted)"), fs::path("/opt/bin/orrisk.ini"));

    const fs::path running = SettingsFilePath();
    EXPECT_TRUE(running.is_absolute()) << running;
    EXPECT_EQ(running.filename(), "orrisk_unit_tests.ini");
}

TEST(AppSettings, MissingFileChangesNothingAndSaveCreatesIt)
{
    testsupport::ScratchDir dir;
    const fs::path file = dir.File("orrisk.ini");
    AppSettings settings;
    settings.pointSize = 9.0f;
    LoadSettingsFrom(file, settings);
    EXPECT_EQ(settings.pointSize, 9.0f);
    EXPECT_FALSE(fs::exists(file));

    ASSERT_TRUE(SaveSettingsTo(file, AppSettings{}));
    EXPECT_EQ(testsupport::ReadWholeFile(file), kStartingFile);
    EXPECT_EQ(DirectoryEntries(dir.Path()), std::vector<std::string>{"orrisk.ini"});

    AppSettings changed;
    changed.pointSize = 4.5f;
    changed.roundPoints = false;
    changed.background = {1.0f, 0.0f, 0.2f};
    changed.showAxisGizmo = false;
    changed.projection = 1;
    changed.navMode = 1;
    changed.segBlend = 0.3f;
    changed.segSeed = 123456789u;
    ASSERT_TRUE(SaveSettingsTo(file, changed));
    AppSettings reloaded;
    LoadSettingsFrom(file, reloaded);
    EXPECT_EQ(reloaded.pointSize, 4.5f);
    EXPECT_FALSE(reloaded.roundPoints);
    EXPECT_EQ(reloaded.background, Eigen::Vector3f(1.0f, 0.0f, 51.0f / 255.0f));
    EXPECT_FALSE(reloaded.showAxisGizmo);
    EXPECT_EQ(reloaded.projection, 1);
    EXPECT_EQ(reloaded.navMode, 1);
    EXPECT_EQ(reloaded.segBlend, 30 * 0.01f);
    EXPECT_EQ(reloaded.segSeed, 123456789u);
    EXPECT_EQ(DirectoryEntries(dir.Path()), std::vector<std::string>{"orrisk.ini"});
}

TEST(AppSettings, SaveKeepsEverythingElseInTheFile)
{
    testsupport::ScratchDir dir;
    const fs::path file = dir.Write("orrisk.ini",
                                    "; Orrisk settings\r\n"
                                    "[Recent]\r\n"
                                    "File1=/data/scan.ply\r\n"
                                    "\r\n"
                                    "[Display]\r\n"
                                    "PointSize = 3.0\r\n"
                                    "Theme=dark\r\n"
                                    "; the view keys follow\r\n");
    ::chmod(file.c_str(), 0640);
    ASSERT_TRUE(SaveSettingsTo(file, AppSettings{}));
    EXPECT_EQ(testsupport::ReadWholeFile(file),
              "; Orrisk settings\r\n"
              "[Recent]\r\n"
              "File1=/data/scan.ply\r\n"
              "\r\n"
              "[Display]\r\n"
              "PointSize = 2.0\r\n"
              "Theme=dark\r\n"
              "RoundPoints=1\r\n"
              "BackGroundR=0\r\n"
              "BackGroundG=0\r\n"
              "BackGroundB=0\r\n"
              "ShowAxisGizmo=1\r\n"
              "; the view keys follow\r\n"
              "\r\n"
              "[View]\r\n"
              "ProjMode=0\r\n"
              "NavMode=0\r\n"
              "segBlend=50\r\n"
              "SegSeed=1\r\n");
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(DirectoryEntries(dir.Path()), std::vector<std::string>{"orrisk.ini"});
}

TEST(AppSettings, SaveWritesThroughASymbolicLink)
{
    testsupport::ScratchDir dir;
    fs::create_directory(dir.File("real"));
    const fs::path target = dir.Write("real/orrisk.ini", "[Display]\nPointSize=9.0\n");
    const fs::path link = dir.File("orrisk.ini");
    fs::create_symlink(target, link);
    ASSERT_TRUE(SaveSettingsTo(link, AppSettings{}));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(testsupport::ReadWholeFile(target), kStartingFile);
}

TEST(AppSettings, UnreadableContentIsNeverLoadedAndNeverDestroyed)
{
    testsupport::ScratchDir dir;
    AppSettings settings;
    settings.pointSize = 9.0f;


    // Something that is not a regular file is left alone.
    const fs::path folder = dir.File("folder.ini");
    fs::create_directory(folder);
    LoadSettingsFrom(folder, settings);
    EXPECT_FALSE(SaveSettingsTo(folder, AppSettings{}));
    EXPECT_TRUE(fs::is_directory(folder));
    // Far larger than any settings file: not ours, not read, not replaced, and the log says so.
    std::string huge = "[Display]\nPointSize=4.0\n";
    huge.resize((std::size_t{16} << 20) + 1, '\n');
    const fs::path big = dir.Write("big.ini", huge);
    {
        ScopedLogCapture log;
        LoadSettingsFrom(big, settings);
        EXPECT_FALSE(SaveSettingsTo(big, AppSettings{}));
        ASSERT_EQ(log.Lines().size(), 2u);
        EXPECT_NE(log.Lines()[0].find("big.ini is larger than 16 MiB"), std::string::npos) << log.Text();
        EXPECT_NE(log.Lines()[1].find("not saved"), std::string::npos) << log.Text();
    }
    EXPECT_EQ(fs::file_size(big), huge.size());
    const fs::path fifo = dir.File("fifo.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    LoadSettingsFrom(fifo, settings);  // must not block
    EXPECT_FALSE(SaveSettingsTo(fifo, AppSettings{}));
    EXPECT_EQ(settings.pointSize, 9.0f);

    EXPECT_FALSE(SaveSettingsTo("", AppSettings{}));
}

TEST(AppSettings, LinesWithNulBytesAreKeptByteForByte)
{
    testsupport::ScratchDir dir;
    using namespace std::string_literals;
    const std::string others = "; notes\0with a NUL\n[Other]\nkey=\xff\xfe\0\0value\n"s;
    const fs::path file = dir.Write("orrisk.ini", others + "[Display]\nPointSize=4.0\n");
    AppSettings settings;
    LoadSettingsFrom(file, settings);
    EXPECT_EQ(settings.pointSize, 4.0f);
    settings.pointSize = 6.0f;
    ASSERT_TRUE(SaveSettingsTo(file, settings));
    const std::string saved = testsupport::ReadWholeFile(file);
    ASSERT_GE(saved.size(), others.size());
    EXPECT_EQ(saved.substr(0, others.size()), others);
    EXPECT_NE(saved.find("[Display]\nPointSize=6.0\nRoundPoints=1\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("[View]\nProjMode=0\n"), std::string::npos) << saved;
}

TEST(AppSettings, FailedSaveLeavesTheOldFileAndNoTemporaryFile)
{
    testsupport::ScratchDir dir;
    // A name at the file system's length limit leaves no room for a temporary name beside it.
    const std::string longName = std::string(251, 'o') + ".ini";
    const fs::path file = dir.Write(longName, "[Display]\nPointSize=9.0\n");
    EXPECT_FALSE(SaveSettingsTo(file, AppSettings{}));
    EXPECT_EQ(testsupport::ReadWholeFile(file), "[Display]\nPointSize=9.0\n");
    EXPECT_EQ(DirectoryEntries(dir.Path()), std::vector<std::string>{longName});
}

TEST(AppSettings, WithoutPermissionTheOldFileStays)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the super-user";
    testsupport::ScratchDir dir;
    const fs::path file = dir.Write("orrisk.ini", "[Display]\nPointSize=9.0\n");
    fs::permissions(dir.Path(), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(SaveSettingsTo(file, AppSettings{}));
    fs::permissions(dir.Path(), fs::perms::owner_all);
    EXPECT_EQ(testsupport::ReadWholeFile(file), "[Display]\nPointSize=9.0\n");
    EXPECT_EQ(DirectoryEntries(dir.Path()), std::vector<std::string>{"orrisk.ini"});

    // A file that may not be read cannot have its content kept, so it is not replaced.
    fs::permissions(file, fs::perms::owner_write);
    AppSettings settings;
    settings.pointSize = 5.0f;
    LoadSettingsFrom(file, settings);
    EXPECT_EQ(settings.pointSize, 5.0f);
    EXPECT_FALSE(SaveSettingsTo(file, AppSettings{}));
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(testsupport::ReadWholeFile(file), "[Display]\nPointSize=9.0\n");
}

TEST(AppSettings, SaveOfUnchangedSettingsLeavesTheFileAlone)
{
    testsupport::ScratchDir dir;
    const fs::path file = dir.Write("orrisk.ini", kStartingFile);
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    ASSERT_TRUE(SaveSettingsTo(file, AppSettings{}));
    struct stat after {};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST(AppSettings, LargeFilesLoadWithTheirSettings)
{
    testsupport::ScratchDir dir;
    std::string text;
    for (int i = 0; i < 1000000; ++i)
        text += "k" + std::to_string(i) + "=v\n";
    text += "[Display]\nPointSize=6.0\n";
    const fs::path file = dir.Write("orrisk.ini", text);
    AppSettings settings;
    LoadSettingsFrom(file, settings);
    EXPECT_EQ(settings.pointSize, 6.0f);
    ASSERT_TRUE(SaveSettingsTo(file, settings));
    const std::string saved = testsupport::ReadWholeFile(file);
    EXPECT_EQ(saved.compare(0, text.size() - 1, text, 0, text.size() - 1), 0);
}

TEST(AppSettings, PointSizesAreClampedToTheRangeAndNaNIsLeftToTheCaller)
{
    EXPECT_EQ(ClampPointSize(0.25, 1.0f, 32.0f), 1.0);
    EXPECT_EQ(ClampPointSize(1e300, 1.0f, 32.0f), 32.0);
    EXPECT_EQ(ClampPointSize(-std::numeric_limits<double>::infinity(), 1.0f, 32.0f), 1.0);
    EXPECT_EQ(ClampPointSize(2.5, 1.0f, 32.0f), 2.5);
    EXPECT_TRUE(std::isnan(ClampPointSize(std::nan(""), 1.0f, 32.0f)));
}
