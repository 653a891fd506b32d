// orrisk-render with camera lists: the trainer's cameras.json, fly-through videos and renders
// compared with training photos.
#ifdef ORRISK_RENDER_TOOL

#include "capture/PngFile.h"
#include "support/TestData.h"
#include "support/ToolRun.h"
#include "support/VideoFile.h"

#include <Eigen/Geometry>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using testsupport::RunTool;
using testsupport::ScratchDir;
using testsupport::TestDataFile;
using testsupport::ToolRun;

namespace {

const std::string kRenderTool = ORRISK_RENDER_TOOL;

// Three cameras around the donut, as view rotations (looking along -z, y up) and positions.
struct Camera {
    Eigen::Matrix3d rotation;
    Eigen::Vector3d position;
};

std::vector<Camera> Cameras()
{
    std::vector<Camera> cameras;
    for (double angle : {0.0, 0.4, 0.9}) {
        const Eigen::Matrix3d rotation =
            (Eigen::AngleAxisd(angle, Eigen::Vector3d::UnitY()) * Eigen::AngleAxisd(-0.2, Eigen::Vector3d::UnitX())).toRotationMatrix();
        cameras.push_back({rotation, rotation * Eigen::Vector3d(0, 0, 2.5)});
    }
    return cameras;
}

std::string Number(double value)
{
    std::ostringstream text;
    text.precision(17);
    text << value;
    return text.str();
}

// The cameras as a transforms.json (fl_y 40 of a 64x48 picture) ...
std::string TransformsJson(const std::vector<Camera>& cameras)
{
    std::string text = R"({"w": 64, "h": 48, "fl_x": 40, "fl_y": 40, "frames": [)";
    for (std::size_t i = 0; i < cameras.size(); ++i) {
        text += std::string(i ? "," : "") + R"({"file_path": "images/cam)" + std::to_string(i) + R"(", "transform_matrix": [)";
        for (int r = 0; r < 4; ++r) {
            text += r ? ",[" : "[";
            for (int c = 0; c < 4; ++c) {
                const double value = r == 3 ? (c == 3 ? 1.0 : 0.0) : c == 3 ? cameras[i].position[r] : cameras[i].rotation(r, c);
                text += (c ? "," : "") + Number(value);
            }
            text += "]";
        }
        text += "]}";
    }
    return text + "]}";
}

// ... and as the trainer writes them: y and z turned round, listed out of name order.
std::string CamerasJson(const std::vector<Camera>& cameras)
{
    std::string text = "[";
    for (std::size_t n = 0; n < cameras.size(); ++n) {
        const std::size_t i = (n + 1) % cameras.size();
        const Eigen::Matrix3d rotation = cameras[i].rotation * Eigen::Vector3d(1, -1, -1).asDiagonal();
        text += std::string(n ? "," : "") + R"({"id": )" + std::to_string(i) + R"(, "img_name": "cam)" + std::to_string(i) +
                R"(", "width": 64, "height": 48, "fx": 40, "fy": 40, "position": [)" + Number(cameras[i].position.x()) +
                "," + Number(cameras[i].position.y()) + "," + Number(cameras[i].position.z()) + R"(], "rotation": [)";
        for (int r = 0; r < 3; ++r)
            text += std::string(r ? "," : "") + "[" + Number(rotation(r, 0)) + "," + Number(rotation(r, 1)) + "," +
                    Number(rotation(r, 2)) + "]";
        text += "]}";
    }
    return text + "]";
}

RgbImage ReadImage(const std::filesystem::path& path)
{
    std::string error;
    std::optional<RgbImage> image = ReadPngFile(path, error);
    EXPECT_TRUE(image) << path << ": " << error;
    return image.value_or(RgbImage{});
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

class CameraPathToolTest : public ::testing::Test {
protected:
    ToolRun Render(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), TestDataFile("splat/donut_fused.ply").string());
        ToolRun run = RunTool(kRenderTool, arguments);
        if (run.status == 1 && run.err.find("Failed to initialize OpenGL 4.5.") != std::string::npos)
            skipReason = "no headless OpenGL 4.5 core context: " + run.err;
        return run;
    }

    ScratchDir scratch;
    std::string skipReason;
};

#define SKIP_WITHOUT_GL()               \
    do {                                \
        if (!skipReason.empty())        \
            GTEST_SKIP() << skipReason; \
    } while (false)

TEST_F(CameraPathToolTest, ACamerasJsonAndATransformsJsonOfTheSameCamerasRenderAlike)
{
    ORRISK_REQUIRE_TESTDATA();
    const auto transforms = scratch.Write("transforms.json", TransformsJson(Cameras()));
    const auto cameras = scratch.Write("cameras.json", CamerasJson(Cameras()));
    for (const char* frame : {"0", "2"}) {
        SCOPED_TRACE(frame);
        const ToolRun a = Render({"--poses", transforms.string(), "--frame", frame, "--size", "64x48", "--out",
                                  scratch.File("t.png").string()});
        SKIP_WITHOUT_GL();
        ASSERT_EQ(a.status, 0) << a.err;
        const ToolRun b = Render({"--poses", cameras.string(), "--frame", frame, "--size", "64x48", "--out",
                                  scratch.File("c.png").string()});
        ASSERT_EQ(b.status, 0) << b.err;
        const RgbImage fromTransforms = ReadImage(scratch.File("t.png"));
        EXPECT_EQ(fromTransforms.pixels, ReadImage(scratch.File("c.png")).pixels);
        EXPECT_NE(fromTransforms.pixels, std::vector<std::uint8_t>(fromTransforms.pixels.size(), 0));
    }
}

