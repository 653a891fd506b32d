#include "document/Document.h"
#include "support/DocumentRecords.h"
#include "capture/ConsoleDesktop.h"
#include "io/poses/PoseReader.h"
#include "io/splat/SplatReader.h"
#include "platform/Log.h"
#include "support/RawBytes.h"
#include "support/TestData.h"
#include "support/ToolRun.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

using nlohmann::json;
using testsupport::RawBytes;
using testsupport::ReadWholeFile;
using testsupport::ScratchDir;
using testsupport::TestDataFile;
using testsupport::RunTool;
using testsupport::ToolRun;

#ifdef ORRISK_INFO_TOOL
#define REQUIRE_INFO_TOOL() (void)0
#else
#define REQUIRE_INFO_TOOL() GTEST_SKIP() << "orrisk-info is not built"
#endif

// Runs orrisk-info with the arguments.
ToolRun RunInfo(const std::vector<std::string>& arguments)
{
#ifdef ORRISK_INFO_TOOL
    return RunTool(ORRISK_INFO_TOOL, arguments);
#else
    (void)arguments;
    return {};
#endif
}

json Summary(const ToolRun& run)
{
    EXPECT_EQ(run.out.back(), '\n');
    EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << "one line of JSON";
    return json::parse(run.out);
}

float AsFloat(const json& value)
{
    return static_cast<float>(value.get<double>());
}

}  // namespace

TEST(OrriskInfo, ExitStatusAndUsage)
{
    REQUIRE_INFO_TOOL();
    ToolRun run = RunInfo({});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("usage: orrisk-info FILE [--dump DIR]"), std::string::npos) << run.err;
    EXPECT_TRUE(run.out.empty());

    const std::vector<std::string> badUsages[] = {
        {"--frobnicate", "x.ply"}, {"a.ply", "b.ply"}, {"a.ply", "--dump"}, {"--poses", "t.json", "--dump", "d"}};
    for (const std::vector<std::string>& arguments : badUsages) {
        run = RunInfo(arguments);
        EXPECT_EQ(run.status, 2) << arguments[0];
        EXPECT_NE(run.err.find("usage:"), std::string::npos);
    }

    run = RunInfo({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("usage: orrisk-info"), std::string::npos);

    ScratchDir dir;
    run = RunInfo({dir.File("missing.ply").string()});
    EXPECT_EQ(run.status, 1);
    const json summary = Summary(run);
    EXPECT_EQ(summary["kind"], "None");
    EXPECT_EQ(summary["ok"], false);
    EXPECT_EQ(summary["count"], 0);
    EXPECT_TRUE(summary["boundsMin"].is_null());
    EXPECT_EQ(summary["message"], "ファイル " + dir.File("missing.ply").string() + " を開けませんでした。");
    EXPECT_EQ(summary["reason"], "the file does not exist");
    EXPECT_NE(run.err.find("を開けませんでした。"), std::string::npos) << "the message box goes to stderr";

    // A file name that starts with '-' can follow "--".
    dir.Write("-odd.ply", "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\n"
                          "property float z\nend_header\n1 2 3\n");
    const std::string previous = std::filesystem::current_path().string();
    std::filesystem::current_path(dir.Path());
    run = RunInfo({"--", "-odd.ply"});
    std::filesystem::current_path(previous);
    EXPECT_EQ(run.status, 0);
}

