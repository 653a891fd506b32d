#include "tests/gl/SplatTestScenes.h"
#include "tests/gl/ViewTestFixture.h"

#include "render/GaussianSplatRenderer.h"
#include "render/PointCloudRenderer.h"
#include "settings/AppSettings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using Eigen::Vector3f;
using testsupport::RoundSplats;

namespace {

const std::vector<Vector3f> kBox = {{-2.0f, -1.0f, -1.0f}, {2.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 0.0f}};

class ViewInputTest : public testsupport::ViewTest {
protected:
    void SetUp() override
    {
        ViewTest::SetUp();
        if (!IsSkipped())
            ShowPoints(kBox);
    }

    // Presses a key and reports whether it repainted.
    bool Press(ViewKey key, bool shift = false)
    {
        desktop.shiftDown = shift;
        const std::size_t before = desktop.invalidations;
        view->OnKeyDown(key);
        desktop.shiftDown = false;
        return desktop.invalidations > before;
    }

    GaussianData SplatsWithIds()
    {
        GaussianData splats = RoundSplats({{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}}, 0.2f);
        splats.objectIds = {1, 2, 3};
        splats.hasObjectIds = true;
        return splats;
    }

};

TEST_F(ViewInputTest, ButtonsStartTheirDragsAndTakeFocusAndCapture)
{
    struct Case {
        MouseButton button;
        MouseModifiers modifiers;
        int navMode;
        DragMode expected;
    };
    const Case cases[] = {
        {MouseButton::Left, {}, Orbit, DragMode::Rotate},
        {MouseButton::Left, {}, Fly, DragMode::Look},
        {MouseButton::Left, {true, true}, Orbit, DragMode::Rotate},
        {MouseButton::Right, {}, Orbit, DragMode::Rotate},
        {MouseButton::Right, {}, Fly, DragMode::Look},
        {MouseButton::Right, {true, false}, Fly, DragMode::Zoom},
        {MouseButton::Right, {false, true}, Orbit, DragMode::Pan},
        {MouseButton::Right, {true, true}, Orbit, DragMode::Zoom},
        {MouseButton::Middle, {}, Fly, DragMode::Pan},
    };
    for (const Case& c : cases) {
        EditCamera([&](ViewCamera& edited) { edited.navMode = c.navMode; });
        desktop.calls.clear();
        view->OnButtonDown(c.button, 12, 34, c.modifiers);
        EXPECT_EQ(view->Controller().dragMode, c.expected);
        EXPECT_EQ(desktop.calls, (std::vector<std::string>{"SetViewFocus", "CaptureMouse"}));
        EXPECT_EQ(view->Controller().lastX, 12);
        EXPECT_EQ(view->Controller().lastY, 34);
        view->OnButtonUp(c.button, 12, 34);
        EXPECT_EQ(view->Controller().dragMode, DragMode::Idle);
        EXPECT_FALSE(desktop.mouseCaptured);
    }
}

TEST_F(ViewInputTest, ARotateDragTurnsTheCameraAndRepaintsEachStep)
{
    const Vector3f up = Camera().Up();
    const Vector3f forward = Camera().Forward();
    view->OnButtonDown(MouseButton::Left, 150, 70, {});
    const std::size_t before = desktop.invalidations;
    view->OnMouseMove(100, 70);
    view->OnMouseMove(50, 70);
    view->OnMouseMove(50, 70);  // no movement, no repaint
    EXPECT_EQ(desktop.invalidations, before + 2);
    EXPECT_TRUE(Camera().Forward().isApprox(Eigen::AngleAxisf(0.8f, up) * forward, 1e-5f));

    // Releasing another button than the one that started it still ends the drag.
    view->OnButtonUp(MouseButton::Right, 50, 70);
    EXPECT_EQ(desktop.invalidations, before + 3);
    const Vector3f after = Camera().Forward();
    view->OnMouseMove(0, 0);
    EXPECT_EQ(Camera().Forward(), after);
}

TEST_F(ViewInputTest, MovesWithoutTheCaptureDoNothing)
{
    view->OnButtonDown(MouseButton::Left, 150, 70, {});
    desktop.mouseCaptured = false;  // the window system took the capture away
    const Eigen::Quaternionf orientation = Camera().orientation;
    view->OnMouseMove(10, 10);
    EXPECT_TRUE(Camera().orientation.coeffs().isApprox(orientation.coeffs()));
    // Button up without the capture: no release call, the drag still ends.
    desktop.calls.clear();
    view->OnButtonUp(MouseButton::Left, 10, 10);
    EXPECT_EQ(std::count(desktop.calls.begin(), desktop.calls.end(), "ReleaseMouse"), 0);
    EXPECT_EQ(view->Controller().dragMode, DragMode::Idle);
}

TEST_F(ViewInputTest, ReleasingARotateReordersTheSplatsForTheNewDirection)
{
    // Three splats in a row along x: seen along the row, the order is by x.
    ShowSplats(RoundSplats({{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, {2.0f, 0.0f, 0.0f}}, 0.1f));
    view->SetViewAxis(0, false);  // the eye on +x: splat 0 is the farthest
    ASSERT_EQ(view->Context().Splats()->DrawOrder(), (std::vector<uint32_t>{0, 1, 2}));

    // Half a turn about the vertical (pi / 0.008 pixels): the eye ends on -x.
    view->OnButtonDown(MouseButton::Left, 0, 0, {});
    view->OnMouseMove(static_cast<int>(std::lround(3.14159265f / 0.008f)), 0);
    view->OnButtonUp(MouseButton::Left, 0, 0);
    EXPECT_EQ(view->Context().Splats()->DrawOrder(), (std::vector<uint32_t>{2, 1, 0}));
}

TEST_F(ViewInputTest, WheelNotchesZoomByPowersOfPoint9)
{
    const float distance = Camera().distance;
    view->OnMouseWheel(120);
    EXPECT_NEAR(Camera().distance, distance * 0.9f, 1e-4f);
    view->OnMouseWheel(-240);
    EXPECT_NEAR(Camera().distance, distance / 0.9f, 1e-4f);
    view->OnMouseWheel(60);  // half a notch
    EXPECT_NEAR(Camera().distance, distance / 0.9f * std::sqrt(0.9f), 1e-4f);
    EXPECT_EQ(desktop.calls.back(), "InvalidateView");
}

TEST_F(ViewInputTest, TabSwitchesNavigationAndTheModeText)
{
    EXPECT_TRUE(Press(ViewKey::Tab));
    EXPECT_EQ(Camera().navMode, Fly);
    EXPECT_EQ(desktop.paneTexts[StatusPane::Mode], "Mode: Fly | Persp");
    EditCamera([](ViewCamera& edited) { edited.navMode = 7; });  // any value but Orbit counts as flying for Tab
    EXPECT_TRUE(Press(ViewKey::Tab));
    EXPECT_EQ(Camera().navMode, Orbit);
    EXPECT_EQ(desktop.paneTexts[StatusPane::Mode], "Mode: Orbit | Persp");
}

TEST_F(ViewInputTest, FlyKeysDoNothingInOrbitMode)
{
    const ViewCamera before = Camera();
    for (const ViewKey key : {ViewKey::W, ViewKey::A, ViewKey::S, ViewKey::D, ViewKey::Q, ViewKey::E}) {
        EXPECT_FALSE(Press(key)) << static_cast<int>(key);
        EXPECT_EQ(Camera().target, before.target) << static_cast<int>(key);
    }
}

TEST_F(ViewInputTest, FlyKeysMoveTargetAndEyeByFourPercentOfTheDistanceAndFourTimesWithShift)
{
    EditCamera([&](ViewCamera& edited) { edited.navMode = Fly; });
    const float step = Camera().distance * 0.04f;
    struct Case {
        ViewKey key;
        Vector3f direction;
    };
    const Case cases[] = {{ViewKey::W, Camera().Forward()}, {ViewKey::S, -Camera().Forward()}, {ViewKey::D, Camera().Right()},
                          {ViewKey::A, -Camera().Right()},  {ViewKey::E, Camera().Up()},       {ViewKey::Q, -Camera().Up()}};
    for (const Case& c : cases) {
        for (const bool shift : {false, true}) {
            const Vector3f target = Camera().target;
            const Vector3f eye = Camera().Eye();
            EXPECT_TRUE(Press(c.key, shift));
            const Vector3f expected = c.direction * step * (shift ? 4.0f : 1.0f);
            EXPECT_TRUE((Camera().target - target).isApprox(expected, 1e-4f)) << static_cast<int>(c.key);
            EXPECT_TRUE((Camera().Eye() - eye).isApprox(expected, 1e-3f)) << static_cast<int>(c.key);
        }
    }
}

TEST_F(ViewInputTest, FitResetAndAxisKeys)
{
    const PointCloudData& cloud = Cloud();
    EditCamera([&](ViewCamera& edited) { edited.target = Vector3f(9.0f, 9.0f, 9.0f); });
    EditCamera([](ViewCamera& edited) { edited.Orbit(0.7f, 0.2f); });
    const Eigen::Quaternionf turned = Camera().orientation;
    EXPECT_TRUE(Press(ViewKey::F));  // fit keeps the direction
    EXPECT_TRUE(Camera().target.isApprox(cloud.center));
    EXPECT_TRUE(Camera().orientation.coeffs().isApprox(turned.coeffs()));

    EXPECT_TRUE(Press(ViewKey::R));  // reset: fit and home direction
    EXPECT_TRUE(Camera().Forward().isApprox(-HomeViewPreset().direction, 1e-5f));

    struct Case {
        ViewKey key;
        bool shift;
        Vector3f eyeSide;
        Vector3f up;
    };
    const Case cases[] = {{ViewKey::X, false, Vector3f::UnitX(), Vector3f::UnitZ()},
                          {ViewKey::X, true, -Vector3f::UnitX(), Vector3f::UnitZ()},
                          {ViewKey::Y, false, Vector3f::UnitY(), Vector3f::UnitZ()},
                          {ViewKey::Y, true, -Vector3f::UnitY(), Vector3f::UnitZ()},
                          {ViewKey::Z, false, Vector3f::UnitZ(), Vector3f::UnitY()},
                          {ViewKey::Z, true, -Vector3f::UnitZ(), Vector3f::UnitY()}};
    for (const Case& c : cases) {
        EditCamera([&](ViewCamera& edited) { edited.eyeAnchored = true; });
        EXPECT_TRUE(Press(c.key, c.shift));
        EXPECT_TRUE(Camera().Forward().isApprox(-c.eyeSide, 1e-5f)) << static_cast<int>(c.key) << c.shift;
        EXPECT_TRUE(Camera().Up().isApprox(c.up, 1e-5f)) << static_cast<int>(c.key) << c.shift;
        EXPECT_FALSE(Camera().eyeAnchored);
    }
}

TEST_F(ViewInputTest, GizmoKeyToggles)
{
    EXPECT_TRUE(Press(ViewKey::G));
    EXPECT_FALSE(view->DisplaySettings().showAxisGizmo);
    EXPECT_TRUE(Press(ViewKey::G));
    EXPECT_TRUE(view->DisplaySettings().showAxisGizmo);
}

TEST_F(ViewInputTest, ProjectionKeyKeepsTheVisibleHeightAndUpdatesTextAndClipPlanes)
{
    const float t = std::tan(Camera().fovY / 2.0f);
    const float distance = Camera().distance;
    EditCamera([&](ViewCamera& edited) { edited.nearPlane = 123.0f; });
    EXPECT_TRUE(Press(ViewKey::P));
    EXPECT_EQ(Camera().projection, Orthographic);
    EXPECT_NEAR(Camera().orthoHalfHeight, t * distance, 1e-4f);
    EXPECT_FLOAT_EQ(Camera().nearPlane, 0.0001f);  // clip planes fitted for the orthographic box
    EXPECT_EQ(desktop.paneTexts[StatusPane::Mode], "Mode: Orbit | Ortho");
    EXPECT_TRUE(Press(ViewKey::P));
    EXPECT_EQ(Camera().projection, Perspective);
    EXPECT_NEAR(Camera().distance, distance, 1e-3f);
    EXPECT_EQ(desktop.paneTexts[StatusPane::Mode], "Mode: Orbit | Persp");
}

TEST_F(ViewInputTest, PointSizeKeysStepByOneWithinOneToThirtyTwo)
{
    auto* points = view->Context().Points();
    ASSERT_NE(points, nullptr);
    EXPECT_TRUE(Press(ViewKey::NumpadPlus));
    EXPECT_FLOAT_EQ(view->CurrentPointStyle().size, 3.0f);
    EXPECT_TRUE(Press(ViewKey::PlusEquals));
    EXPECT_FLOAT_EQ(points->PointSize(), 4.0f);
    EXPECT_TRUE(Press(ViewKey::Minus));
    EXPECT_TRUE(Press(ViewKey::NumpadMinus));
    EXPECT_TRUE(Press(ViewKey::NumpadMinus));
    EXPECT_TRUE(Press(ViewKey::NumpadMinus));
    EXPECT_FLOAT_EQ(view->CurrentPointStyle().size, 1.0f);
    AppSettings settings = view->DisplaySettings();
    settings.pointSize = 32.0f;
    view->SetDisplaySettings(settings);
    EXPECT_TRUE(Press(ViewKey::PlusEquals));
    EXPECT_FLOAT_EQ(view->CurrentPointStyle().size, 32.0f);
    EXPECT_FLOAT_EQ(points->PointSize(), 32.0f);
}

TEST_F(ViewInputTest, SegmentKeysActOnlyOnSplatsWithIds)
{
    // A point cloud: nothing, not even a repaint.
    for (const ViewKey key : {ViewKey::M, ViewKey::LeftBracket, ViewKey::RightBracket})
        EXPECT_FALSE(Press(key)) << static_cast<int>(key);

    ShowSplats(RoundSplats({{0.0f, 0.0f, 0.0f}}, 0.2f));  // no ids
    for (const ViewKey key : {ViewKey::M, ViewKey::LeftBracket, ViewKey::RightBracket})
        EXPECT_FALSE(Press(key)) << static_cast<int>(key);

    ShowSplats(SplatsWithIds());
    GaussianSplatRenderer* splats = view->Context().Splats();
    ASSERT_TRUE(splats->segEnabled);
    EXPECT_TRUE(Press(ViewKey::M));
    EXPECT_FALSE(splats->segEnabled);
    EXPECT_TRUE(Press(ViewKey::M));
    EXPECT_TRUE(splats->segEnabled);

    splats->segBlend = 0.95f;
    EXPECT_TRUE(Press(ViewKey::RightBracket));
    EXPECT_FLOAT_EQ(splats->segBlend, 1.0f);
    splats->segBlend = 0.05f;
    EXPECT_TRUE(Press(ViewKey::LeftBracket));
    EXPECT_FLOAT_EQ(splats->segBlend, 0.0f);
    EXPECT_TRUE(Press(ViewKey::RightBracket));
    EXPECT_NEAR(splats->segBlend, 0.1f, 1e-6f);
    EXPECT_FLOAT_EQ(view->SegmentBlendSetting(), 0.5f);  // the keys change the live renderer only
}

TEST_F(ViewInputTest, FrameKeysDoNothingWithoutFrames)
{
    const ViewCamera before = Camera();
    for (const ViewKey key : {ViewKey::PageUp, ViewKey::PageDown, ViewKey::Digit1, ViewKey::Digit2}) {
        EXPECT_FALSE(Press(key)) << static_cast<int>(key);
        EXPECT_EQ(view->Frames().Index(), -1);
    }
    EXPECT_EQ(Camera().target, before.target);
}

}  // namespace
