#include "AllocationCounter.h"
#include "HostileFixture.h"
#include "settings/AppSettings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

using hostile::Cost;
using hostile::Measure;

AppSettings Changed()
{
    AppSettings settings;
    settings.pointSize = 7.5f;
    settings.segSeed = 99;
    settings.navMode = 1;
    return settings;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

void Record(const std::string& name, const Cost& cost)
{
    ::testing::Test::RecordProperty(name + ".peak_bytes", std::to_string(cost.peakBytes));
    ::testing::Test::RecordProperty(name + ".milliseconds", std::to_string(static_cast<long long>(cost.seconds * 1000)));
}

}  // namespace

TEST(HostileSettings, AMillionLinesLoadAndSaveKeepingEveryOtherLine)
{
    testsupport::ScratchDir dir;
    std::string text = "; the user's own notes\n[Display]\n";
    for (int i = 0; i < 500000; ++i)
        text += "Note" + std::to_string(i) + "=kept\n";
    text += "PointSize=4.0\n[Elsewhere]\n";
    for (int i = 0; i < 500000; ++i)
        text += "k" + std::to_string(i) + "=v\n";
    text += "[View]\nSegSeed=12\n";
    const auto file = dir.Write("orrisk.ini", text);

    AppSettings loaded;
    const Cost load = Measure([&] {
        LoadSettingsFrom(file, loaded);
        return true;
    });
    Record("million_lines.load", load);
    EXPECT_EQ(loaded.pointSize, 4.0f);
    EXPECT_EQ(loaded.segSeed, 12u);
    EXPECT_LE(load.peakBytes, text.size() + hostile::kSmallConstant);

    const Cost save = Measure([&] { return SaveSettingsTo(file, Changed()); });
    Record("million_lines.save", save);
    ASSERT_TRUE(save.result);
    // The file as read, and the copy being edited.
    EXPECT_LE(save.peakBytes, 2 * text.size() + hostile::kSmallConstant);
    AppSettings reread;
    LoadSettingsFrom(file, reread);
    EXPECT_EQ(reread, Changed());
    // Every line of the user's stays where it was; the new keys join their sections.
    std::string expected = text;
    expected.replace(expected.find("PointSize=4.0"), 13, "PointSize=7.5");
    expected.replace(expected.find("SegSeed=12"), 10, "SegSeed=99");
    const std::vector<std::string> savedLines = Lines(testsupport::ReadWholeFile(file));
    const std::vector<std::string> expectedLines = Lines(expected);
    std::size_t matched = 0;
    std::size_t added = 0;
    for (const std::string& line : savedLines) {
        if (matched < expectedLines.size() && line == expectedLines[matched])
            ++matched;
        else
            ++added;
    }
    EXPECT_EQ(matched, expectedLines.size());
    EXPECT_EQ(added, 8u) << "the eight keys the file lacked";
}

TEST(HostileSettings, BinaryGarbageNeverBecomesSettings)
{
    testsupport::ScratchDir dir;
    std::mt19937 random(7);
    std::string noise(std::size_t{4} << 20, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());

    // With NUL bytes it is still kept whole: nothing in it reads as a setting, and a save
    // adds our sections after it.
    const auto binary = dir.Write("binary.ini", noise);
    AppSettings settings;
    const Cost load = Measure([&] {
        LoadSettingsFrom(binary, settings);
        return true;
    });
    Record("binary.load", load);
    EXPECT_EQ(settings, AppSettings());
    EXPECT_LE(load.peakBytes, noise.size() + hostile::kSmallConstant);
    ASSERT_TRUE(SaveSettingsTo(binary, Changed()));
    LoadSettingsFrom(binary, settings);
    EXPECT_EQ(settings, Changed());
    EXPECT_EQ(testsupport::ReadWholeFile(binary).compare(0, noise.size(), noise), 0);

    // Without NUL bytes it is text, however odd: nothing in it reads as a setting, and a save
    // keeps all of it in front of the sections it adds.
    for (char& c : noise)
        if (c == '\0' || c == '[' || c == '=')
            c = 'x';
    const auto text = dir.Write("noise.ini", noise);
    AppSettings untouched;
    LoadSettingsFrom(text, untouched);
    EXPECT_EQ(untouched, AppSettings());
    const Cost save = Measure([&] { return SaveSettingsTo(text, Changed()); });
    Record("noise.save", save);
    ASSERT_TRUE(save.result);
    EXPECT_LE(save.peakBytes, 2 * noise.size() + hostile::kSmallConstant);
    const std::string saved = testsupport::ReadWholeFile(text);
    EXPECT_EQ(saved.compare(0, noise.size(), noise), 0);
    LoadSettingsFrom(text, untouched);
    EXPECT_EQ(untouched, Changed());
}
