#include "view/PinholeProjection.h"
#include "view/ViewCamera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using Eigen::Vector2f;
using Eigen::Vector3f;

namespace {

// Where a point given in camera coordinates (looking along -Z, +Y up) lands, in pixels from
// the image's left and top edges.
Vector2f PixelOf(const Eigen::Matrix4f& projection, const PinholeIntrinsics& lens, const Vector3f& point)
{
    const Eigen::Vector4f clip = projection * point.homogeneous();
    const float ndcX = clip.x() / clip.w();
    const float ndcY = clip.y() / clip.w();
    return {(ndcX + 1.0f) * 0.5f * static_cast<float>(lens.width), (1.0f - ndcY) * 0.5f * static_cast<float>(lens.height)};
}

TEST(PinholeProjection, PrincipalRayLandsOnThePrincipalPointAndFocalLengthsScaleEachAxis)
{
    const PinholeIntrinsics lens{400.0f, 250.0f, 130.5f, 61.25f, 320, 200};
    const Eigen::Matrix4f projection = PinholeProjectionMatrix(lens, 0.1f, 100.0f);
    for (float depth : {0.5f, 3.0f, 40.0f}) {
        const Vector2f centre = PixelOf(projection, lens, Vector3f(0.0f, 0.0f, -depth));
        EXPECT_NEAR(centre.x(), 130.5f, 1e-3f);
        EXPECT_NEAR(centre.y(), 61.25f, 1e-3f);
    }
    // One unit right and one unit up at depth 4: fx/4 pixels right, fy/4 pixels up.
    const Vector2f moved = PixelOf(projection, lens, Vector3f(1.0f, 1.0f, -4.0f));
    EXPECT_NEAR(moved.x(), 130.5f + 100.0f, 1e-3f);
    EXPECT_NEAR(moved.y(), 61.25f - 62.5f, 1e-3f);

    // Depth still maps the near and far planes to -1 and 1.
    const Eigen::Vector4f nearClip = projection * Eigen::Vector4f(0.0f, 0.0f, -0.1f, 1.0f);
    const Eigen::Vector4f farClip = projection * Eigen::Vector4f(0.0f, 0.0f, -100.0f, 1.0f);
    EXPECT_NEAR(nearClip.z() / nearClip.w(), -1.0f, 1e-4f);
    EXPECT_NEAR(farClip.z() / farClip.w(), 1.0f, 1e-4f);
}

TEST(PinholeProjection, CentredEqualFocalLengthsMatchTheSymmetricProjection)
{
    const PinholeIntrinsics lens{350.0f, 350.0f, 320.0f, 240.0f, 640, 480};
    ViewCamera camera;
    camera.fovY = 2.0f * std::atan(240.0f / 350.0f);
    camera.nearPlane = 0.05f;
    camera.farPlane = 500.0f;
    const Eigen::Matrix4f symmetric = camera.ProjectionMatrix(640.0f / 480.0f);
    EXPECT_TRUE(PinholeProjectionMatrix(lens, 0.05f, 500.0f).isApprox(symmetric, 1e-6f));

    // Set on the camera, the lens replaces the symmetric projection, whatever aspect is asked.
    camera.pinhole = PinholeIntrinsics{350.0f, 380.0f, 300.0f, 250.0f, 640, 480};
    EXPECT_EQ(camera.ProjectionMatrix(1.0f), PinholeProjectionMatrix(*camera.pinhole, 0.05f, 500.0f));
    // An orthographic camera and an unusable lens keep the camera's own projection.
    camera.pinhole->fx = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(camera.ProjectionMatrix(640.0f / 480.0f), symmetric);
    camera.pinhole->fx = 350.0f;
    camera.projection = ProjectionMode::Orthographic;
    EXPECT_EQ(camera.ProjectionMatrix(1.0f)(3, 3), 1.0f);
}

TEST(PinholeProjection, OnlyFiniteLensesOfPositiveSizeAreUsable)
{
    EXPECT_TRUE(IsUsable(PinholeIntrinsics{1.0f, 1.0f, 0.0f, 0.0f, 1, 1}));
    EXPECT_FALSE(IsUsable(PinholeIntrinsics{}));
    EXPECT_FALSE(IsUsable(PinholeIntrinsics{1.0f, 0.0f, 0.5f, 0.5f, 1, 1}));
    EXPECT_FALSE(IsUsable(PinholeIntrinsics{1.0f, 1.0f, 0.5f, 0.5f, 0, 1}));
    EXPECT_FALSE(IsUsable(PinholeIntrinsics{1.0f, 1.0f, std::numeric_limits<float>::infinity(), 0.5f, 1, 1}));
}

}  // namespace
