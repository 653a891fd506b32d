// Runs the built orrisk-render on corpus files and files of its own and looks at the pictures.
#ifdef ORRISK_RENDER_TOOL

#include "capture/PngFile.h"
#include "support/TestData.h"
#include "support/ToolRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

using testsupport::RunTool;
using testsupport::ScratchDir;
using testsupport::TestDataFile;
using testsupport::ToolRun;

namespace {

const std::string kRenderTool = ORRISK_RENDER_TOOL;

using Rgb = std::array<std::uint8_t, 3>;

Rgb PixelAt(const RgbImage& image, int x, int y)
{
    const std::size_t at = (static_cast<std::size_t>(y) * image.width + x) * 3u;
    return {image.pixels[at], image.pixels[at + 1], image.pixels[at + 2]};
}

int PixelsUnlike(const RgbImage& image, const Rgb& background)
{
    int count = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            count += PixelAt(image, x, y) != background ? 1 : 0;
    return count;
}

RgbImage ReadImage(const std::filesystem::path& path)
{
    std::string error;
    std::optional<RgbImage> image = ReadPngFile(path, error);
    EXPECT_TRUE(image) << path << ": " << error;
    return image.value_or(RgbImage{});
}

// Runs the tool; skips the test where no headless OpenGL context can be made.
class RenderToolTest : public ::testing::Test {
protected:
    ToolRun Render(std::vector<std::string> arguments)
    {
        ToolRun run = RunTool(kRenderTool, arguments);
        if (run.status == 1 && run.err.find("Failed to initialize OpenGL 4.5.") != std::string::npos)
            skipReason = "no headless OpenGL 4.5 core context: " + run.err;
        return run;
    }

    ScratchDir scratch;
    std::string skipReason;
};

#define SKIP_WITHOUT_GL()                    \
    do {                                     \
        if (!skipReason.empty())             \
            GTEST_SKIP() << skipReason;      \
    } while (false)

TEST_F(RenderToolTest, RendersALasCloudToAPngOfTheRequestedSize)
{
    ORRISK_REQUIRE_TESTDATA();
    const std::filesystem::path out = scratch.File("autzen.png");
    const ToolRun run = Render({TestDataFile("las/autzen-thin.las").string(), "--size", "160x120", "--out", out.string()});
    SKIP_WITHOUT_GL();
    ASSERT_EQ(run.status, 0) << run.err;
    // One line: the path and the draw time.
    std::istringstream line(run.out);
    std::string path, unit;
    double milliseconds = -1.0;
    line >> path >> milliseconds >> unit;
    EXPECT_EQ(path, out.string());
    EXPECT_GE(milliseconds, 0.0);
    EXPECT_EQ(unit, "ms");
    EXPECT_EQ(run.out.find('\n'), run.out.size() - 1);

    const RgbImage image = ReadImage(out);
    EXPECT_EQ(image.width, 160);
    EXPECT_EQ(image.height, 120);
    EXPECT_GT(PixelsUnlike(image, {0, 0, 0}), 500);
}

TEST_F(RenderToolTest, DrawsALazCloudAsItsUncompressedTwin)
{
    ORRISK_REQUIRE_TESTDATA();
    std::vector<RgbImage> images;
    for (const char* name : {"laz/autzen_trim.laz", "las/autzen_trim.las"}) {
        const std::filesystem::path out = scratch.File(std::filesystem::path(name).filename().string() + ".png");
        const ToolRun run = Render({TestDataFile(name).string(), "--size", "160x120", "--out", out.string()});
        SKIP_WITHOUT_GL();
        ASSERT_EQ(run.status, 0) << name << ": " << run.err;
        images.push_back(ReadImage(out));
    }
    EXPECT_GT(PixelsUnlike(images[0], {0, 0, 0}), 500);
    EXPECT_EQ(images[0].pixels, images[1].pixels);
}

TEST_F(RenderToolTest, SplatSceneOnAChosenBackgroundWithoutGizmo)
{
    ORRISK_REQUIRE_TESTDATA();
    const std::filesystem::path out = scratch.File("donut.png");
    const ToolRun run = Render({TestDataFile("splat/donut_fused.ply").string(), "--size", "128x96", "--background",
                                "10,20,30", "--no-gizmo", "--view", "-z", "--out", out.string()});
    SKIP_WITHOUT_GL();
    ASSERT_EQ(run.status, 0) << run.err;
    const RgbImage image = ReadImage(out);
    ASSERT_EQ(image.width, 128);
    // The corners show the background (no gizmo top right), the middle the donut.
    EXPECT_EQ(PixelAt(image, 0, 0), (Rgb{10, 20, 30}));
    EXPECT_EQ(PixelAt(image, 127, 0), (Rgb{10, 20, 30}));
    EXPECT_GT(PixelsUnlike(image, {10, 20, 30}), 1000);
}

TEST_F(RenderToolTest, TheSameSplatPictureTwice)
{
    ORRISK_REQUIRE_TESTDATA();
    const std::vector<std::string> options = {TestDataFile("splat/donut_fused.ply").string(), "--size", "96x64"};
    std::vector<std::string> first = options;
    first.insert(first.end(), {"--out", scratch.File("a.png").string()});
    std::vector<std::string> second = options;
    second.insert(second.end(), {"--out", scratch.File("b.png").string()});
    const ToolRun runA = Render(first);
    SKIP_WITHOUT_GL();
    ASSERT_EQ(runA.status, 0) << runA.err;
    ASSERT_EQ(Render(second).status, 0);
    EXPECT_EQ(ReadImage(scratch.File("a.png")).pixels, ReadImage(scratch.File("b.png")).pixels);
}

TEST_F(RenderToolTest, EveryCameraFrameGetsItsOwnNumberedPicture)
{
    ORRISK_REQUIRE_TESTDATA();
    const ScratchDir poses;
    const std::filesystem::path posesFile = poses.Write(
        "transforms.json",
        std::string(R"({"camera_angle_x":0.8,"frames":[)"
                    R"({"transform_matrix":[[1,0,0,0],[0,1,0,0],[0,0,1,3],[0,0,0,1]]},)"
                    R"({"transform_matrix":[[1,0,0,0.5],[0,1,0,0],[0,0,1,3],[0,0,0,1]]},)"
                    R"({"transform_matrix":[[1,0,0,9],[0,1,0,0],[0,0,1,3],[0,0,0,1]]}]})"));
    const std::filesystem::path out = scratch.File("frame.png");
    const ToolRun run = Render({TestDataFile("ply/two_points_radius3.ply").string(), "--poses", posesFile.string(),
                                "--all-frames", "--size", "64x48", "--out", out.string()});
    SKIP_WITHOUT_GL();
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(std::filesystem::exists(scratch.File("frame_0.png")));
    EXPECT_TRUE(std::filesystem::exists(scratch.File("frame_1.png")));
    EXPECT_TRUE(std::filesystem::exists(scratch.File("frame_2.png")));
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 3);

