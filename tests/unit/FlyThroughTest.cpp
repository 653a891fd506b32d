#include "capture/FlyThrough.h"

#include "support/TestData.h"
#include "support/VideoFile.h"

#include <gtest/gtest.h>


#include <cstdint>
#include <filesystem>
#include <vector>

namespace {

CameraPoseSet ThreeCameras()
{
    CameraPoseSet poses;
    poses.frames.resize(3);
    for (std::size_t i = 0; i < 3; ++i)
        poses.frames[i].transform(0, 3) = static_cast<double>(i);
    return poses;
}

// A picture whose brightness follows the camera's x, so the frames differ as the path moves.
CameraRender ShadeByPosition(std::vector<double>& positions)
{
    return [&positions](const CameraFrame& frame, float, int width, int height,
                        const std::optional<PinholeIntrinsics>& intrinsics) -> std::optional<RgbImage> {
        EXPECT_FALSE(intrinsics);  // a path between cameras has no lens of its own
        positions.push_back(frame.transform(0, 3));
        const auto shade = static_cast<std::uint8_t>(40.0 + 80.0 * frame.transform(0, 3));
        return RgbImage{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width * height * 3), shade)};
    };
}

TEST(FlyThrough, AThreeCameraPathMakesAVideoOfTheExpectedFramesThatDecodes)
{
    const testsupport::ScratchDir scratch;
    const auto path = scratch.File("fly.mp4");
    FlyThroughOptions options;
    options.width = 63;  // odd sides are rounded up for 4:2:0
    options.height = 47;
    options.fps = 12;
    options.secondsPerCamera = 0.5;
    std::vector<double> positions;
    std::vector<std::size_t> progress;
    std::string error;
    ASSERT_TRUE(WriteFlyThrough(path, ThreeCameras(), options, ShadeByPosition(positions),
                                [&progress](std::size_t done, std::size_t total) {
                                    progress.push_back(total);
                                    return done <= total;
                                },
                                error))
        << error;
    // Two gaps of 0.5 s at 12 frames a second, both ends included.
    ASSERT_EQ(positions.size(), 13u);
    EXPECT_EQ(progress.size(), 13u);
    EXPECT_EQ(positions.front(), 0.0);
    EXPECT_EQ(positions[6], 1.0);
    EXPECT_EQ(positions.back(), 2.0);
    EXPECT_FALSE(std::filesystem::exists(scratch.File("fly.mp4.part")));

    const testsupport::DecodedVideo video = testsupport::DecodeVideo(path);
    EXPECT_EQ(video.codec, AV_CODEC_ID_H264);
    EXPECT_EQ(video.width, 64);
    EXPECT_EQ(video.height, 48);
    EXPECT_EQ(video.frames, 13);
    EXPECT_NEAR(video.averageFps, 12.0, 1e-9);
}

TEST(FlyThrough, AFailedOrCancelledVideoLeavesTheEarlierFile)
{
    const testsupport::ScratchDir scratch;
    const auto path = scratch.Write("fly.mp4", "earlier video");
    std::vector<double> positions;
    std::string error;
    FlyThroughOptions options;
    options.width = 32;
    options.height = 32;
    EXPECT_FALSE(WriteFlyThrough(path, ThreeCameras(), options, ShadeByPosition(positions),
                                 [](std::size_t done, std::size_t) { return done < 5; }, error));
    EXPECT_EQ(error, "cancelled");
    const CameraRender drawsNothing = [](const CameraFrame&, float, int, int, const std::optional<PinholeIntrinsics>&) {
        return std::optional<RgbImage>();
    };
    EXPECT_FALSE(WriteFlyThrough(path, ThreeCameras(), options, drawsNothing, {}, error));
    EXPECT_EQ(error, "cannot draw frame 0");
    EXPECT_FALSE(WriteFlyThrough(path, CameraPoseSet(), options, ShadeByPosition(positions), {}, error));
    EXPECT_FALSE(WriteFlyThrough(scratch.File("no/such/folder/fly.mp4"), ThreeCameras(), options,
                                 ShadeByPosition(positions), {}, error));
    EXPECT_EQ(testsupport::ReadWholeFile(path), "earlier video");
    EXPECT_FALSE(std::filesystem::exists(scratch.File("fly.mp4.part")));
}

}  // namespace
