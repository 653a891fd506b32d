#include "LasTestFile.h"
#include "document/Document.h"
#include "support/DocumentRecords.h"
#include "document/DocumentView.h"
#include "platform/Log.h"
#include "support/RecordingDesktop.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

using testsupport::CloudOf;
using testsupport::RecordingDesktop;
using testsupport::SplatsOf;
using testsupport::ScratchDir;
using testsupport::TestDataFile;

const std::string kPointCloudFailed =
    "Failed to load the point cloud file.\nPlease check the file format (PLY / LAS) and its contents.";
const std::string kSplatFailed = "Failed to load the 3D Gaussian Splatting file.\nPlease check the file contents.";

const std::string kCloudPly = "ply\nformat ascii 1.0\nelement vertex 2\nproperty float x\nproperty float y\n"
                              "property float z\nend_header\n1 2 3\n3 6 7\n";
const std::string kSplatPly =
    "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\nproperty float z\n"
    "property float f_dc_0\nproperty float f_dc_1\nproperty float f_dc_2\nproperty float opacity\n"
    "property float scale_0\nproperty float scale_1\nproperty float scale_2\nproperty float rot_0\n"
    "property float rot_1\nproperty float rot_2\nproperty float rot_3\nend_header\n"
    "5 6 7 0 0 0 0 0 0 0 1 0 0 0\n";
const std::string kPoses = R"({"frames":[{"transform_matrix":[[1,0,0,2],[0,1,0,3],[0,0,1,4],[0,0,0,1]]}]})";

std::string LasBytes()
{
    lastest::LasFile las;
    las.points = {{100, 200, 300}, {400, 500, 600}, {700, 800, 900}};
    return las.Bytes();
}

// A view that records its notifications and may run something while being told.
class RecordingView final : public IDocumentView {
public:
    void OnSceneChanged() override
    {
        ++changes;
        if (onUpdate)
            onUpdate();
    }
    int changes = 0;
    std::function<void()> onUpdate;
};

// A document with one registered view, whose log output is collected.
struct DocumentFixture : ::testing::Test {
    DocumentFixture() { document.AddView(&view); }

    bool Open(const std::filesystem::path& path) { return document.Open(path.string()); }

    RecordingDesktop desktop;
    Document document{desktop};
    RecordingView view;
    ScratchDir dir;
    ScopedLogCapture log;
};

using DocumentOpen = DocumentFixture;
using DocumentViews = DocumentFixture;
using DocumentCameraPoses = DocumentFixture;

}  // namespace

TEST_F(DocumentOpen, ExtensionChoosesTheReaderWhateverItsCase)
{
    for (const char* name : {"cloud.ply", "cloud.PLY", "cloud.Ply"}) {
        ASSERT_TRUE(Open(dir.Write(name, kCloudPly))) << name;
        EXPECT_EQ(document.Kind(), SceneKind::PointCloud);
        EXPECT_EQ(CloudOf(document).positions.size(), 2u);
    }
    for (const char* name : {"scan.las", "scan.LAS", "scan.Las"}) {
        ASSERT_TRUE(Open(dir.Write(name, LasBytes()))) << name;
        EXPECT_EQ(document.Kind(), SceneKind::PointCloud);
        EXPECT_EQ(CloudOf(document).positions.size(), 3u);
    }
    EXPECT_TRUE(desktop.messageBoxes.empty());
    EXPECT_EQ(view.changes, 6);
}

TEST_F(DocumentOpen, OtherNamesGetThePointCloudMessage)
{
    std::filesystem::create_directories(dir.File("data.old"));
    const std::filesystem::path names[] = {"cloud.laz", "cloud", "cloud.", "cloud.txt", "cloud.plyx",
                                           std::filesystem::path("data.old") / "cloud"};
    for (const std::filesystem::path& name : names) {
        desktop.messageBoxes.clear();
        EXPECT_FALSE(Open(dir.Write(name.string(), kCloudPly))) << name;
        EXPECT_EQ(desktop.messageBoxes, std::vector<std::string>{kPointCloudFailed}) << name;
        EXPECT_EQ(document.Kind(), SceneKind::None);
    }
    // PLY content named .las goes to the LAS reader, which refuses it.
    desktop.messageBoxes.clear();
    EXPECT_FALSE(Open(dir.Write("cloud.las", kCloudPly)));
    EXPECT_EQ(desktop.messageBoxes, std::vector<std::string>{kPointCloudFailed});
    EXPECT_EQ(view.changes, 0);
}

