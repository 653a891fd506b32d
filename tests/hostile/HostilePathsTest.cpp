#include "HostileFixture.h"
#include "settings/AppSettings.h"
#include "unit/LasTestFile.h"
#include "support/DocumentRecords.h"

#include <filesystem>
#include <string>

namespace {

using hostile::CannotOpenMessage;
using hostile::HostileDocument;

using HostilePaths = HostileDocument;

// Bytes that no UTF-8 text holds: a lone continuation byte, an overlong form, a byte that
// never occurs, a cut-off sequence.
const std::string kNotUtf8 = "\x80\xC0\xAF\xFF\xE2\x82";

const std::string kCloud = "ply\nformat ascii 1.0\nelement vertex 2\nproperty float x\nproperty float y\n"
                           "property float z\nend_header\n1 2 3\n4 5 6\n";
const std::string kPoses = R"({"frames":[{"transform_matrix":[[1,0,0,7],[0,1,0,8],[0,0,1,9],[0,0,0,1]]}]})";

std::string LasBytes()
{
    lastest::LasFile las;
    las.points = lastest::MakePoints(4);
    return las.Bytes();
}

}  // namespace

TEST_F(HostilePaths, NamesThatAreNotUtf8OpenOrFailCleanly)
{
    const std::string folder = (dir.Path() / kNotUtf8).string();
    for (const std::string& missing : {folder + ".ply", folder + "/cloud.las", dir.File("cloud" + kNotUtf8).string()}) {
        EXPECT_FALSE(Open(missing).result);
        EXPECT_EQ(desktop.messageBoxes, std::vector<std::string>{CannotOpenMessage(missing)});
    }

    ASSERT_TRUE(std::filesystem::create_directory(folder));
    EXPECT_TRUE(Open(dir.Write(kNotUtf8 + "/" + kNotUtf8 + ".ply", kCloud)).result);
    EXPECT_EQ(testsupport::CloudOf(document).positions.size(), 2u);
    EXPECT_EQ(document.Source(), folder + "/" + kNotUtf8 + ".ply");
    EXPECT_TRUE(Open(dir.Write(kNotUtf8 + "/" + kNotUtf8 + ".las", LasBytes())).result);
    EXPECT_EQ(testsupport::CloudOf(document).positions.size(), 4u);
    // The extension is still found behind such bytes.
    const auto other = dir.Write(kNotUtf8 + "/cloud." + kNotUtf8, kCloud);
    EXPECT_FALSE(Open(other).result);
    EXPECT_EQ(desktop.messageBoxes, std::vector<std::string>{hostile::kPointCloudFailed});

    desktop.messageBoxes.clear();
    EXPECT_TRUE(document.OpenCameraPoses(dir.Write(kNotUtf8 + "/" + kNotUtf8 + ".json", kPoses).string()));
    EXPECT_TRUE(desktop.messageBoxes.empty());
    ASSERT_EQ(document.CameraPoses().frames.size(), 1u);
    EXPECT_EQ(document.CameraPoses().frames[0].transform(0, 3), 7.0);
    EXPECT_FALSE(document.OpenCameraPoses(folder + "/missing.json"));

    const std::filesystem::path ini = dir.File(kNotUtf8 + "/" + kNotUtf8 + ".ini");
    AppSettings settings;
    settings.segSeed = 31;
    ASSERT_TRUE(SaveSettingsTo(ini, settings));
    AppSettings loaded;
    LoadSettingsFrom(ini, loaded);
    EXPECT_EQ(loaded, settings);
    EXPECT_EQ(SettingsFilePathFor(folder + "/orrisk").string(), folder + "/orrisk.ini");
}

TEST_F(HostilePaths, DirectoriesGivenAsFilesAreTurnedAway)
{
    for (const char* name : {"folder.ply", "folder.las", "folder.json", "folder"}) {
        const std::filesystem::path folder = dir.File(name);
        ASSERT_TRUE(std::filesystem::create_directory(folder));
        EXPECT_FALSE(Open(folder).result);
        EXPECT_EQ(desktop.messageBoxes, std::vector<std::string>{CannotOpenMessage(folder.string())});
    }
    ASSERT_TRUE(document.OpenCameraPoses(dir.Write("poses.json", kPoses).string()));
    desktop.messageBoxes.clear();
    EXPECT_FALSE(LoadPoses(dir.File("folder.json")).result);
    EXPECT_EQ(desktop.messageBoxes, std::vector<std::string>{hostile::kCameraPosesFailed + "Cannot open file."});
    EXPECT_EQ(document.CameraPoses().frames.size(), 1u);

    // A folder where the settings file belongs is neither read nor replaced.
    const std::filesystem::path ini = dir.File("folder.ini");
    ASSERT_TRUE(std::filesystem::create_directory(ini));
    AppSettings settings;
    LoadSettingsFrom(ini, settings);
    EXPECT_EQ(settings, AppSettings());
    EXPECT_FALSE(SaveSettingsTo(ini, AppSettings()));
    EXPECT_TRUE(std::filesystem::is_directory(ini));
}