    const ToolRun one = Render({TestDataFile("ply/two_points_radius3.ply").string(), "--poses", posesFile.string(),
                                "--frame", "1", "--size", "64x48", "--out", out.string()});
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(ReadImage(out).pixels, ReadImage(scratch.File("frame_1.png")).pixels);

    const ToolRun beyond = Render({TestDataFile("ply/two_points_radius3.ply").string(), "--poses",
                                   posesFile.string(), "--frame", "3", "--out", out.string()});
    EXPECT_EQ(beyond.status, 1);
    EXPECT_NE(beyond.err.find("out of range"), std::string::npos) << beyond.err;
}

TEST_F(RenderToolTest, LoadFailuresExitWithOneAndTheViewersMessage)
{
    const std::filesystem::path bad = scratch.Write("bad.las", std::string("no LAS file"));
    const ToolRun run = Render({bad.string(), "--out", scratch.File("x.png").string()});
    SKIP_WITHOUT_GL();
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Failed to load the point cloud file."), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(scratch.File("x.png")));

    const std::filesystem::path cloud =
        scratch.Write("cloud.ply", std::string("ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\n"
                                               "property float y\nproperty float z\nend_header\n0 0 0\n"));
    const ToolRun poses = Render({cloud.string(), "--poses", scratch.File("missing.json").string(), "--frame", "0"});
    EXPECT_EQ(poses.status, 1);
    EXPECT_NE(poses.err.find("Failed to load the camera pose file (transforms.json)."), std::string::npos);
}

TEST_F(RenderToolTest, UsageErrorsExitWithTwo)
{
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"a.ply", "b.ply"},
        {"a.ply", "--size", "0x10"},
        {"a.ply", "--size", "100"},
        {"a.ply", "--size", "20000x10"},
        {"a.ply", "--background", "1,2"},
        {"a.ply", "--background", "1,2,256"},
        {"a.ply", "--point-size", "big"},
        {"a.ply", "--seg-seed", "-1"},
        {"a.ply", "--seg-blend", "nan"},
        {"a.ply", "--view", "w"},
        {"a.ply", "--frame", "0"},
        {"a.ply", "--poses", "p.json"},
        {"a.ply", "--poses", "p.json", "--frame", "0", "--all-frames"},
        {"a.ply", "--poses", "p.json", "--frame", "0", "--view", "x"},
        {"a.ply", "--out"},
        {"a.ply", "--bogus"},
    };
    for (const auto& arguments : cases) {
        const ToolRun run = RunTool(kRenderTool, arguments);
        EXPECT_EQ(run.status, 2) << ::testing::PrintToString(arguments);
        EXPECT_NE(run.err.find("usage: orrisk-render FILE"), std::string::npos);
    }
    const ToolRun help = RunTool(kRenderTool, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: orrisk-render FILE"), std::string::npos);
}

}  // namespace

#endif  // ORRISK_RENDER_TOOL