TEST_F(DocumentOpen, SplatHeadersGoToTheSplatLoaderWhateverTheName)
{
    for (const char* name : {"scene.ply", "scene.las", "scene"}) {
        ASSERT_TRUE(Open(dir.Write(name, kSplatPly))) << name;
        EXPECT_EQ(document.Kind(), SceneKind::GaussianSplats);
        EXPECT_EQ(SplatsOf(document).positions.size(), 1u);
        EXPECT_EQ(SplatsOf(document).origin, Eigen::Vector3d(5, 6, 7));
    }
    EXPECT_TRUE(desktop.messageBoxes.empty());

    // A splat file that fails gets the splat message only: no point-cloud reader is tried.
    std::string broken = kSplatPly;
    broken.replace(broken.find("property float opacity"), 22, "property float opacitx\ncomment opacity");
    log.Clear();
    EXPECT_FALSE(Open(dir.Write("broken.ply", broken)));
    EXPECT_EQ(desktop.messageBoxes, std::vector<std::string>{kSplatFailed});
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"[CGaussianPlyLoader] failed to read opacity."});
    EXPECT_EQ(document.Kind(), SceneKind::None);
    EXPECT_EQ(view.changes, 3);
}

TEST_F(DocumentOpen, EachOpenEmptiesTheWholeDocumentFirst)
{
    ASSERT_TRUE(Open(dir.Write("scene.ply", kSplatPly)));
    ASSERT_TRUE(document.OpenCameraPoses(dir.Write("transforms.json", kPoses).string()));
    ASSERT_TRUE(Open(dir.Write("cloud.ply", kCloudPly)));
    EXPECT_EQ(document.Kind(), SceneKind::PointCloud);
    EXPECT_EQ(document.Splats(), nullptr);
    EXPECT_TRUE(document.CameraPoses().frames.empty());

    // A failed open leaves nothing of the scene before it.
    EXPECT_FALSE(Open(dir.Write("cloud.txt", kCloudPly)));
    EXPECT_EQ(document.Kind(), SceneKind::None);
    EXPECT_EQ(document.PointCloud(), nullptr);
    EXPECT_EQ(view.changes, 2);
}

TEST_F(DocumentOpen, TitleFollowsTheOpenFileAndIsClearedByAFailedOpen)
{
    const std::string cloud = dir.Write("cloud.ply", kCloudPly).string();
    std::size_t titlesWhenTold = 99;
    view.onUpdate = [&] { titlesWhenTold = desktop.titleRefreshes.size(); };
    ASSERT_TRUE(Open(cloud));
    EXPECT_EQ(document.Source(), cloud);
    EXPECT_EQ(desktop.titleRefreshes, std::vector<std::string>{cloud});
    EXPECT_EQ(titlesWhenTold, 0u);  // the views hear of the new scene before the title changes

    // The earlier scene is gone after a failed open, so its name must go from the title too.
    EXPECT_FALSE(Open(dir.Write("cloud.laz", kCloudPly)));
    EXPECT_EQ(document.Source(), "");
    EXPECT_EQ(desktop.titleRefreshes, (std::vector<std::string>{cloud, ""}));
    EXPECT_EQ(desktop.calls, (std::vector<std::string>{"RefreshFrameTitle", "ShowMessageBox", "RefreshFrameTitle"}));

    ASSERT_TRUE(Open(cloud));
    document.Clear();
    EXPECT_EQ(document.Source(), "");
    EXPECT_EQ(document.Kind(), SceneKind::None);
    EXPECT_EQ(document.PointCloud(), nullptr);
    EXPECT_EQ(desktop.titleRefreshes.back(), "");
}

TEST_F(DocumentOpen, FailuresSayWhyInTheBoxDetails)
{
    struct Case {
        std::filesystem::path path;
        std::string details;
    };
    const std::string shortBody = kCloudPly.substr(0, kCloudPly.size() - 6);
    std::filesystem::create_directories(dir.File("folder.ply"));
    const Case cases[] = {
        {dir.Write("short.ply", shortBody), "PLY parser: unexpected end of file in element vertex"},
        {dir.Write("faces.ply", "ply\nformat ascii 1.0\nelement face 0\nproperty list uchar int i\nend_header\n"),
         "PLY: the file has no vertex element"},
        {dir.Write("cloud.txt", kCloudPly), "the file is no splat scene, and its name ends in none of .ply, .las, .laz, .spz, .sog and .splat"},
        {dir.File("missing.ply"), "the file does not exist"},
        {dir.File("folder.ply"), "it is not a regular file"},
    };
    for (const Case& c : cases) {
        desktop.messageBoxes.clear();
        desktop.messageBoxDetails.clear();
        EXPECT_FALSE(Open(c.path)) << c.path;
        ASSERT_EQ(desktop.messageBoxes.size(), 1u) << c.path;
        EXPECT_EQ(desktop.messageBoxDetails.front(), c.details) << c.path;
    }
}

