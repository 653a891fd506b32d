#include "io/poses/TrainerCameras.h"

#include "io/poses/PoseReader.h"

#include "support/TestData.h"

#include <Eigen/Geometry>
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

namespace {

// The pose file reader in the shape these tests compare with: true and the frames, or false
// and the reason.
bool LoadCameraPoseFile(const std::string& path, CameraPoseSet& set, std::string& error)
{
    ReadResult<CameraPoseSet> read = ReadCameraPoses(path);
    set = read.Ok() ? read.TakeValue() : CameraPoseSet();
    if (!read.Ok())
        error = read.Failure().reason;
    return read.Ok();
}

ReadResult<CameraPoseSet> ReadText(const std::string& text)
{
    std::istringstream stream(text);
    return ReadTrainerCameraStream(stream);
}

// A camera of the trainer's list: rotation rows camera-to-world, x right, y down, z forward.
std::string Camera(const std::string& name, const std::string& position, const std::string& rotation,
                   const std::string& extra = R"("width": 800, "height": 600, "fx": 700, "fy": 300)")
{
    return R"({"id": 0, "img_name": ")" + name + R"(", "position": )" + position + R"(, "rotation": )" + rotation +
           (extra.empty() ? "" : ", " + extra) + "}";
}

const std::string kIdentity = "[[1, 0, 0], [0, 1, 0], [0, 0, 1]]";

TEST(TrainerCameras, CamerasComeInTheViewsConventionOrderedByName)
{
    const std::string text = "[" + Camera("b", "[1, 2, 3]", kIdentity) + ", " +
                             Camera("a", "[4, 5, 6]", "[[0, -1, 0], [1, 0, 0], [0, 0, 1]]") + "]";
    ReadResult<CameraPoseSet> read = ReadText(text);
    ASSERT_TRUE(read.Ok()) << read.Failure().reason;
    const CameraPoseSet& set = read.Value();
    ASSERT_EQ(set.frames.size(), 2u);
    ASSERT_EQ(set.images.size(), 2u);
    EXPECT_EQ(set.images[0].path, "a");
    EXPECT_EQ(set.images[1].path, "b");

    // The trainer's camera looks along its +z and has y down: the view's camera, looking
    // along -z with y up, must point the same way in the world.
    const CameraFrame& b = set.frames[1];
    const Eigen::Matrix3d rotationB = b.transform.topLeftCorner<3, 3>();
    EXPECT_TRUE((rotationB * Eigen::Vector3d(0, 0, -1)).isApprox(Eigen::Vector3d(0, 0, 1)));
    EXPECT_TRUE((rotationB * Eigen::Vector3d(0, 1, 0)).isApprox(Eigen::Vector3d(0, -1, 0)));
    EXPECT_TRUE((rotationB * Eigen::Vector3d(1, 0, 0)).isApprox(Eigen::Vector3d(1, 0, 0)));
    EXPECT_EQ(Eigen::Vector3d(b.transform.topRightCorner<3, 1>()), Eigen::Vector3d(1, 2, 3));
    EXPECT_EQ(b.transform.row(3), Eigen::RowVector4d(0, 0, 0, 1));

    // Rotation rows: the camera's x axis is the first column, here world +y.
    const Eigen::Matrix3d rotationA = set.frames[0].transform.topLeftCorner<3, 3>();
    EXPECT_TRUE((rotationA * Eigen::Vector3d(1, 0, 0)).isApprox(Eigen::Vector3d(0, 1, 0)));

    EXPECT_FLOAT_EQ(b.fovY, static_cast<float>(2.0 * std::atan(600.0 / (2.0 * 300.0))));
    EXPECT_EQ(set.images[1].width, 800.0);
    EXPECT_EQ(set.images[1].height, 600.0);
    EXPECT_EQ(set.images[1].fx, 700.0);
    EXPECT_EQ(set.images[1].fy, 300.0);
    EXPECT_EQ(set.defaultFovY, 0.0f);
}

TEST(TrainerCameras, EntriesWithoutAFinitePoseAreSkippedAndWrongTypesIgnored)
{
    const std::string text = "[" +
                             Camera("bad-position-count", "[1, 2]", kIdentity) + ", " +
                             Camera("bad-position-string", R"([1, "2", 3])", kIdentity) + ", " +
                             Camera("four-rows", "[0, 0, 0]", "[[1,0,0],[0,1,0],[0,0,1],[0,0,0]]") + ", " +
                             Camera("short-row", "[0, 0, 0]", "[[1,0,0],[0,1],[0,0,1]]") + ", " +
                             Camera("flat-rotation", "[0, 0, 0]", "[1,0,0,0,1,0,0,0,1]") + ", " +
                             Camera("object-position", R"({"x": 1})", kIdentity) + ", " +
                             Camera("wrong-types", "[7, 8, 9]", kIdentity,
                                    R"("width": "800", "height": null, "fy": [1], "fx": -5, "extra": {"deep": [[[[1]]]]})") +
                             R"(, 17, "text", [1, 2], {"id": 3})" + "]";
    ReadResult<CameraPoseSet> read = ReadText(text);
    ASSERT_TRUE(read.Ok()) << read.Failure().reason;
    ASSERT_EQ(read.Value().frames.size(), 1u);
    const CameraFrame& frame = read.Value().frames[0];
    const CameraImage& image = read.Value().images.at(0);
    EXPECT_EQ(image.path, "wrong-types");
    EXPECT_EQ(Eigen::Vector3d(frame.transform.topRightCorner<3, 1>()), Eigen::Vector3d(7, 8, 9));
    EXPECT_EQ(frame.fovY, 0.0f);
    EXPECT_EQ(image.width, 0.0);
    EXPECT_EQ(image.height, 0.0);
    EXPECT_EQ(image.fx, 0.0);
    EXPECT_EQ(image.fy, 0.0);
}

TEST(TrainerCameras, ScaledRotationsAreMadeProper)
{
    ReadResult<CameraPoseSet> read = ReadText("[" + Camera("a", "[0, 0, 0]", "[[2, 0, 0], [0, 2, 0], [0, 0, 2]]") + "]");
    ASSERT_TRUE(read.Ok());
    const Eigen::Matrix3d rotation = read.Value().frames[0].transform.topLeftCorner<3, 3>();
    EXPECT_NEAR(rotation.determinant(), 1.0, 1e-12);
    EXPECT_TRUE(rotation.isApprox(Eigen::Vector3d(1, -1, -1).asDiagonal().toDenseMatrix()));
}

TEST(TrainerCameras, OtherTextsAreNotRecognisedOrFailWithAReason)
{
    const auto code = [](const std::string& text) { return ReadText(text).Failure().code; };
    EXPECT_EQ(code(R"({"frames": []})"), ReadError::NotRecognised);
    EXPECT_EQ(code(R"([{"frames": []}])"), ReadError::NotRecognised);
    EXPECT_EQ(code("[1, 2, 3]"), ReadError::NotRecognised);
    EXPECT_EQ(code(""), ReadError::NotRecognised);
    EXPECT_EQ(code("[" + Camera("a", "[0,0,0]", kIdentity) + ","), ReadError::Malformed);
    EXPECT_EQ(code("[" + Camera("a", "[0,0,0]", kIdentity) + "] []"), ReadError::Malformed);
    EXPECT_EQ(code("[" + Camera("a", "[0,0,0]", kIdentity) + "] // note"), ReadError::Malformed);

    ReadResult<CameraPoseSet> none = ReadText("[" + Camera("a", "[0, 0, null]", kIdentity) + "]");
    ASSERT_FALSE(none.Ok());
    EXPECT_EQ(none.Failure().code, ReadError::Malformed);
    EXPECT_EQ(none.Failure().reason, "cameras.json: no camera has a finite position and rotation");
}

TEST(TrainerCameras, TheSniffLooksPastWhiteSpaceAndLeavesTheStreamAtItsStart)
{
    std::istringstream list(" \n\t[1]");
    EXPECT_TRUE(StartsWithJsonArray(list));
    EXPECT_EQ(list.tellg(), 0);
    std::istringstream object("  {}");
    EXPECT_FALSE(StartsWithJsonArray(object));
    std::istringstream empty("");
    EXPECT_FALSE(StartsWithJsonArray(empty));
}

TEST(TrainerCameras, OpensWhereverATransformsFileOpens)
{
    const testsupport::ScratchDir scratch;
    const auto path = scratch.Write("cameras.json", "[" + Camera("00001", "[1, 2, 3]", kIdentity) + "]");
    CameraPoseSet set;
    std::string error;
    ASSERT_TRUE(LoadCameraPoseFile(path.string(), set, error)) << error;
    ASSERT_EQ(set.frames.size(), 1u);
    EXPECT_EQ(set.ImageOf(0).path, "00001");

    // A list of other things is still turned away with the transforms.json message.
    const auto other = scratch.Write("list.json", R"([{"frames": []}])");
    EXPECT_FALSE(LoadCameraPoseFile(other.string(), set, error));
    EXPECT_EQ(error, "Invalid JSON format.");
    const auto broken = scratch.Write("broken.json", "[" + Camera("a", "[0,0,0]", kIdentity));
    EXPECT_FALSE(LoadCameraPoseFile(broken.string(), set, error));
    EXPECT_EQ(error, "cameras.json: invalid JSON");

    ReadResult<CameraPoseSet> direct = ReadTrainerCameras(path.string());
    ASSERT_TRUE(direct.Ok());
    EXPECT_EQ(ReadTrainerCameras(scratch.Path().string()).Failure().code, ReadError::CannotOpen);
    EXPECT_EQ(ReadTrainerCameras(path.string(), {[](double) { return false; }, nullptr}).Failure().code,
              ReadError::Cancelled);
}

TEST(TrainerCameras, TransformsFramesNameTheirImagesAndIntrinsics)
{
    const testsupport::ScratchDir scratch;
    const auto path = scratch.Write("transforms.json", R"({
        "w": 800, "h": 600, "fl_x": 500, "fl_y": 510, "cx": 401, "cy": 299,
        "frames": [
            {"file_path": "images/a.png", "transform_matrix": [[1,0,0,0],[0,1,0,0],[0,0,1,0],[0,0,0,1]]},
            {"file_path": 5, "w": 400, "h": 300, "fl_x": 250, "cx": "x",
             "transform_matrix": [[1,0,0,0],[0,1,0,0],[0,0,1,0],[0,0,0,1]]}
        ]})");
    CameraPoseSet set;
    std::string error;
    ASSERT_TRUE(LoadCameraPoseFile(path.string(), set, error)) << error;
    ASSERT_EQ(set.frames.size(), 2u);
    ASSERT_EQ(set.images.size(), 2u);
    const CameraImage& a = set.images[0];
    EXPECT_EQ(a.path, "images/a.png");
    EXPECT_EQ(a.width, 800.0);
    EXPECT_EQ(a.height, 600.0);
    EXPECT_EQ(a.fx, 500.0);
    EXPECT_EQ(a.fy, 510.0);
    EXPECT_EQ(a.cx, 401.0);
    EXPECT_EQ(a.cy, 299.0);
    const CameraImage& b = set.images[1];
    EXPECT_EQ(b.path, "");
    EXPECT_EQ(b.width, 400.0);
    EXPECT_EQ(b.fx, 250.0);
    EXPECT_EQ(b.cx, 401.0);  // a value of the wrong type falls back to the top level

