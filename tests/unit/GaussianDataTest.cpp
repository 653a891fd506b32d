#include "scene/GaussianData.h"

#include <Eigen/Geometry>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

const Eigen::Vector4f kIdentity(1, 0, 0, 0);

GaussianData OneSplat(const Eigen::Vector3f& position, const Eigen::Vector3f& scale,
                      const Eigen::Vector4f& rotation)
{
    GaussianData data;
    data.positions = {position};
    data.scales = {scale};
    data.rotations = {rotation};
    return data;
}

void ExpectBoundsAreThePoint(const GaussianData& data, const Eigen::Vector3f& point)
{
    EXPECT_EQ(data.boundsMin, point);
    EXPECT_EQ(data.boundsMax, point);
    EXPECT_EQ(data.center, point);
    EXPECT_EQ(data.radius, 1.0f);
}

void ExpectEmpty(const GaussianData& data)
{
    EXPECT_TRUE(data.positions.empty() && data.shDc.empty() && data.shRest.empty() && data.opacities.empty() &&
                data.scales.empty() && data.rotations.empty() && data.objectIds.empty());
    EXPECT_EQ(data.shRestCount, 0);
    EXPECT_EQ(data.shDegree, 0);
    EXPECT_FALSE(data.hasObjectIds);
    EXPECT_EQ(data.origin, Eigen::Vector3d::Zero());
    EXPECT_EQ(data.boundsMin, Eigen::Vector3f::Zero());
    EXPECT_EQ(data.boundsMax, Eigen::Vector3f::Zero());
    EXPECT_EQ(data.center, Eigen::Vector3f::Zero());
    EXPECT_EQ(data.radius, 1.0f);
}

}  // namespace

TEST(GaussianData, FreshAndClearedRecordsAreEmpty)
{
    GaussianData data;
    ExpectEmpty(data);
    data = OneSplat({1, 2, 3}, {1, 1, 1}, kIdentity);
    data.shDc.assign(1, Eigen::Vector3f(1, 1, 1));
    data.shRest.assign(9, 0.5f);
    data.shRestCount = 9;
    data.shDegree = 1;
    data.opacities.assign(1, 0.5f);
    data.objectIds.assign(1, 7u);
    data.hasObjectIds = true;
    data.origin = {10, 20, 30};
    data.ComputeBounds();
    data.Clear();
    ExpectEmpty(data);
}

TEST(GaussianData, ComputeBoundsWithoutSplatsChangesNothing)
{
    GaussianData data;
    data.ComputeBounds();
    EXPECT_EQ(data.boundsMin, Eigen::Vector3f::Zero());
    EXPECT_EQ(data.boundsMax, Eigen::Vector3f::Zero());
    EXPECT_EQ(data.radius, 1.0f);
}

TEST(GaussianData, AxisAlignedSplatReachesSqrtEightSigmas)
{
    GaussianData data = OneSplat({1, 2, 3}, {1, 2, -0.5f}, kIdentity);
    data.ComputeBounds();
    const Eigen::Vector3f extent = Eigen::Vector3f(1, 2, 0.5f) * kSplatExtentSigmas;
    EXPECT_TRUE(data.boundsMin.isApprox(Eigen::Vector3f(1, 2, 3) - extent));
    EXPECT_TRUE(data.boundsMax.isApprox(Eigen::Vector3f(1, 2, 3) + extent));
    EXPECT_TRUE(data.center.isApprox(Eigen::Vector3f(1, 2, 3)));
    EXPECT_FLOAT_EQ(data.radius, extent.norm());
}

TEST(GaussianData, RotatedSplatExtentFollowsItsCovariance)
{
    // 90 degrees about z swaps the x and y standard deviations.
    const float half = std::sqrt(0.5f);
    GaussianData quarter = OneSplat({0, 0, 0}, {3, 1, 1}, {half, 0, 0, half});
    quarter.ComputeBounds();
    EXPECT_NEAR(quarter.boundsMax.x(), 1 * kSplatExtentSigmas, 1e-5f);
    EXPECT_NEAR(quarter.boundsMax.y(), 3 * kSplatExtentSigmas, 1e-5f);
    EXPECT_NEAR(quarter.boundsMax.z(), 1 * kSplatExtentSigmas, 1e-5f);

    // 45 degrees about z with scales (sx, sy): variance along x and y is (sx² + sy²) / 2.
    const Eigen::Vector4f eighth(std::cos(0.3926991f), 0, 0, std::sin(0.3926991f));
    GaussianData diagonal = OneSplat({0, 0, 0}, {4, 2, 1}, eighth);
    diagonal.ComputeBounds();
    const float expected = kSplatExtentSigmas * std::sqrt((16.0f + 4.0f) / 2.0f);
    EXPECT_NEAR(diagonal.boundsMax.x(), expected, 1e-4f);
    EXPECT_NEAR(diagonal.boundsMax.y(), expected, 1e-4f);
    EXPECT_NEAR(diagonal.boundsMin.x(), -expected, 1e-4f);
}

