#include "view/ViewCamera.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

using Eigen::Matrix4f;
using Eigen::Quaternionf;
using Eigen::Vector3f;

namespace {

constexpr float kTol = 1e-4f;

// Normalised device coordinates of a world point.
Vector3f ToNdc(const ViewCamera& camera, const Vector3f& point, float aspect = 1.0f)
{
    const Eigen::Vector4f clip = camera.ProjectionMatrix(aspect) * camera.ViewMatrix() * point.homogeneous();
    return clip.head<3>() / clip.w();
}

// A camera looking at (1, 2, 3) from an oblique, rolled direction.
ViewCamera ObliqueCamera()
{
    ViewCamera camera;
    camera.target = Vector3f(1.0f, 2.0f, 3.0f);
    camera.distance = 7.0f;
    camera.orientation = Quaternionf(Eigen::AngleAxisf(0.7f, Vector3f(0.3f, -1.0f, 0.5f).normalized()));
    return camera;
}

float Angle(const Vector3f& a, const Vector3f& b)
{
    return std::acos(std::clamp(a.normalized().dot(b.normalized()), -1.0f, 1.0f));
}

void ExpectNear(const Vector3f& actual, const Vector3f& expected, float tol = kTol)
{
    EXPECT_LT((actual - expected).norm(), tol) << "actual " << actual.transpose() << ", expected "
                                               << expected.transpose();
}

}  // namespace

TEST(ViewCamera, DefaultsLookDownMinusZFromTenUnits)
{
    const ViewCamera camera;
    EXPECT_EQ(camera.projection, Perspective);
    EXPECT_EQ(camera.navMode, NavMode::Orbit);
    EXPECT_FLOAT_EQ(camera.fovY, 0.7853982f);
    EXPECT_FALSE(camera.eyeAnchored);
    // Quaternion coefficients are stored x, y, z, w.
    EXPECT_EQ(camera.orientation.coeffs(), Eigen::Vector4f(0, 0, 0, 1));
    EXPECT_EQ(camera.Eye(), Vector3f(0, 0, 10));
    EXPECT_EQ(camera.Forward(), Vector3f(0, 0, -1));
    EXPECT_EQ(camera.Right(), Vector3f(1, 0, 0));
    EXPECT_EQ(camera.Up(), Vector3f(0, 1, 0));
}

TEST(ViewCamera, ViewMatrixPutsEyeAtOriginLookingDownMinusZ)
{
    const ViewCamera camera = ObliqueCamera();
    const Matrix4f view = camera.ViewMatrix();
    ExpectNear((view * camera.Eye().homogeneous()).head<3>(), Vector3f::Zero());
    ExpectNear((view * camera.target.homogeneous()).head<3>(), Vector3f(0, 0, -camera.distance));
    ExpectNear(view.topLeftCorner<3, 3>() * camera.Right(), Vector3f::UnitX());
    ExpectNear(view.topLeftCorner<3, 3>() * camera.Up(), Vector3f::UnitY());
    EXPECT_EQ(view.row(3), Eigen::RowVector4f(0, 0, 0, 1));
}

TEST(ViewCamera, ProjectionMapsClipPlanesToDepthRangeAndTargetToCentre)
{
    for (const int32_t mode : {int32_t(Perspective), int32_t(Orthographic)}) {
        ViewCamera camera = ObliqueCamera();
        camera.projection = mode;
        camera.nearPlane = 0.5f;
        camera.farPlane = 40.0f;
        const Vector3f eye = camera.Eye();
        EXPECT_NEAR(ToNdc(camera, eye + camera.Forward() * 0.5f).z(), -1.0f, kTol) << mode;
        EXPECT_NEAR(ToNdc(camera, eye + camera.Forward() * 40.0f).z(), 1.0f, kTol) << mode;
        EXPECT_LT(ToNdc(camera, camera.target).head<2>().norm(), kTol) << mode;
        // The top edge of the view at the target, and the right edge at twice the aspect.
        const float h =
            mode == Perspective ? std::tan(camera.fovY / 2) * camera.distance : camera.orthoHalfHeight;
        EXPECT_NEAR(ToNdc(camera, camera.target + camera.Up() * h).y(), 1.0f, kTol) << mode;
        EXPECT_NEAR(ToNdc(camera, camera.target + camera.Right() * 2 * h, 2.0f).x(), 1.0f, kTol) << mode;
    }
}

