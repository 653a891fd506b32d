#include "HostileFixture.h"

#include <string>
#include <utility>

namespace {

using hostile::HostileDocument;

using HostilePoses = HostileDocument;

constexpr const char* kFrame = R"({"transform_matrix":[[1,0,0,5],[0,1,0,6],[0,0,1,7],[0,0,0,1]]})";

std::string Repeated(const std::string& text, std::size_t times)
{
    std::string result;
    result.reserve(text.size() * times);
    for (std::size_t i = 0; i < times; ++i)
        result += text;
    return result;
}

}  // namespace

TEST_F(HostilePoses, DeepNestingFails)
{
    constexpr std::size_t kDepth = 1000000;
    const std::string open(kDepth, '['), close(kDepth, ']');
    ExpectPosesFailure(dir.Write("unclosed.json", open), "Invalid JSON format.");
    ExpectPosesFailure(dir.Write("nested_array.json", open + close), "Invalid JSON format.");
    ExpectPosesFailure(dir.Write("nested_frames.json", R"({"frames":)" + open + close + "}"),
                       "No valid camera frames found.");
    ExpectPosesFailure(dir.Write("nested_matrix.json", R"({"frames":[{"transform_matrix":)" + open + close + "}]}"),
                       "No valid camera frames found.");
    ExpectPosesFailure(dir.Write("nested_objects.json", R"({"frames":[{"other":)" + Repeated(R"({"a":)", kDepth) +
                                                            "1" + std::string(kDepth, '}') + "}]}"),
                       "No valid camera frames found.");
    // Broken off deep inside.
    ExpectPosesFailure(dir.Write("nested_broken.json", R"({"frames":[{"transform_matrix":)" + open + "1,"),
                       "Invalid JSON format.");
}

TEST_F(HostilePoses, VeryLargeFilesFailWithoutBuildingATree)
{
    constexpr std::size_t kBytes = std::size_t{32} << 20;
    // Values that each take a few bytes of text and many more as a tree.
    ExpectPosesFailure(dir.Write("numbers.json", R"({"other":[)" + Repeated("0,", kBytes / 2) + R"(0],"frames":[]})"),
                       "No valid camera frames found.");
    ExpectPosesFailure(dir.Write("frames_of_numbers.json", R"({"frames":[)" + Repeated("0,", kBytes / 2) + "0]}"),
                       "No valid camera frames found.");
    ExpectPosesFailure(dir.Write("matrix_of_numbers.json",
                                 R"({"frames":[{"transform_matrix":[)" + Repeated("0,", kBytes / 2) + "0]}]}"),
                       "No valid camera frames found.");
    ExpectPosesFailure(dir.Write("numbers_broken.json", R"({"frames":[)" + Repeated("0,", kBytes / 2)),
                       "Invalid JSON format.");
}

TEST_F(HostilePoses, LongTokensCostAFewTimesTheirLength)
{
    // The JSON library's reader keeps the text of the token it is reading, twice over for a
    // string, and it counts brackets and white space into the token that follows them. A
    // single huge token or run therefore costs a few times its length; the file size limit
    // bounds it.
    constexpr std::size_t kBytes = std::size_t{16} << 20;
    const std::pair<std::string, std::string> files[] = {
        {"empty_arrays.json", R"({"frames":[)" + Repeated("[],", kBytes / 3) + "[]]}"},
        {"empty_objects.json", R"({"frames":[)" + Repeated("{},", kBytes / 3) + "{}]}"},
        {"white_space.json", R"({"frames":[)" + std::string(kBytes, ' ') + "]}"},
        {"string.json", R"({"frames":[")" + std::string(kBytes, 'a') + R"("]})"},
    };
    for (const auto& [name, text] : files) {
        SCOPED_TRACE(name);
        const hostile::Cost cost = LoadPoses(dir.Write(name, text));
        EXPECT_FALSE(cost.result);
        EXPECT_EQ(desktop.messageBoxes,
                  std::vector<std::string>{hostile::kCameraPosesFailed + "No valid camera frames found."});
        EXPECT_LE(cost.peakBytes, 5 * text.size() + hostile::kSmallConstant);
    }
}

TEST_F(HostilePoses, AMillionFramesLoad)
{
    constexpr std::size_t kFrames = 1000000;
    const std::string text = R"({"fl_y":300,"h":600,"frames":[)" + Repeated(std::string(kFrame) + ",", kFrames - 1) +
                             kFrame + "]}";
    const auto path = dir.Write("million.json", text);
    const hostile::Cost cost = LoadPoses(path);
    ASSERT_TRUE(cost.result);
    ASSERT_EQ(document.CameraPoses().frames.size(), kFrames);
    EXPECT_EQ(document.CameraPoses().frames.back().transform(0, 3), 5.0);
    // The frames themselves take about twice the text here (128 bytes of matrix for 60 of
    // text); growing their array may briefly take half as much again.
    EXPECT_LE(cost.peakBytes, 4 * text.size() + hostile::kSmallConstant);
}
