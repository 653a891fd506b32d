#include "tests/gl/ViewTestFixture.h"

#include "support/TestData.h"

#include <gtest/gtest.h>

#include <Eigen/Geometry>

#include <cmath>
#include <string>
#include <vector>

using Eigen::Matrix4d;
using Eigen::Vector3d;
using Eigen::Vector3f;
using testsupport::ScratchDir;
using testsupport::TestDataFile;

namespace {

// A camera at `position` turned by `yaw` about the world's vertical axis.
CameraFrame Frame(const Vector3d& position, double yaw = 0.0, float fovY = 0.0f)
{
    CameraFrame frame;
    frame.transform = Matrix4d::Identity();
    frame.transform.topLeftCorner<3, 3>() = Eigen::AngleAxisd(yaw, Vector3d::UnitY()).matrix();
    frame.transform.topRightCorner<3, 1>() = position;
    frame.fovY = fovY;
    return frame;
}

class ViewCameraFramesTest : public testsupport::ViewTest {
protected:
    void SetUp() override
    {
        ViewTest::SetUp();
        if (!IsSkipped())
            ShowPoints({{-1.0f, -1.0f, -1.0f}, {1.0f, 1.0f, 1.0f}});
    }

    // Ten frames in a row along x, one unit apart.
    void TenFrames()
    {
        CameraPoseSet poses;
        for (int i = 0; i < 10; ++i)
            poses.frames.push_back(Frame(Vector3d(i, 0.0, 5.0)));
        document.SetCameraPoses(poses);
    }

    void SetFrames(std::vector<CameraFrame> frames, float defaultFovY = 0.0f)
    {
        CameraPoseSet poses;
        poses.frames = std::move(frames);
        poses.defaultFovY = defaultFovY;
        document.SetCameraPoses(poses);
    }

    void Press(ViewKey key)
    {
        view->OnKeyDown(key);
    }