TEST(ViewCamera, OrthographicSizeFollowsFieldOfViewWhenHalfHeightIsUnset)
{
    ViewCamera camera;
    camera.projection = Orthographic;
    camera.orthoHalfHeight = 0.0f;
    const float h = std::tan(camera.fovY / 2) * camera.distance;
    EXPECT_NEAR(ToNdc(camera, camera.target + Vector3f(0, h, 0)).y(), 1.0f, kTol);
    // An unknown stored mode draws as perspective.
    camera.projection = 7;
    EXPECT_EQ(camera.ProjectionMatrix(1.0f)(3, 2), -1.0f);
}

TEST(ViewCamera, OrbitSwingsEyeAroundTargetAndLookTurnsAboutEye)
{
    ViewCamera orbit = ObliqueCamera();
    const Vector3f target = orbit.target;
    const Vector3f forward = orbit.Forward();
    const Vector3f right = orbit.Right();
    const Vector3f eye = orbit.Eye();
    orbit.Orbit(0.1f, 0.0f);
    EXPECT_NEAR((orbit.Eye() - target).norm(), 7.0f, kTol);
    EXPECT_EQ(orbit.target, target);
    EXPECT_NEAR(Angle(orbit.Forward(), forward), 0.1f, kTol);
    EXPECT_GT((orbit.Eye() - eye).dot(right), 0.0f);  // positive yaw swings the eye to the right
    orbit.Orbit(-0.3f, 0.8f);
    EXPECT_NEAR((orbit.Eye() - target).norm(), 7.0f, kTol);
    EXPECT_NEAR(orbit.orientation.norm(), 1.0f, 1e-6f);

    ViewCamera look = ObliqueCamera();
    ViewCamera fly = ObliqueCamera();
    look.LookAround(0.8f, -0.2f);
    fly.FlyLook(0.8f, -0.2f);
    for (const ViewCamera* camera : {&look, &fly}) {
        ExpectNear(camera->Eye(), eye);
        EXPECT_NEAR(camera->distance, 7.0f, kTol);
        EXPECT_GT((camera->target - target).norm(), 1.0f);
        ExpectNear(camera->target, eye + camera->Forward() * 7.0f);
    }
}

TEST(ViewCamera, PanMovesEyeAndTargetTogether)
{
    ViewCamera camera = ObliqueCamera();
    const Vector3f eye = camera.Eye();
    const Vector3f shift = camera.Right() * 2.0f + camera.Up() * -3.0f;
    camera.Pan(2.0f, -3.0f);
    ExpectNear(camera.target, Vector3f(1, 2, 3) + shift);
    ExpectNear(camera.Eye(), eye + shift);
    EXPECT_EQ(camera.distance, 7.0f);
}

TEST(ViewCamera, ZoomScalesDistanceAndOrthoSizeWithinLimits)
{
    ViewCamera camera;
    camera.ZoomBy(1.0f);
    EXPECT_EQ(camera.distance, 10.0f);
    EXPECT_EQ(camera.orthoHalfHeight, 5.0f);
    camera.ZoomBy(0.5f);
    EXPECT_FLOAT_EQ(camera.distance, 5.0f);
    EXPECT_FLOAT_EQ(camera.orthoHalfHeight, 2.5f);
    for (int i = 0; i < 200; ++i)
        camera.ZoomBy(0.5f);
    EXPECT_EQ(camera.distance, camera.minDistance);
    EXPECT_EQ(camera.orthoHalfHeight, 0.001f);
    for (int i = 0; i < 200; ++i)
        camera.ZoomBy(2.0f);
    EXPECT_EQ(camera.distance, camera.maxDistance);
    EXPECT_EQ(camera.orthoHalfHeight, camera.maxDistance);

    camera.orthoHalfHeight = 0.0f;  // unset: stays unset
    camera.ZoomBy(0.5f);
    EXPECT_EQ(camera.orthoHalfHeight, 0.0f);
}