TEST_F(DocumentOpen, AFileThatCannotBeOpenedChangesNothing)
{
    const std::string cloud = dir.Write("cloud.ply", kCloudPly).string();
    ASSERT_TRUE(Open(cloud));
    ASSERT_TRUE(document.OpenCameraPoses(dir.Write("transforms.json", kPoses).string()));
    desktop.calls.clear();
    view.changes = 0;

    // A named pipe without a writer must not block the open either.
    ASSERT_EQ(::mkfifo(dir.File("pipe.ply").c_str(), 0600), 0);
    for (const std::filesystem::path& path : {dir.File("missing.ply"), dir.Path(), dir.File("pipe.ply")}) {
        desktop.messageBoxes.clear();
        EXPECT_FALSE(Open(path));
        EXPECT_EQ(desktop.messageBoxes, std::vector<std::string>{"ファイル " + path.string() + " を開けませんでした。"});
        EXPECT_EQ(document.Kind(), SceneKind::PointCloud);
        EXPECT_EQ(CloudOf(document).positions.size(), 2u);
        EXPECT_EQ(document.CameraPoses().frames.size(), 1u);
        EXPECT_EQ(document.Source(), cloud);
    }
    EXPECT_EQ(desktop.calls, std::vector<std::string>(3, "ShowMessageBox"));
    EXPECT_EQ(view.changes, 0);
    EXPECT_TRUE(log.Text().empty());
}

TEST_F(DocumentOpen, CorpusFilesGetTheirOutcome)
{
    ORRISK_REQUIRE_TESTDATA();
    const std::pair<const char*, SceneKind> loads[] = {
        {"ply/ext_upper_case.PLY", SceneKind::PointCloud},
        {"ply/ext_mixed_case.Ply", SceneKind::PointCloud},
        {"las/dot_LAS_upper.LAS", SceneKind::PointCloud},
        {"las/autzen.las", SceneKind::PointCloud},
        {"splat/donut_fused.ply", SceneKind::GaussianSplats},
        {"splat/splat_named_as.las", SceneKind::GaussianSplats},
        {"splat/rgb_splat_without_fdc_key.ply", SceneKind::PointCloud},
        {"splat/sniff_300_lines_outside.ply", SceneKind::PointCloud},
        {"splat/splat_first_line_leading_space.ply", SceneKind::PointCloud},
    };
    for (const auto& [name, kind] : loads) {
        EXPECT_TRUE(Open(TestDataFile(name))) << name;
        EXPECT_EQ(document.Kind(), kind) << name;
    }
    EXPECT_TRUE(desktop.messageBoxes.empty());

    const std::pair<const char*, std::string> failures[] = {
        {"ply/ext_dotted.dir/cloud_in_dotted_dir", kPointCloudFailed},
        {"ply/ext_none_ply_content", kPointCloudFailed},
        {"ply/ext_trailing_dot.", kPointCloudFailed},
        {"ply/ext_ply_content_named.las", kPointCloudFailed},
        {"ply/ext_ply_content_named.txt", kPointCloudFailed},
        {"las/las_content_named.laz", kPointCloudFailed},
        {"splat/pointcloud_with_splat_keys_in_comment.ply", kSplatFailed},
        {"splat/splat_first_line_ply_extra.ply", kSplatFailed},
        {"splat/keys_only_in_other_element.ply", kSplatFailed},
    };
    for (const auto& [name, message] : failures) {
        desktop.messageBoxes.clear();
        const int changes = view.changes;
        EXPECT_FALSE(Open(TestDataFile(name))) << name;
        EXPECT_EQ(desktop.messageBoxes, std::vector<std::string>{message}) << name;
        EXPECT_EQ(document.Kind(), SceneKind::None) << name;
        EXPECT_EQ(view.changes, changes) << name;
    }
}

TEST_F(DocumentCameraPoses, ReplaceTheFramesOnlyOnSuccess)
{
    ASSERT_TRUE(Open(dir.Write("cloud.ply", kCloudPly)));
    desktop.calls.clear();
    view.changes = 0;

    ASSERT_TRUE(document.OpenCameraPoses(dir.Write("transforms.json", kPoses).string()));
    ASSERT_EQ(document.CameraPoses().frames.size(), 1u);
    EXPECT_EQ(document.CameraPoses().frames[0].transform(0, 3), 2.0);

    EXPECT_FALSE(document.OpenCameraPoses(dir.Write("empty.json", "").string()));
    EXPECT_EQ(desktop.messageBoxes,
              std::vector<std::string>{"Failed to load the camera pose file (transforms.json).\nInvalid JSON format."});
    EXPECT_EQ(document.CameraPoses().frames.size(), 1u);

    desktop.messageBoxes.clear();
    EXPECT_FALSE(document.OpenCameraPoses(dir.Write("none.json", R"({"frames":[]})").string()));
    EXPECT_EQ(desktop.messageBoxes, std::vector<std::string>{
                                        "Failed to load the camera pose file (transforms.json).\n"
                                        "No valid camera frames found."});
    // Neither the scene nor the views nor the title are touched.
    EXPECT_EQ(document.Kind(), SceneKind::PointCloud);
    EXPECT_EQ(CloudOf(document).positions.size(), 2u);
    EXPECT_EQ(view.changes, 0);
    EXPECT_EQ(desktop.calls, (std::vector<std::string>{"ShowMessageBox", "ShowMessageBox"}));
}