    std::string FramePane() { return desktop.paneTexts[StatusPane::Frame]; }
};

TEST_F(ViewCameraFramesTest, StepKeysStartAtTheFirstFrameAndWrapAround)
{
    TenFrames();
    Press(ViewKey::PageDown);
    EXPECT_EQ(view->Frames().Index(), 0);
    EXPECT_EQ(FramePane(), "Frame: 1/10");
    view->Frames().Forget();
    Press(ViewKey::PageUp);
    EXPECT_EQ(view->Frames().Index(), 0);

    Press(ViewKey::PageUp);
    EXPECT_EQ(view->Frames().Index(), 9);
    EXPECT_EQ(FramePane(), "Frame: 10/10");
    EXPECT_TRUE(Camera().Eye().isApprox(Vector3f(9.0f, 0.0f, 5.0f), 1e-5f));
    Press(ViewKey::PageDown);
    EXPECT_EQ(view->Frames().Index(), 0);
    Press(ViewKey::Digit2);
    Press(ViewKey::Digit2);
    EXPECT_EQ(view->Frames().Index(), 2);
    Press(ViewKey::Digit1);
    EXPECT_EQ(view->Frames().Index(), 1);
    EXPECT_TRUE(Camera().Eye().isApprox(Vector3f(1.0f, 0.0f, 5.0f), 1e-5f));
}

TEST_F(ViewCameraFramesTest, IndicesWrapInBothDirections)
{
    TenFrames();
    const std::pair<int, int> cases[] = {{-1, 9}, {10, 0}, {-11, 9}, {25, 5}, {-20, 0}, {INT32_MIN, 2}, {INT32_MAX, 7}};
    for (const auto& [index, expected] : cases) {
        view->ApplyCameraFrame(index);
        EXPECT_EQ(view->Frames().Index(), expected) << index;
    }
}

TEST_F(ViewCameraFramesTest, TheEyeIsTheRecordedPositionAndTheTargetLiesAheadOfIt)
{
    SetFrames({Frame(Vector3d(0.0, 0.0, 5.0))});
    view->ApplyCameraFrame(0);
    // Identity rotation: looking along -z with +y up.
    EXPECT_TRUE(Camera().Forward().isApprox(-Vector3f::UnitZ(), 1e-6f));
    EXPECT_TRUE(Camera().Up().isApprox(Vector3f::UnitY(), 1e-6f));
    EXPECT_TRUE(Camera().Eye().isApprox(Vector3f(0.0f, 0.0f, 5.0f), 1e-5f));
    // The pivot is the middle of the part of the scene box ahead: z from 1 to -1.
    EXPECT_NEAR(Camera().distance, 5.0f, 1e-4f);
    EXPECT_TRUE(Camera().eyeAnchored);
    EXPECT_EQ(desktop.calls.back(), "InvalidateView");
}

TEST_F(ViewCameraFramesTest, TheScenesOriginIsSubtractedFromRecordedPositions)
{
    ShowPoints({{0.0f, 0.0f, 0.0f}, {2.0f, 2.0f, 2.0f}}, Vector3d(1000.0, 2000.0, 0.0));
    SetFrames({Frame(Vector3d(1000.5, 2000.25, 3.0))});
    view->ApplyCameraFrame(0);
    EXPECT_TRUE(Camera().Eye().isApprox(Vector3f(0.5f, 0.25f, 3.0f), 1e-5f));

    // The same origin rule for splat scenes.
    GaussianData splats;
    splats.positions = {{0.0f, 0.0f, 0.0f}};
    splats.shDc = {{0.0f, 0.0f, 0.0f}};
    splats.opacities = {1.0f};
    splats.scales = {{0.1f, 0.1f, 0.1f}};
    splats.rotations = {{1.0f, 0.0f, 0.0f, 0.0f}};
    splats.origin = Vector3d(-10.0, 0.0, 100.0);
    ShowSplats(splats);
    SetFrames({Frame(Vector3d(-9.0, 0.0, 104.0))});
    view->ApplyCameraFrame(0);
    EXPECT_TRUE(Camera().Eye().isApprox(Vector3f(1.0f, 0.0f, 4.0f), 1e-5f));
}

TEST_F(ViewCameraFramesTest, FieldOfViewIsTakenOnlyStrictlyBetweenFiveAndOneHundredFiftyDegrees)
{
    const float start = Camera().fovY;
    SetFrames({Frame(Vector3d(0, 0, 5), 0.0, 0.08726646f)});
    view->ApplyCameraFrame(0);
    EXPECT_EQ(Camera().fovY, start);

    SetFrames({Frame(Vector3d(0, 0, 5), 0.0, 2.6179938f)});
    view->ApplyCameraFrame(0);
    EXPECT_EQ(Camera().fovY, 2.6179938f);

    // A frame without its own field of view takes the file's; without either the camera keeps its own.
    SetFrames({Frame(Vector3d(0, 0, 5), 0.0, 0.0f)}, 0.5f);
    view->ApplyCameraFrame(0);
    EXPECT_EQ(Camera().fovY, 0.5f);
    SetFrames({Frame(Vector3d(0, 0, 5), 0.0, 0.0f)}, 0.0f);
    view->ApplyCameraFrame(0);
    EXPECT_EQ(Camera().fovY, 0.5f);
    SetFrames({Frame(Vector3d(0, 0, 5), 0.0, 3.0f)});
    view->ApplyCameraFrame(0);
    EXPECT_EQ(Camera().fovY, 0.5f);
}

TEST_F(ViewCameraFramesTest, AnOrthographicViewStaysOrthographicWithTheMatchingHalfHeight)
{
    view->OnKeyDown(ViewKey::P);
    EditCamera([&](ViewCamera& edited) { edited.navMode = Fly; });
    SetFrames({Frame(Vector3d(0, 0, 5), 0.0, 0.6f)});
    view->ApplyCameraFrame(0);
    EXPECT_EQ(Camera().projection, Orthographic);
    EXPECT_EQ(Camera().navMode, Fly);
    EXPECT_NEAR(Camera().orthoHalfHeight, std::tan(0.3f) * Camera().distance, 1e-6f);
}

TEST_F(ViewCameraFramesTest, AfterAFrameRotationAndZoomWorkAboutTheEye)
{
    SetFrames({Frame(Vector3d(0.5, 0.0, 6.0), 0.3)});
    view->ApplyCameraFrame(0);
    const Vector3f eye = Camera().Eye();
    const Vector3f forward = Camera().Forward();

    view->OnButtonDown(MouseButton::Left, 100, 100, {});
    view->OnMouseMove(60, 80);
    view->OnButtonUp(MouseButton::Left, 60, 80);
    EXPECT_TRUE(Camera().Eye().isApprox(eye, 1e-5f));
    EXPECT_FALSE(Camera().Forward().isApprox(forward, 1e-3f));

    // One wheel notch in dollies eye and pivot forward by a tenth of the distance.
    const Vector3f turnedForward = Camera().Forward();
    const float distance = Camera().distance;
    view->OnMouseWheel(120);
    EXPECT_FLOAT_EQ(Camera().distance, distance);
    EXPECT_TRUE(Camera().Eye().isApprox(eye + turnedForward * 0.1f * distance, 1e-4f));
}

TEST_F(ViewCameraFramesTest, OpeningAPoseFileAppliesItsFirstFrameAndAFailureKeepsEverything)
{
    const ScratchDir scratch;
    const std::filesystem::path good = scratch.Write(
        "transforms.json",
        std::string(R"({"frames":[{"transform_matrix":[[1,0,0,0.25],[0,1,0,0],[0,0,1,4],[0,0,0,1]]},)"
                    R"({"transform_matrix":[[1,0,0,1],[0,1,0,0],[0,0,1,4],[0,0,0,1]]}]})"));
    const std::filesystem::path bad = scratch.Write("bad.json", std::string(R"({"frames":[]})"));

    // What the application does once the file is read: the first frame.
    const auto openPoses = [&](const std::filesystem::path& path) {
        if (document.OpenCameraPoses(path.string()))
            view->ApplyCameraFrame(0);
    };
    openPoses(good);
    EXPECT_EQ(view->Frames().Index(), 0);
    EXPECT_EQ(FramePane(), "Frame: 1/2");
    EXPECT_TRUE(Camera().Eye().isApprox(Vector3f(0.25f, 0.0f, 4.0f), 1e-5f));

    Press(ViewKey::PageDown);
    const Vector3f eye = Camera().Eye();
    openPoses(bad);
    EXPECT_EQ(desktop.messageBoxes.back(),
              "Failed to load the camera pose file (transforms.json).\nNo valid camera frames found.");
    EXPECT_EQ(document.CameraPoses().frames.size(), 2u);
    EXPECT_EQ(view->Frames().Index(), 1);
    EXPECT_TRUE(Camera().Eye().isApprox(eye));
}

TEST_F(ViewCameraFramesTest, ANewSceneEmptiesTheFramePaneAndTheStepKeysStop)
{
    TenFrames();
    Press(ViewKey::PageDown);
    ASSERT_EQ(FramePane(), "Frame: 1/10");
    ShowPoints({{0.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 1.0f}});  // the document drops its frames
    EXPECT_EQ(FramePane(), "");
    EXPECT_EQ(view->Frames().Index(), -1);
    const Vector3f target = Camera().target;
    Press(ViewKey::PageDown);
    EXPECT_EQ(view->Frames().Index(), -1);
    EXPECT_EQ(Camera().target, target);
}

TEST_F(ViewCameraFramesTest, AFrameTooFarForSinglePrecisionIsSkippedInTheDirectionOfTheStep)
{
    std::vector<CameraFrame> frames;
    for (int i = 0; i < 10; ++i)
        frames.push_back(Frame(Vector3d(i, 0.0, 5.0)));
    frames[1] = Frame(Vector3d(1e300, 0.0, 0.0));
    SetFrames(frames);
    Press(ViewKey::PageDown);
    ASSERT_EQ(view->Frames().Index(), 0);
    Press(ViewKey::PageDown);  // frame 2 cannot be shown: the step lands on frame 3
    EXPECT_EQ(view->Frames().Index(), 2);
    EXPECT_EQ(FramePane(), "Frame: 3/10");
    EXPECT_TRUE(Camera().Eye().isApprox(Vector3f(2.0f, 0.0f, 5.0f), 1e-5f));
    Press(ViewKey::PageUp);  // and back past it to frame 1
    EXPECT_EQ(view->Frames().Index(), 0);
    EXPECT_EQ(FramePane(), "Frame: 1/10");
    EXPECT_TRUE(Camera().Eye().allFinite());
}

TEST_F(ViewCameraFramesTest, WithNoFrameThatCanBeShownNothingChanges)
{
    TenFrames();
    Press(ViewKey::PageDown);
    const ViewCamera before = Camera();
    CameraPoseSet farAway = document.CameraPoses();
    for (auto& frame : farAway.frames)
        frame = Frame(Vector3d(1e300, 0.0, 0.0));
    document.SetCameraPoses(farAway);
    Press(ViewKey::PageDown);
    Press(ViewKey::PageUp);
    EXPECT_EQ(view->Frames().Index(), 0);
    EXPECT_EQ(FramePane(), "Frame: 1/10");
    EXPECT_EQ(Camera().target, before.target);
}

TEST_F(ViewCameraFramesTest, WithoutASceneThePivotLiesTwoUnitsAhead)
{
    document.Clear();
    SetFrames({Frame(Vector3d(3.0, 0.0, 0.0))});
    view->ApplyCameraFrame(0);
    EXPECT_FLOAT_EQ(Camera().distance, 2.0f);
    EXPECT_TRUE(Camera().target.isApprox(Vector3f(3.0f, 0.0f, -2.0f)));
}

TEST_F(ViewCameraFramesTest, FoxPosesOverTheDonutScene)
{
    ORRISK_REQUIRE_TESTDATA();
    ASSERT_TRUE(document.Open(TestDataFile("splat/donut_fused.ply").string()));
    ASSERT_TRUE(document.OpenCameraPoses(TestDataFile("poses/fox_transforms.json").string()));
    view->ApplyCameraFrame(0);
    EXPECT_EQ(FramePane(), "Frame: 1/67");
    for (int i = 0; i < 67; ++i) {
        Press(ViewKey::PageDown);
        EXPECT_TRUE(Camera().Eye().allFinite());
        EXPECT_TRUE(Camera().target.allFinite());
    }
    EXPECT_EQ(FramePane(), "Frame: 1/67");
}

}  // namespace