    // A file of poses alone keeps no photo for each frame, only its own intrinsics.
    const auto bare = scratch.Write("bare.json", R"({"w": 800, "fl_y": 3, "frames": [
            {"transform_matrix": [[1,0,0,0],[0,1,0,0],[0,0,1,0],[0,0,0,1]]},
            {"transform_matrix": [[1,0,0,0],[0,1,0,0],[0,0,1,0],[0,0,0,1]]}]})");
    ASSERT_TRUE(LoadCameraPoseFile(bare.string(), set, error)) << error;
    EXPECT_TRUE(set.images.empty());
    EXPECT_EQ(set.ImageOf(1).width, 800.0);
    EXPECT_EQ(set.ImageOf(1).fy, 3.0);
    EXPECT_EQ(set.ImageOf(1).path, "");
    // From the first frame that names a photo on, each frame has its entry.
    const auto late = scratch.Write("late.json", R"({"frames": [
            {"transform_matrix": [[1,0,0,0],[0,1,0,0],[0,0,1,0],[0,0,0,1]]},
            {"transform_matrix": [[1,0,0,0],[0,1,0,0],[0,0,1,0],[0,0,0,1]], "file_path": "b"},
            {"transform_matrix": [[1,0,0,0],[0,1,0,0],[0,0,1,0],[0,0,0,1]]}], "h": 9})");
    ASSERT_TRUE(LoadCameraPoseFile(late.string(), set, error)) << error;
    ASSERT_EQ(set.images.size(), 3u);
    EXPECT_EQ(set.images[0].path, "");
    EXPECT_EQ(set.images[1].path, "b");
    EXPECT_EQ(set.images[2].height, 9.0);
}