TEST_F(DocumentViews, EveryRegisteredViewIsToldOnce)
{
    RecordingView second;
    document.AddView(&second);
    document.AddView(&second);
    document.AddView(nullptr);
    document.SetScene(PointCloudData{});
    EXPECT_EQ(view.changes, 1);
    EXPECT_EQ(second.changes, 1);

    document.RemoveView(&second);
    document.SetScene(PointCloudData{});
    EXPECT_EQ(view.changes, 2);
    EXPECT_EQ(second.changes, 1);
}

TEST_F(DocumentViews, AViewRemovedWhileViewsAreToldIsSkipped)
{
    auto doomed = std::make_unique<RecordingView>();
    RecordingView late;
    // The first view destroys the second and registers a third while it is told.
    view.onUpdate = [&] {
        document.RemoveView(doomed.get());
        doomed.reset();
        document.AddView(&late);
        document.RemoveView(&view);
    };
    document.AddView(doomed.get());
    document.SetScene(GaussianData{});
    EXPECT_EQ(view.changes, 1);
    EXPECT_EQ(late.changes, 0);  // joined after the round began
    document.SetScene(GaussianData{});
    EXPECT_EQ(view.changes, 1);
    EXPECT_EQ(late.changes, 1);
}

// A scene made elsewhere comes in as an opened file's does: the earlier scene and its frames
// go, the views are told once and the title follows.
TEST_F(DocumentViews, AScenePutInByHandReplacesTheOpenOne)
{
    ASSERT_TRUE(Open(dir.Write("scene.ply", kSplatPly)));
    ASSERT_TRUE(document.OpenCameraPoses(dir.Write("transforms.json", kPoses).string()));
    view.changes = 0;
    desktop.titleRefreshes.clear();

    PointCloudData cloud;
    cloud.positions = {{1.0f, 2.0f, 3.0f}, {4.0f, 5.0f, 6.0f}};
    cloud.ComputeBounds();
    document.SetScene(std::move(cloud), "made by hand");
    EXPECT_EQ(document.Kind(), SceneKind::PointCloud);
    EXPECT_EQ(document.Splats(), nullptr);
    ASSERT_NE(document.PointCloud(), nullptr);
    EXPECT_EQ(document.PointCloud()->positions.size(), 2u);
    EXPECT_TRUE(document.CameraPoses().frames.empty());
    EXPECT_EQ(document.Source(), "made by hand");
    EXPECT_EQ(desktop.titleRefreshes, std::vector<std::string>{"made by hand"});
    EXPECT_EQ(view.changes, 1);

    // Frames put in by hand stay until the next scene; the views are not told of them.
    CameraPoseSet poses;
    poses.frames.resize(3);
    document.SetCameraPoses(poses);
    EXPECT_EQ(document.CameraPoses().frames.size(), 3u);
    EXPECT_EQ(view.changes, 1);
}

TEST_F(DocumentViews, OnlyACloudsPointsCanBeReordered)
{
    int calls = 0;
    const auto reverse = [&](PointCloudData& cloud) {
        ++calls;
        std::reverse(cloud.positions.begin(), cloud.positions.end());
        return true;
    };
    EXPECT_FALSE(document.ReorderPoints(reverse));
    document.SetScene(GaussianData{});
    EXPECT_FALSE(document.ReorderPoints(reverse));
    EXPECT_EQ(calls, 0);

    PointCloudData cloud;
    cloud.positions = {{1.0f, 0.0f, 0.0f}, {2.0f, 0.0f, 0.0f}};
    document.SetScene(std::move(cloud));
    const int changes = view.changes;
    EXPECT_TRUE(document.ReorderPoints(reverse));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(document.PointCloud()->positions[0], Eigen::Vector3f(2.0f, 0.0f, 0.0f));
    EXPECT_EQ(view.changes, changes) << "the same scene: the views are not told";
    EXPECT_FALSE(document.ReorderPoints([](PointCloudData&) { return false; }));
}