TEST(ViewCamera, AnchoredZoomScalesOrthoSizeOrDolliesThePerspectiveEye)
{
    ViewCamera ortho = ObliqueCamera();
    ortho.eyeAnchored = true;
    ortho.projection = Orthographic;
    ortho.ZoomBy(0.5f);
    EXPECT_EQ(ortho.distance, 7.0f);
    EXPECT_EQ(ortho.target, Vector3f(1, 2, 3));
    EXPECT_FLOAT_EQ(ortho.orthoHalfHeight, 2.5f);

    ViewCamera persp = ObliqueCamera();
    persp.eyeAnchored = true;
    const Vector3f eye = persp.Eye();
    persp.ZoomBy(0.75f);  // a quarter of the distance forward
    EXPECT_EQ(persp.distance, 7.0f);
    EXPECT_EQ(persp.orthoHalfHeight, 5.0f);
    ExpectNear(persp.Eye(), eye + persp.Forward() * 1.75f);
    ExpectNear(persp.target, Vector3f(1, 2, 3) + persp.Forward() * 1.75f);
}

TEST(ViewCamera, SetLookAtAimsFromEyeWithUprightHint)
{
    ViewCamera camera;
    camera.SetLookAt(Vector3f(4, 5, 6), Vector3f(1, 1, 1), Vector3f(0, 0, 1));
    EXPECT_EQ(camera.target, Vector3f(1, 1, 1));
    ExpectNear(camera.Eye(), Vector3f(4, 5, 6));
    ExpectNear(camera.Forward(), (Vector3f(1, 1, 1) - Vector3f(4, 5, 6)).normalized());
    EXPECT_NEAR(camera.Right().z(), 0.0f, kTol);  // no roll against the hint
    EXPECT_GT(camera.Up().z(), 0.0f);

    // Eye on the target: only the target moves.
    const Quaternionf before = camera.orientation;
    camera.SetLookAt(Vector3f(9, 9, 9), Vector3f(9, 9, 9), Vector3f(0, 1, 0));
    EXPECT_EQ(camera.target, Vector3f(9, 9, 9));
    EXPECT_EQ(camera.orientation.coeffs(), before.coeffs());
    EXPECT_FLOAT_EQ(camera.distance, std::sqrt(50.0f));
}

TEST(ViewCamera, SetLookAtAlongUpHintFallsBackToCurrentRightThenWorldAxes)
{
    ViewCamera camera;  // right is +X
    camera.SetLookAt(Vector3f(0, 5, 0), Vector3f::Zero(), Vector3f(0, 1, 0));
    ExpectNear(camera.Eye(), Vector3f(0, 5, 0));
    ExpectNear(camera.Right(), Vector3f(1, 0, 0));

    // Right, hint and view all along X: the camera still looks at the target with sound axes.
    camera.SetLookAt(Vector3f(3, 0, 0), Vector3f::Zero(), Vector3f(1, 0, 0));
    ExpectNear(camera.Eye(), Vector3f(3, 0, 0));
    EXPECT_NEAR(camera.orientation.norm(), 1.0f, 1e-6f);
    EXPECT_NEAR(camera.Right().dot(camera.Forward()), 0.0f, kTol);
}