TEST(GaussianData, RotationIsNormalisedBeforeUse)
{
    const Eigen::Vector4f q = Eigen::Vector4f(0.3f, -0.5f, 0.7f, 0.2f).normalized();
    const Eigen::Vector4f pairs[][2] = {{kIdentity, {2, 0, 0, 0}}, {q, 3.0f * q}, {q, 0.25f * q}};
    for (const auto& pair : pairs) {
        GaussianData unit = OneSplat({0, 0, 0}, {1, 2, 3}, pair[0]);
        GaussianData scaled = OneSplat({0, 0, 0}, {1, 2, 3}, pair[1]);
        unit.ComputeBounds();
        scaled.ComputeBounds();
        EXPECT_TRUE(unit.boundsMin.isApprox(scaled.boundsMin, 1e-6f)) << pair[1].transpose();
        EXPECT_TRUE(unit.boundsMax.isApprox(scaled.boundsMax, 1e-6f)) << pair[1].transpose();
    }
}

TEST(GaussianData, UntrustworthySplatShapeGivesZeroExtent)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Eigen::Vector3f at(4, 5, 6);
    struct Case {
        const char* what;
        Eigen::Vector3f scale;
        Eigen::Vector4f rotation;
    };
    const Case cases[] = {
        {"zero rotation", {1, 1, 1}, {0, 0, 0, 0}},
        {"rotation of squared length 1e-12", {1, 1, 1}, {1e-6f, 0, 0, 0}},
        {"NaN in the rotation", {1, 1, 1}, {1, nan, 0, 0}},
        {"infinite rotation", {1, 1, 1}, {inf, 0, 0, 0}},
        {"infinite scale on one axis", {inf, 1, 1}, kIdentity},
        {"NaN scale", {1, nan, 1}, kIdentity},
        {"covariance overflows", {1e30f, 1, 1}, kIdentity},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GaussianData data = OneSplat(at, c.scale, c.rotation);
        data.ComputeBounds();
        ExpectBoundsAreThePoint(data, at);
    }
}

TEST(GaussianData, ExtentsAreUsedOnlyWhenEverySplatHasScaleAndRotation)
{
    GaussianData data;
    data.positions = {{0, 0, 0}, {2, 4, 4}};
    data.rotations = {kIdentity, kIdentity};
    data.scales = {{5, 5, 5}};  // one short
    data.ComputeBounds();
    EXPECT_EQ(data.boundsMin, Eigen::Vector3f(0, 0, 0));
    EXPECT_EQ(data.boundsMax, Eigen::Vector3f(2, 4, 4));
    EXPECT_EQ(data.center, Eigen::Vector3f(1, 2, 2));
    EXPECT_EQ(data.radius, 3.0f);

    data.scales.push_back({5, 5, 5});
    data.rotations.clear();
    data.ComputeBounds();
    EXPECT_EQ(data.boundsMax, Eigen::Vector3f(2, 4, 4));
}

TEST(GaussianData, NanPositionsNeverReplaceABound)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    GaussianData data;
    data.positions = {{1, 1, 1}, {nan, 9, nan}, {-1, 0, 2}};
    data.ComputeBounds();
    EXPECT_EQ(data.boundsMin, Eigen::Vector3f(-1, 0, 1));
    EXPECT_EQ(data.boundsMax, Eigen::Vector3f(1, 9, 2));
}

TEST(GaussianData, RadiusFallsBackToOneWhenUnusable)
{
    const float inf = std::numeric_limits<float>::infinity();
    GaussianData infinite;
    infinite.positions = {{0, 0, 0}, {inf, 0, 0}};
    infinite.ComputeBounds();
    EXPECT_EQ(infinite.radius, 1.0f);

    GaussianData tiny;
    tiny.positions = {{0, 0, 0}, {1e-6f, 0, 0}};
    tiny.ComputeBounds();
    EXPECT_EQ(tiny.radius, 1.0f);

    GaussianData justLargeEnough;
    justLargeEnough.positions = {{0, 0, 0}, {4e-6f, 0, 0}};
    justLargeEnough.ComputeBounds();
    EXPECT_FLOAT_EQ(justLargeEnough.radius, 2e-6f);
}

TEST(GaussianData, QuaternionRotationMatrix)
{
    EXPECT_TRUE(RotationMatrixFromQuaternion(kIdentity).isApprox(Eigen::Matrix3f::Identity()));

    // 90 degrees about z maps x onto y.
    const float half = std::sqrt(0.5f);
    const Eigen::Matrix3f quarter = RotationMatrixFromQuaternion({half, 0, 0, half});
    EXPECT_TRUE((quarter * Eigen::Vector3f::UnitX()).isApprox(Eigen::Vector3f::UnitY(), 1e-6f));
    EXPECT_TRUE((quarter * Eigen::Vector3f::UnitZ()).isApprox(Eigen::Vector3f::UnitZ(), 1e-6f));

    // Agrees with Eigen's own quaternion, whose constructor takes (w, x, y, z) too.
    const Eigen::Vector4f q = Eigen::Vector4f(0.3f, -0.5f, 0.7f, 0.2f).normalized();
    const Eigen::Quaternionf reference(q[0], q[1], q[2], q[3]);
    EXPECT_TRUE(RotationMatrixFromQuaternion(q).isApprox(reference.toRotationMatrix(), 1e-6f));
}

TEST(GaussianData, ShDegreeFromRestCount)
{
    struct Case {
        std::int32_t restCount;
        std::int32_t degree;
    };
    const Case cases[] = {{0, 0}, {9, 1}, {10, 1}, {11, 1}, {12, 0}, {24, 2},
                          {26, 2}, {45, 3}, {47, 3}, {48, 0}, {2, 0}, {-9, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(ShDegreeForRestCount(c.restCount), c.degree) << "restCount " << c.restCount;
}
