#include "view/CameraController.h"
#include "view/ViewCamera.h"

#include <gtest/gtest.h>

#include <Eigen/Geometry>

#include <cmath>

using Eigen::Vector2f;
using Eigen::Vector3f;

namespace {

constexpr int kViewportWidth = 400;
constexpr int kViewportHeight = 300;

struct Drag {
    ViewCamera camera;
    CameraController controller;

    Drag(DragMode mode, int x, int y)
    {
        camera.target = Vector3f(1.0f, 2.0f, 3.0f);
        camera.distance = 10.0f;
        camera.orientation = Eigen::Quaternionf(Eigen::AngleAxisf(0.3f, Vector3f::UnitX()));
        controller.camera = &camera;
        controller.dragMode = mode;
        controller.lastX = x;
        controller.lastY = y;
        controller.viewportHeight = kViewportHeight;
    }
};

// Client pixel (y down) where a world point appears for this camera.
Vector2f ClientPixel(const ViewCamera& camera, const Vector3f& point)
{
    const Eigen::Vector4f clip = camera.ProjectionMatrix(static_cast<float>(kViewportWidth) / kViewportHeight) *
                                 camera.ViewMatrix() * point.homogeneous();
    const Vector3f ndc = clip.head<3>() / clip.w();
    return {(ndc.x() + 1.0f) * 0.5f * kViewportWidth, (1.0f - ndc.y()) * 0.5f * kViewportHeight};
}

TEST(CameraControllerTest, RotateDragOf100PixelsLeftTurnsByPoint8RadiansAboutUpKeepingTargetAndDistance)
{
    Drag drag(DragMode::Rotate, 300, 120);
    const Vector3f up = drag.camera.Up();
    const Vector3f right = drag.camera.Right();
    const Vector3f forward = drag.camera.Forward();
    const Vector3f eye = drag.camera.Eye();

    EXPECT_TRUE(drag.controller.OnDrag(200, 120));

    const Vector3f expected = Eigen::AngleAxisf(0.8f, up) * forward;
    EXPECT_TRUE(drag.camera.Forward().isApprox(expected, 1e-5f));
    EXPECT_TRUE(drag.camera.Up().isApprox(up, 1e-5f));
    EXPECT_EQ(drag.camera.target, Vector3f(1.0f, 2.0f, 3.0f));
    EXPECT_FLOAT_EQ(drag.camera.distance, 10.0f);
    // Dragging left swings the eye to the camera's right around the target.
    EXPECT_GT((drag.camera.Eye() - eye).dot(right), 0.0f);
    EXPECT_EQ(drag.controller.lastX, 200);
}

TEST(CameraControllerTest, VerticalRotateDragPitchesAboutRight)
{
    Drag drag(DragMode::Rotate, 50, 50);
    const Vector3f right = drag.camera.Right();
    const Vector3f forward = drag.camera.Forward();
    EXPECT_TRUE(drag.controller.OnDrag(50, 100));  // 50 px down: pitch -0.4
    EXPECT_TRUE(drag.camera.Forward().isApprox(Eigen::AngleAxisf(-0.4f, right) * forward, 1e-5f));
}

TEST(CameraControllerTest, RotateAfterAnAppliedPoseTurnsAboutTheEye)
{
    Drag drag(DragMode::Rotate, 300, 120);
    drag.camera.eyeAnchored = true;
    const Vector3f eye = drag.camera.Eye();
    const Vector3f target = drag.camera.target;

    EXPECT_TRUE(drag.controller.OnDrag(200, 80));

    EXPECT_TRUE(drag.camera.Eye().isApprox(eye, 1e-5f));
    EXPECT_GT((drag.camera.target - target).norm(), 1.0f);
}

TEST(CameraControllerTest, LookDragTurnsAboutTheEye)
{
    Drag drag(DragMode::Look, 10, 10);
    const Vector3f eye = drag.camera.Eye();
    const Vector3f up = drag.camera.Up();
    const Vector3f forward = drag.camera.Forward();

    EXPECT_TRUE(drag.controller.OnDrag(60, 10));  // 50 px right: yaw -0.4

    EXPECT_TRUE(drag.camera.Eye().isApprox(eye, 1e-5f));
    EXPECT_TRUE(drag.camera.Forward().isApprox(Eigen::AngleAxisf(-0.4f, up) * forward, 1e-5f));
}

TEST(CameraControllerTest, ZoomDragOf200PixelsDownMultipliesDistanceAndHalfHeightByE)
{
    Drag drag(DragMode::Zoom, 5, 100);
    EXPECT_TRUE(drag.controller.OnDrag(5, 300));
    EXPECT_NEAR(drag.camera.distance, 10.0f * std::exp(1.0f), 1e-4f);
    EXPECT_NEAR(drag.camera.orthoHalfHeight, 5.0f * std::exp(1.0f), 1e-4f);

    EXPECT_TRUE(drag.controller.OnDrag(5, 100));  // back up: zooms in again
    EXPECT_NEAR(drag.camera.distance, 10.0f, 1e-4f);

    drag.camera.distance = 900000.0f;
    EXPECT_TRUE(drag.controller.OnDrag(5, 300));
    EXPECT_FLOAT_EQ(drag.camera.distance, 1000000.0f);
}

// Panning keeps the point under the cursor at the look-at distance under the cursor.
TEST(CameraControllerTest, PanDragMovesTheTargetWithTheMouseInBothProjections)
{
    for (const int projection : {Perspective, Orthographic}) {
        Drag drag(DragMode::Pan, 200, 150);
        drag.camera.projection = projection;
        drag.camera.orthoHalfHeight = 4.0f;
        const Vector3f target = drag.camera.target;
        const Vector2f before = ClientPixel(drag.camera, target);

        EXPECT_TRUE(drag.controller.OnDrag(240, 130));  // 40 right, 20 up

        const Vector2f after = ClientPixel(drag.camera, target);
        EXPECT_NEAR(after.x() - before.x(), 40.0f, 0.05f) << "projection " << projection;
        EXPECT_NEAR(after.y() - before.y(), -20.0f, 0.05f) << "projection " << projection;
        EXPECT_FLOAT_EQ(drag.camera.distance, 10.0f);
    }
}

TEST(CameraControllerTest, OrthographicPanWithoutHalfHeightFollowsTheFieldOfView)
{
    Drag drag(DragMode::Pan, 0, 0);
    drag.camera.projection = Orthographic;
    drag.camera.orthoHalfHeight = 0.0f;
    const Vector3f target = drag.camera.target;
    EXPECT_TRUE(drag.controller.OnDrag(0, 30));
    const float expected = 30.0f * 2.0f * std::tan(drag.camera.fovY / 2.0f) * 10.0f / kViewportHeight;
    EXPECT_NEAR((drag.camera.target - target).norm(), expected, 1e-5f);
}

TEST(CameraControllerTest, NoStepWhenIdleWithoutCameraOrWithoutMovement)
{
    Drag idle(DragMode::Idle, 0, 0);
    EXPECT_FALSE(idle.controller.OnDrag(10, 10));
    EXPECT_EQ(idle.controller.lastX, 0);  // an idle controller does not track the mouse

    Drag unbound(DragMode::Rotate, 0, 0);
    unbound.controller.camera = nullptr;
    EXPECT_FALSE(unbound.controller.OnDrag(10, 10));

    Drag still(DragMode::Rotate, 7, 9);
    const Eigen::Quaternionf orientation = still.camera.orientation;
    EXPECT_FALSE(still.controller.OnDrag(7, 9));
    EXPECT_TRUE(still.camera.orientation.coeffs().isApprox(orientation.coeffs()));
}

TEST(CameraControllerTest, ViewportHeightOfZeroDoesNotBreakThePan)
{
    Drag drag(DragMode::Pan, 0, 0);
    drag.controller.viewportHeight = 0;
    EXPECT_TRUE(drag.controller.OnDrag(5, 5));
    EXPECT_TRUE(drag.camera.target.allFinite());
}

}  // namespace