TEST(ViewCamera, PresetsPutEyeOnTheNamedSideWithTheNamedUp)
{
    std::vector<ViewPreset> presets{HomeViewPreset()};
    for (int axis = 0; axis < 3; ++axis)
        for (const bool reversed : {false, true})
            presets.push_back(*AxisViewPreset(axis, reversed));
    EXPECT_FALSE(AxisViewPreset(3, false));
    EXPECT_FALSE(AxisViewPreset(-1, true));
    EXPECT_EQ(presets[2].direction, Vector3f(-1, 0, 0));
    EXPECT_EQ(presets[5].up, Vector3f(0, 1, 0));
    EXPECT_NEAR(presets[0].direction.norm(), 1.0f, 1e-6f);

    for (const ViewPreset& preset : presets) {
        ViewCamera camera = ObliqueCamera();
        camera.eyeAnchored = true;
        camera.LookFromDirection(preset.direction, preset.up);
        ExpectNear(camera.Eye(), Vector3f(1, 2, 3) + preset.direction * 7.0f);
        EXPECT_EQ(camera.target, Vector3f(1, 2, 3));
        EXPECT_FLOAT_EQ(camera.distance, 7.0f);
        EXPECT_FALSE(camera.eyeAnchored);
        // The named up is the screen's up, less its part along the view.
        const Vector3f up = (preset.up - preset.up.dot(preset.direction) * preset.direction).normalized();
        ExpectNear(camera.Up(), up);
    }
}

TEST(ViewCamera, ToggleProjectionKeepsVisibleHeightAtTarget)
{
    ViewCamera camera = ObliqueCamera();
    const Vector3f top = camera.target + camera.Up();
    const float perspectiveY = ToNdc(camera, top).y();
    camera.ToggleProjection();
    EXPECT_EQ(camera.projection, Orthographic);
    EXPECT_NEAR(ToNdc(camera, top).y(), perspectiveY, kTol);
    camera.ToggleProjection();
    EXPECT_EQ(camera.projection, Perspective);
    EXPECT_NEAR(camera.distance, 7.0f, kTol);

    camera.projection = Orthographic;
    camera.fovY = 0.0f;
    camera.ToggleProjection();  // no field of view to convert with: only the mode changes
    EXPECT_EQ(camera.projection, Perspective);
    EXPECT_NEAR(camera.distance, 7.0f, kTol);
    camera.projection = 5;
    camera.ToggleProjection();
    EXPECT_EQ(camera.projection, Perspective);
}

TEST(ViewCamera, FitToFillsVerticalFieldOfViewWithBoundingSphere)
{
    for (const float radius : {3.0f, 0.0f}) {
        ViewCamera camera = ObliqueCamera();
        camera.eyeAnchored = true;
        const Quaternionf before = camera.orientation;
        camera.FitTo(Vector3f(5, 5, 5), radius, Vector3f(3, 3, 3), Vector3f(7, 7, 7));
        const float r = radius > 0.0f ? radius : 1.0f;
        EXPECT_EQ(camera.target, Vector3f(5, 5, 5));
        EXPECT_EQ(camera.orientation.coeffs(), before.coeffs());
        EXPECT_FALSE(camera.eyeAnchored);
        EXPECT_EQ(camera.orthoHalfHeight, r);
        // The view's top edge is tangent to the sphere.
        EXPECT_NEAR(std::asin(r / camera.distance), camera.fovY / 2, kTol);
        EXPECT_LT(camera.nearPlane, camera.farPlane);
    }
}

TEST(ViewCamera, ClipPlanesBracketTheBoxOrFallBack)
{
    const Vector3f lo(-1, -2, -3), hi(2, 1, 0.5f);
    for (const int32_t mode : {int32_t(Perspective), int32_t(Orthographic)}) {
        ViewCamera camera = ObliqueCamera();
        camera.target = Vector3f(0.5f, -0.5f, -1.25f);
        camera.projection = mode;
        camera.UpdateClipPlanes(lo, hi);
        for (int corner = 0; corner < 8; ++corner) {
            const Vector3f p(corner & 1 ? hi.x() : lo.x(), corner & 2 ? hi.y() : lo.y(),
                             corner & 4 ? hi.z() : lo.z());
            const float depth = ToNdc(camera, p).z();
            EXPECT_GT(depth, -1.0f) << mode;
            EXPECT_LT(depth, 1.0f) << mode;
        }
    }

    // Box behind a perspective eye.
    ViewCamera camera;
    const float margin = 0.02f * std::sqrt(3.0f);
    camera.UpdateClipPlanes(Vector3f(0, 0, 20), Vector3f(1, 1, 21));
    EXPECT_EQ(camera.nearPlane, 0.0001f);
    EXPECT_NEAR(camera.farPlane, 0.0001f + std::max(0.001f, margin), 1e-6f);

    const float inf = std::numeric_limits<float>::infinity();
    camera.UpdateClipPlanes(Vector3f(0, 0, 0), Vector3f(1, inf, 1));
    EXPECT_EQ(camera.nearPlane, 0.0001f);
    EXPECT_EQ(camera.farPlane, 1000.0f);
}

