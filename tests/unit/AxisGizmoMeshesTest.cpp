#include "render/AxisGizmoMeshes.h"

#include <Eigen/Geometry>

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using Eigen::Vector3f;

namespace {

constexpr float kTol = 1e-5f;

Vector3f Axis(int axis)
{
    return Vector3f::Unit(axis);
}

// Checks one cone of 96 vertices starting at `first`: 16 side triangles to the tip in the
// colour, each followed by its cap triangle in the darker shade, with the rim points on a
// circle of `radius` around the base, perpendicular to the axis, closing on itself.
void ExpectCone(const std::vector<GizmoLineVertex>& mesh, std::size_t first, const Vector3f& tip,
                const Vector3f& base, float radius, const Vector3f& color)
{
    const Vector3f axis = (tip - base).normalized();
    for (int side = 0; side < 16; ++side) {
        const std::size_t i = first + static_cast<std::size_t>(side) * 6;
        SCOPED_TRACE("side " + std::to_string(side));
        EXPECT_TRUE(mesh[i].position.isApprox(tip));
        EXPECT_TRUE(mesh[i + 3].position.isApprox(base));
        const Vector3f p0 = mesh[i + 1].position;
        const Vector3f p1 = mesh[i + 2].position;
        // The cap triangle uses the same rim points, in the opposite turn.
        EXPECT_TRUE(mesh[i + 4].position.isApprox(p1));
        EXPECT_TRUE(mesh[i + 5].position.isApprox(p0));
        for (const Vector3f& rim : {p0, p1}) {
            EXPECT_NEAR((rim - base).norm(), radius, kTol);
            EXPECT_NEAR((rim - base).dot(axis), 0.0f, kTol);
        }
        for (int k = 0; k < 3; ++k) {
            EXPECT_TRUE(mesh[i + k].color.isApprox(color));
            EXPECT_TRUE(mesh[i + 3 + k].color.isApprox(color * 0.7f));
        }
        // Neighbouring sides share their rim point: no gap around the cone.
        const std::size_t next = first + static_cast<std::size_t>((side + 1) % 16) * 6;
        EXPECT_LT((mesh[next + 1].position - p1).norm(), kTol);
    }
}

}  // namespace

TEST(AxisGizmoMeshes, AxisLinesRunFromTheOriginAlongEachAxisInItsColour)
{
    const std::vector<GizmoLineVertex> lines = BuildGizmoAxisLines();
    ASSERT_EQ(lines.size(), 6u);
    for (int axis = 0; axis < 3; ++axis) {
        const GizmoLineVertex& from = lines[static_cast<std::size_t>(axis) * 2];
        const GizmoLineVertex& to = lines[static_cast<std::size_t>(axis) * 2 + 1];
        EXPECT_EQ(from.position, Vector3f::Zero());
        EXPECT_TRUE(to.position.isApprox(Axis(axis) * 0.78f));
        EXPECT_EQ(from.color, GizmoAxisColor(axis));
        EXPECT_EQ(to.color, GizmoAxisColor(axis));
    }
    EXPECT_TRUE(GizmoAxisColor(0).isApprox(Vector3f(0.95f, 0.25f, 0.25f)));
    EXPECT_TRUE(GizmoAxisColor(1).isApprox(Vector3f(0.35f, 0.85f, 0.35f)));
    EXPECT_TRUE(GizmoAxisColor(2).isApprox(Vector3f(0.3f, 0.5f, 0.95f)));
}

TEST(AxisGizmoMeshes, ConesSitOnTheLineEndsAndPointOutwards)
{
    const std::vector<GizmoLineVertex> cones = BuildGizmoCones();
    ASSERT_EQ(cones.size(), 288u);
    for (int axis = 0; axis < 3; ++axis) {
        SCOPED_TRACE("axis " + std::to_string(axis));
        ExpectCone(cones, static_cast<std::size_t>(axis) * 96, Axis(axis) * 1.08f, Axis(axis) * 0.78f, 0.13f,
                   GizmoAxisColor(axis));
    }
}

TEST(AxisGizmoMeshes, AddConeAppendsForAnyDirection)
{
    const Vector3f color(0.2f, 0.4f, 0.6f);
    // Mostly along Z (the other helper axis), oblique, and pointing backwards.
    const std::vector<std::pair<Vector3f, Vector3f>> cases = {
        {Vector3f(0.1f, 0.0f, 2.0f), Vector3f(0.0f, 0.0f, 0.5f)},
        {Vector3f(1.0f, 2.0f, 0.5f), Vector3f(-1.0f, 0.5f, 0.0f)},
        {Vector3f(0.0f, -3.0f, 0.0f), Vector3f(0.0f, 1.0f, 0.0f)},
    };
    std::vector<GizmoLineVertex> mesh(5);  // what a caller had before stays
    for (const auto& [tip, base] : cases) {
        const std::size_t before = mesh.size();
        AddCone(mesh, tip, base, 0.25f, color);
        ASSERT_EQ(mesh.size(), before + 96);
        ExpectCone(mesh, before, tip, base, 0.25f, color);
    }
}

