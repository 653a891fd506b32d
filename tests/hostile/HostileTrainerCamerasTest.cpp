#include "HostileFixture.h"

#include <string>

namespace {

using HostileTrainerCameras = hostile::HostileDocument;

constexpr const char* kCamera =
    R"({"id":0,"img_name":"c","width":8,"height":6,"position":[1,2,3],"rotation":[[1,0,0],[0,1,0],[0,0,1]],"fx":4,"fy":4})";

std::string Repeated(const std::string& text, std::size_t times)
{
    std::string result;
    result.reserve(text.size() * times);
    for (std::size_t i = 0; i < times; ++i)
        result += text;
    return result;
}

}  // namespace

TEST_F(HostileTrainerCameras, DeepNestingInsideACameraFails)
{
    constexpr std::size_t kDepth = 1000000;
    const std::string open(kDepth, '['), close(kDepth, ']');
    ExpectPosesFailure(dir.Write("nested_position.json", R"([{"rotation":[[1,0,0],[0,1,0],[0,0,1]],"position":)" + open +
                                                              close + "}]"),
                       "cameras.json: no camera has a finite position and rotation");
    ExpectPosesFailure(dir.Write("nested_rotation.json", R"([{"position":[0,0,0],"rotation":[)" + open + close + "]}]"),
                       "cameras.json: no camera has a finite position and rotation");
    ExpectPosesFailure(dir.Write("nested_other.json", R"([{"position":[0,0,0],"rotation":[[1,0,0],[0,1,0],[0,0,1]],"x":)" +
                                                          open + "1"),
                       "cameras.json: invalid JSON");
}

TEST_F(HostileTrainerCameras, LargeFilesCostNoTree)
{
    constexpr std::size_t kBytes = std::size_t{32} << 20;
    ExpectPosesFailure(dir.Write("long_position.json", R"([{"rotation":[[1,0,0],[0,1,0],[0,0,1]],"position":[)" +
                                                            Repeated("0,", kBytes / 2) + "0]}]"),
                       "cameras.json: no camera has a finite position and rotation");
    ExpectPosesFailure(dir.Write("many_rows.json", R"([{"position":[0,0,0],"rotation":[)" + Repeated("[1,0,0],", kBytes / 8) +
                                                       "[1,0,0]]}]"),
                       "cameras.json: no camera has a finite position and rotation");
    ExpectPosesFailure(dir.Write("numbers_then_camera.json",
                                 R"([{"position":[0,0,0],"rotation":[[1,0,0],[0,1,0],[0,0,1]],"x":[)" +
                                     Repeated("0,", kBytes / 2) + "0]},"),
                       "cameras.json: invalid JSON");
}

TEST_F(HostileTrainerCameras, ManyCamerasCostTheirFramesOnly)
{
    // A hundred thousand cameras: each costs one frame, not a tree of its text.
    const std::string text = "[" + Repeated(std::string(kCamera) + ",", 99999) + kCamera + "]";
    const hostile::Cost cost = LoadPoses(dir.Write("many.json", text));
    EXPECT_TRUE(cost.result);
    EXPECT_EQ(document.CameraPoses().frames.size(), 100000u);
    // The frames' vector while it grows, and the sort's buffer.
    EXPECT_LE(cost.peakBytes, 4 * 100000 * (sizeof(CameraFrame) + sizeof(CameraImage)) + hostile::kSmallConstant);
}