TEST(OrriskInfo, SummariesOfCorpusFiles)
{
    ORRISK_REQUIRE_TESTDATA();
    REQUIRE_INFO_TOOL();
    ToolRun run = RunInfo({TestDataFile("las/autzen.las").string()});
    EXPECT_EQ(run.status, 0);
    json summary = Summary(run);
    EXPECT_EQ(summary["kind"], "PointCloud");
    EXPECT_EQ(summary["ok"], true);
    EXPECT_EQ(summary["count"], 106);
    EXPECT_EQ(summary["hasColors"], false);
    EXPECT_TRUE(summary["message"].is_null());
    EXPECT_TRUE(summary["reason"].is_null());
    EXPECT_EQ(summary["log"], json::array());

    run = RunInfo({TestDataFile("splat/masks_3.ply").string()});
    summary = Summary(run);
    EXPECT_EQ(summary["kind"], "GaussianSplats");
    EXPECT_EQ(summary["count"], 48);
    EXPECT_EQ(summary["shDegree"], 1);
    EXPECT_EQ(summary["shRestCount"], 9);
    EXPECT_EQ(summary["hasObjectIds"], true);
    EXPECT_EQ(summary["log"], json::array({"[CGaussianPlyLoader] segmentation from 3 masks (argmax)."}));

    run = RunInfo({TestDataFile("splat/truncated_body.ply").string()});
    EXPECT_EQ(run.status, 1);
    summary = Summary(run);
    EXPECT_EQ(summary["kind"], "None");
    EXPECT_EQ(summary["message"], "Failed to load the 3D Gaussian Splatting file.\nPlease check the file contents.");
    ASSERT_EQ(summary["log"].size(), 1u);
    EXPECT_EQ(summary["log"][0].get<std::string>().rfind("[CGaussianPlyLoader] exception: ", 0), 0u);
    EXPECT_EQ("[CGaussianPlyLoader] exception: " + summary["reason"].get<std::string>(), summary["log"][0]);

    run = RunInfo({TestDataFile("ply/binary_truncated_body_le.ply").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Summary(run)["reason"], "PLY parser: unexpected end of file in element vertex");

    run = RunInfo({TestDataFile("las/las_content_named.laz").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Summary(run)["message"],
              "Failed to load the point cloud file.\nPlease check the file format (PLY / LAS) and its contents.");
}

TEST(OrriskInfo, NumbersReadBackExactly)
{
    ORRISK_REQUIRE_TESTDATA();
    REQUIRE_INFO_TOOL();
    for (const char* name : {"splat/donut_fused.ply", "las/autzen_trim.las", "ply/xyz_double_large_coords.ply"}) {
        ToolRun run = RunInfo({TestDataFile(name).string()});
        const json summary = Summary(run);
        ConsoleDesktop desktop;
        Document document(desktop);
        ScopedLogCapture quiet;
        ASSERT_TRUE(document.Open(TestDataFile(name).string()));
        const bool splats = document.Kind() == SceneKind::GaussianSplats;
        const Eigen::Vector3d origin = splats ? testsupport::SplatsOf(document).origin : testsupport::CloudOf(document).origin;
        const Eigen::Vector3f max = splats ? testsupport::SplatsOf(document).boundsMax : testsupport::CloudOf(document).boundsMax;
        const Eigen::Vector3f center = splats ? testsupport::SplatsOf(document).center : testsupport::CloudOf(document).center;
        const float radius = splats ? testsupport::SplatsOf(document).radius : testsupport::CloudOf(document).radius;
        for (int a = 0; a < 3; ++a) {
            EXPECT_EQ(summary["origin"][a].get<double>(), origin[a]) << name;
            EXPECT_EQ(AsFloat(summary["boundsMax"][a]), max[a]) << name;
            EXPECT_EQ(AsFloat(summary["center"][a]), center[a]) << name;
        }
        EXPECT_EQ(AsFloat(summary["radius"]), radius) << name;
    }
    // JSON has no NaN: the first point's NaN x gives NaN bounds, printed as a string.
    ToolRun run = RunInfo({TestDataFile("ply/nan_first_point.ply").string()});
    const json summary = Summary(run);
    EXPECT_EQ(summary["boundsMin"][0], "NaN");
    EXPECT_EQ(summary["radius"], "NaN");
    EXPECT_TRUE(summary["boundsMin"][1].is_number());
}

TEST(OrriskInfo, DumpWritesTheArraysTheReadersHold)
{
    ORRISK_REQUIRE_TESTDATA();
    ScratchDir dir;
    const std::string splatFile = TestDataFile("splat/masks_3.ply").string();
    REQUIRE_INFO_TOOL();
    ToolRun run = RunInfo({splatFile, "--dump", (dir.Path() / "splats").string()});
    ASSERT_EQ(run.status, 0);
    GaussianData splats;
    {
        ScopedLogCapture quiet;
        ReadResult<GaussianData> read = ReadGaussianPly(splatFile);
        ASSERT_TRUE(read.Ok());
        splats = read.TakeValue();
    }
    auto dumped = [&](const char* folder, const char* name) { return ReadWholeFile(dir.Path() / folder / name); };
    EXPECT_EQ(dumped("splats", "positions.f32"), RawBytes(splats.positions));
    EXPECT_EQ(dumped("splats", "shDc.f32"), RawBytes(splats.shDc));
    EXPECT_EQ(dumped("splats", "shRest.f32"), RawBytes(splats.shRest));
    EXPECT_EQ(dumped("splats", "opacities.f32"), RawBytes(splats.opacities));
    EXPECT_EQ(dumped("splats", "scales.f32"), RawBytes(splats.scales));
    EXPECT_EQ(dumped("splats", "rotations.f32"), RawBytes(splats.rotations));
    EXPECT_EQ(dumped("splats", "objectIds.u32"), RawBytes(splats.objectIds));
    EXPECT_EQ(dumped("splats", "summary.json"), run.out);

    const std::string cloudFile = TestDataFile("ply/cloud_binary_le.ply").string();
    run = RunInfo({"--dump", (dir.Path() / "cloud").string(), cloudFile});
    ASSERT_EQ(run.status, 0);
    ConsoleDesktop desktop;
    Document document(desktop);
    ASSERT_TRUE(document.Open(cloudFile));
    ASSERT_TRUE(testsupport::CloudOf(document).hasColors);
    EXPECT_EQ(dumped("cloud", "positions.f32"), RawBytes(testsupport::CloudOf(document).positions));
    EXPECT_EQ(dumped("cloud", "colors.f32"), RawBytes(testsupport::CloudOf(document).colors));
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "cloud" / "shDc.f32"));
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "cloud" / "intensity.u16"));

    // A LAS cloud adds its intensity, classes and return numbers.
    const std::string lasFile = TestDataFile("las/synthetic_format6.las").string();
    run = RunInfo({lasFile, "--dump", (dir.Path() / "las").string()});
    ASSERT_EQ(run.status, 0);
    ASSERT_TRUE(document.Open(lasFile));
    const PointCloudData& las = testsupport::CloudOf(document);
    ASSERT_FALSE(las.intensity.empty());
    EXPECT_EQ(dumped("las", "intensity.u16"), RawBytes(las.intensity));
    EXPECT_EQ(dumped("las", "classification.u8"), RawBytes(las.classification));
    EXPECT_EQ(dumped("las", "returnNumber.u8"), RawBytes(las.returnNumber));

    // A COPC cloud is streamed, but the dump holds every node's points.
    run = RunInfo({TestDataFile("laz/lone-star.copc.laz").string(), "--dump", (dir.Path() / "copc").string()});
    ASSERT_EQ(run.status, 0);
    const auto summary = nlohmann::json::parse(run.out);
    EXPECT_GT(summary["copcNodes"].get<int>(), 1);
    EXPECT_EQ(dumped("copc", "positions.f32").size(), summary["count"].get<std::size_t>() * 12);
}