TEST(TrainerCameras, MatchesTheFoxTransformsReadAsACameraList)
{
    ORRISK_REQUIRE_TESTDATA();
    CameraPoseSet fox;
    std::string error;
    ASSERT_TRUE(LoadCameraPoseFile(testsupport::TestDataFile("poses/fox_transforms.json").string(), fox, error));
    // The same cameras written as the trainer writes them: y and z turned round.
    std::string text = "[";
    for (std::size_t i = 0; i < fox.frames.size(); ++i) {
        const Eigen::Matrix3d rotation = fox.frames[i].transform.topLeftCorner<3, 3>() * Eigen::Vector3d(1, -1, -1).asDiagonal();
        const Eigen::Vector3d position = fox.frames[i].transform.topRightCorner<3, 1>();
        std::ostringstream entry;
        entry.precision(17);
        entry << (i ? "," : "") << R"({"img_name": "img)" << (1000 + i) << R"(", "position": [)" << position.x() << ","
              << position.y() << "," << position.z() << R"(], "rotation": [)";
        for (int r = 0; r < 3; ++r)
            entry << (r ? "," : "") << "[" << rotation(r, 0) << "," << rotation(r, 1) << "," << rotation(r, 2) << "]";
        entry << "]}";
        text += entry.str();
    }
    ReadResult<CameraPoseSet> cameras = ReadText(text + "]");
    ASSERT_TRUE(cameras.Ok());
    ASSERT_EQ(cameras.Value().frames.size(), fox.frames.size());
    for (std::size_t i = 0; i < fox.frames.size(); ++i)
        EXPECT_TRUE(cameras.Value().frames[i].transform.isApprox(fox.frames[i].transform, 1e-12)) << i;
}

}  // namespace