TEST_F(CameraPathToolTest, AVideoThroughThreeCamerasInAFolderItMakes)
{
    ORRISK_REQUIRE_TESTDATA();
    const auto cameras = scratch.Write("cameras.json", CamerasJson(Cameras()));
    const auto video = scratch.File("videos/new/fly.mp4");
    const ToolRun run = Render({"--poses", cameras.string(), "--video", video.string(), "--fps", "10",
                                "--seconds-per-camera", "0.5", "--size", "65x49"});
    SKIP_WITHOUT_GL();
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("frame 11 of 11"), std::string::npos) << run.err;
    const testsupport::DecodedVideo decoded = testsupport::DecodeVideo(video);
    EXPECT_EQ(decoded.codec, AV_CODEC_ID_H264);
    EXPECT_EQ(decoded.width, 66);
    EXPECT_EQ(decoded.height, 50);
    EXPECT_EQ(decoded.frames, 11);

    // A still's folder is made as well.
    const ToolRun still = Render({"--size", "32x32", "--out", scratch.File("frames/scene.png").string()});
    ASSERT_EQ(still.status, 0) << still.err;
    EXPECT_TRUE(std::filesystem::exists(scratch.File("frames/scene.png")));
}

TEST_F(CameraPathToolTest, RendersComparedWithTheirOwnPicturesMatchExactly)
{
    ORRISK_REQUIRE_TESTDATA();
    const auto transforms = scratch.Write("transforms.json", TransformsJson(Cameras()));
    std::filesystem::create_directories(scratch.File("images"));
    // Camera 0's photo at the camera's size, camera 1's at twice it; camera 2 has none.
    const ToolRun first = Render({"--poses", transforms.string(), "--frame", "0", "--size", "64x48", "--no-gizmo",
                                  "--out", scratch.File("images/cam0.png").string()});
    SKIP_WITHOUT_GL();
    ASSERT_EQ(first.status, 0) << first.err;
    ASSERT_EQ(Render({"--poses", transforms.string(), "--frame", "1", "--size", "128x96", "--no-gizmo", "--out",
                      scratch.File("images/cam1.png").string()})
                  .status,
              0);

    const auto csv = scratch.File("report/compare.csv");
    const ToolRun run = Render({"--poses", transforms.string(), "--compare", csv.string(), "--compare-images",
                                scratch.File("report/side").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = Lines(testsupport::ReadWholeFile(csv));
    ASSERT_EQ(lines.size(), 5u) << testsupport::ReadWholeFile(csv);
    EXPECT_EQ(lines[0], "index,image,psnr_db,ssim,note");
    EXPECT_EQ(lines[1], "0,images/cam0,inf,1.0000,");
    EXPECT_EQ(lines[2], "1,images/cam1,inf,1.0000,");
    EXPECT_EQ(lines[3], "2,images/cam2,,,image not found");
    EXPECT_EQ(lines[4], "mean,,inf,1.0000,2 of 3 cameras compared");
    const RgbImage side = ReadImage(scratch.File("report/side/0001_cam1.png"));
    EXPECT_EQ(side.width, 3 * 128);
    EXPECT_EQ(side.height, 96);

    // Another background than the photos': no longer the same.
    const ToolRun grey = Render({"--poses", transforms.string(), "--compare", csv.string(), "--background", "90,90,90"});
    ASSERT_EQ(grey.status, 0) << grey.err;
    EXPECT_EQ(Lines(testsupport::ReadWholeFile(csv))[1].find("0,images/cam0,inf"), std::string::npos);
}

TEST_F(CameraPathToolTest, UsageOfTheNewOptions)
{
    const std::vector<std::vector<std::string>> cases = {
        {"a.ply", "--video", "v.mp4"},
        {"a.ply", "--poses", "p.json", "--video", "v.mp4", "--frame", "0"},
        {"a.ply", "--poses", "p.json", "--video", "v.mp4", "--compare", "c.csv"},
        {"a.ply", "--poses", "p.json", "--video", "v.mp4", "--fps", "0"},
        {"a.ply", "--poses", "p.json", "--video", "v.mp4", "--seconds-per-camera", "nan"},
        {"a.ply", "--poses", "p.json", "--frame", "0", "--images", "dir"},
    };
    for (const auto& arguments : cases) {
        const ToolRun run = RunTool(kRenderTool, arguments);
        EXPECT_EQ(run.status, 2) << ::testing::PrintToString(arguments);
    }
}

}  // namespace

#endif  // ORRISK_RENDER_TOOL