TEST(OrriskInfo, CameraPoseFiles)
{
    ORRISK_REQUIRE_TESTDATA();
    const std::string fox = TestDataFile("poses/fox_transforms.json").string();
    REQUIRE_INFO_TOOL();
    ToolRun run = RunInfo({"--poses", fox});
    EXPECT_EQ(run.status, 0);
    json summary = Summary(run);
    const ReadResult<CameraPoseSet> read = ReadCameraPoses(fox);
    ASSERT_TRUE(read.Ok());
    const CameraPoseSet& poses = read.Value();
    EXPECT_EQ(summary["ok"], true);
    EXPECT_TRUE(summary["errorText"].is_null());
    EXPECT_EQ(AsFloat(summary["defaultFovY"]), poses.defaultFovY);
    ASSERT_EQ(summary["frames"].size(), poses.frames.size());
    for (std::size_t f = 0; f < poses.frames.size(); ++f) {
        const json& frame = summary["frames"][f];
        EXPECT_EQ(AsFloat(frame["fovY"]), poses.frames[f].fovY);
        ASSERT_EQ(frame["transform"].size(), 16u);
        for (int i = 0; i < 16; ++i)  // column-major
            EXPECT_EQ(frame["transform"][static_cast<std::size_t>(i)].get<double>(),
                      poses.frames[f].transform(i % 4, i / 4));
    }

    run = RunInfo({"--poses", TestDataFile("poses/frames_empty.json").string()});
    EXPECT_EQ(run.status, 1);
    summary = Summary(run);
    EXPECT_EQ(summary["ok"], false);
    EXPECT_EQ(summary["errorText"], "No valid camera frames found.");
    EXPECT_EQ(summary["frames"], json::array());
}

TEST(OrriskInfo, ReportsALazFileLikeItsUncompressedTwin)
{
    ORRISK_REQUIRE_TESTDATA();
    REQUIRE_INFO_TOOL();
    const json compressed = Summary(RunInfo({TestDataFile("laz/autzen_trim.laz").string()}));
    EXPECT_EQ(compressed, Summary(RunInfo({TestDataFile("las/autzen_trim.las").string()})));
    EXPECT_EQ(compressed["count"], 110000);
    EXPECT_EQ(compressed["hasColors"], true);

    const ToolRun broken = RunInfo({TestDataFile("laz/broken_no_laszip_vlr.laz").string()});
    EXPECT_EQ(broken.status, 1);
    EXPECT_EQ(Summary(broken)["kind"], "None");
}

TEST(OrriskInfo, ProgressRisesToOneOnStandardError)
{
    ORRISK_REQUIRE_TESTDATA();
    REQUIRE_INFO_TOOL();
    for (const char* name : {"las/autzen.las", "splat/masks_3.ply", "ply/cloud_ascii.ply", "laz/autzen_trim.laz",
                             "splat-formats/sh3_5k.spz", "splat-formats/sh3_5k.sog"}) {
        SCOPED_TRACE(name);
        const ToolRun run = RunInfo({"--progress", TestDataFile(name).string()});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(Summary(run)["ok"], true);
        std::istringstream lines(run.err);
        std::vector<double> fractions;
        for (std::string line; std::getline(lines, line);)
            fractions.push_back(std::stod(line));
        ASSERT_FALSE(fractions.empty());
        EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
        EXPECT_GE(fractions.front(), 0.0);
        EXPECT_EQ(fractions.back(), 1.0);
    }
    // A file that fails still fails, and the option is refused for camera pose files.
    const ToolRun failed = RunInfo({"--progress", TestDataFile("ply/binary_truncated_body_le.ply").string()});
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(Summary(failed)["ok"], false);
    EXPECT_EQ(RunInfo({"--progress", "--poses", "x.json"}).status, 2);
}