TEST(AxisGizmoMeshes, ConeWithTipOnItsBaseCollapsesWithoutNaN)
{
    std::vector<GizmoLineVertex> mesh;
    const Vector3f point(1.0f, 2.0f, 3.0f);
    AddCone(mesh, point, point, 0.5f, Vector3f::Ones());
    ASSERT_EQ(mesh.size(), 96u);
    for (const GizmoLineVertex& vertex : mesh)
        EXPECT_EQ(vertex.position, point);
}

TEST(AxisGizmoMeshes, LettersShareTheirAnchorAndStayWithinTheirBox)
{
    const std::vector<GizmoLabelVertex> letters = BuildGizmoLetters();
    ASSERT_EQ(letters.size(), 16u);
    // X has two strokes, Y and Z three each.
    const int firstVertexOf[] = {0, 4, 10, 16};
    for (int axis = 0; axis < 3; ++axis) {
        for (int i = firstVertexOf[axis]; i < firstVertexOf[axis + 1]; ++i) {
            const GizmoLabelVertex& vertex = letters[static_cast<std::size_t>(i)];
            EXPECT_TRUE(vertex.anchor.isApprox(Axis(axis) * 1.3f)) << "vertex " << i;
            EXPECT_EQ(vertex.color, GizmoAxisColor(axis));
            EXPECT_LE(vertex.offset.cwiseAbs().maxCoeff(), 0.07f + kTol);
        }
    }
    // Y is upright: its stem ends below the junction, its arms above.
    EXPECT_TRUE(letters[9].offset.isApprox(Eigen::Vector2f(0.0f, -0.07f)));
    EXPECT_GT(letters[4].offset.y(), 0.0f);
    EXPECT_GT(letters[6].offset.y(), 0.0f);
}

TEST(AxisGizmoMeshes, TransformIgnoresTranslationAndKeepsTheGizmoInsideTheClipVolume)
{
    // The identity view: X to the right, Y up, the origin in the middle of the square.
    const Eigen::Matrix4f identity = GizmoTransform(Eigen::Matrix4f::Identity());
    const Eigen::Vector4f xTip = identity * Eigen::Vector4f(1.08f, 0.0f, 0.0f, 1.0f);
    EXPECT_NEAR(xTip.x(), 1.08f / 1.7f, kTol);
    EXPECT_NEAR(xTip.y(), 0.0f, kTol);
    EXPECT_FLOAT_EQ(xTip.w(), 1.0f);
    const Eigen::Vector4f centre = identity * Eigen::Vector4f(0.0f, 0.0f, 0.0f, 1.0f);
    EXPECT_NEAR(centre.x(), 0.0f, kTol);
    EXPECT_NEAR(centre.y(), 0.0f, kTol);
    // Nearer to the viewer means smaller depth.
    const Eigen::Vector4f zTip = identity * Eigen::Vector4f(0.0f, 0.0f, 1.08f, 1.0f);
    EXPECT_LT(zTip.z(), centre.z());

    std::mt19937 random(7);
    std::uniform_real_distribution<float> coordinate(-1.0f, 1.0f);
    for (int trial = 0; trial < 50; ++trial) {
        const Eigen::Quaternionf rotation =
            Eigen::Quaternionf(coordinate(random), coordinate(random), coordinate(random), coordinate(random))
                .normalized();
        Eigen::Matrix4f view = Eigen::Matrix4f::Identity();
        view.topLeftCorner<3, 3>() = rotation.toRotationMatrix();
        const Eigen::Matrix4f rotationOnly = GizmoTransform(view);
        view.topRightCorner<3, 1>() = Vector3f(100.0f, -20.0f, 5.0f);
        EXPECT_TRUE(GizmoTransform(view).isApprox(rotationOnly));

        // Every part of the gizmo (at most 1.3 + the letter size from the centre) is visible.
        for (int axis = 0; axis < 3; ++axis) {
            for (const float sign : {-1.0f, 1.0f}) {
                const Eigen::Vector4f clip = rotationOnly * (Axis(axis) * 1.38f * sign).homogeneous();
                EXPECT_LT(clip.head<3>().cwiseAbs().maxCoeff(), clip.w());
            }
        }
    }
}