TEST(ViewCamera, FocusDistanceAimsIntoTheSceneBox)
{
    const Vector3f lo(0, 0, 0), hi(10, 10, 10), center(5, 5, 5);
    const float r = std::sqrt(300.0f) / 2;  // half the diagonal
    const float minFocus = 0.02f * r;
    auto focus = [&](const Vector3f& eye, const Vector3f& dir, bool hasBounds = true) {
        return ViewCamera::FocusDistance(eye, dir, hasBounds, lo, hi, center, 1.0f);
    };
    // Outside, facing the box: the middle of its crossing (entry 10, exit 20).
    EXPECT_NEAR(focus(Vector3f(5, 5, 20), Vector3f(0, 0, -3)), 15.0f, kTol);
    // Inside: halfway between the nearest focus and the exit.
    EXPECT_NEAR(focus(Vector3f(5, 5, 5), Vector3f(1, 0, 0)), (minFocus + 5.0f) / 2, kTol);
    // Passing beside the box: the depth of its centre.
    EXPECT_NEAR(focus(Vector3f(15, -5, 5), Vector3f(0, 1, 0)), 10.0f, kTol);
    // Facing away, no direction, or no scene: twice the radius.
    EXPECT_NEAR(focus(Vector3f(5, 5, 20), Vector3f(0, 0, 1)), 2 * r, kTol);
    EXPECT_NEAR(focus(Vector3f(5, 5, 20), Vector3f::Zero()), 2 * r, kTol);
    EXPECT_EQ(focus(Vector3f(5, 5, 20), Vector3f(0, 0, -1), false), 2.0f);
    // Far away the result stops at ten radii.
    EXPECT_NEAR(focus(Vector3f(5, 5, 1000), Vector3f(0, 0, -1)), 10 * r, kTol);
}

TEST(ViewCamera, NonFiniteArgumentsLeaveTheCameraUnchanged)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    ViewCamera camera = ObliqueCamera();
    camera.Orbit(nan, 0.1f);
    camera.LookAround(0.1f, inf);
    camera.FlyLook(nan, nan);
    camera.Pan(inf, 0.0f);
    camera.ZoomBy(nan);
    camera.ZoomBy(0.0f);
    camera.SetLookAt(Vector3f(nan, 0, 0), Vector3f::Zero(), Vector3f::UnitY());
    camera.SetLookAt(Vector3f(3e38f, 0, 0), Vector3f(-3e38f, 0, 0), Vector3f::UnitY());
    camera.LookFromDirection(Vector3f(0, inf, 0), Vector3f::UnitZ());
    camera.FitTo(Vector3f(nan, 0, 0), 1.0f, Vector3f::Zero(), Vector3f::Ones());
    const ViewCamera reference = ObliqueCamera();
    EXPECT_EQ(camera.target, reference.target);
    EXPECT_EQ(camera.distance, reference.distance);
    EXPECT_EQ(camera.orientation.coeffs(), reference.orientation.coeffs());
    EXPECT_EQ(camera.orthoHalfHeight, reference.orthoHalfHeight);

    camera.FitTo(Vector3f::Zero(), inf, Vector3f::Zero(), Vector3f::Ones());  // unusable radius: unit sphere
    EXPECT_EQ(camera.orthoHalfHeight, 1.0f);
}
