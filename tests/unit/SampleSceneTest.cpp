#include "samples/SampleScene.h"

#include <Eigen/LU>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

namespace {

constexpr float kC0 = 0.28209479177387814f;

const GaussianData& Scene()
{
    static const GaussianData scene = MakeLighthouseScene();
    return scene;
}

// The splat's thinnest axis, which the surface it lies on faces.
Eigen::Vector3f ThinAxis(const GaussianData& data, std::size_t i)
{
    Eigen::Index axis = 0;
    data.scales[i].minCoeff(&axis);
    return RotationMatrixFromQuaternion(data.rotations[i]).col(axis);
}

std::vector<std::size_t> SplatsOf(const GaussianData& data, std::uint32_t id)
{
    std::vector<std::size_t> indices;
    for (std::size_t i = 0; i < data.objectIds.size(); ++i)
        if (data.objectIds[i] == id)
            indices.push_back(i);
    return indices;
}

}  // namespace

TEST(SampleScene, IsACompleteDegreeThreeSceneOfTheIntendedSize)
{
    const GaussianData& scene = Scene();
    const std::size_t n = scene.positions.size();
    EXPECT_GE(n, 30000u);
    EXPECT_LE(n, 60000u);
    EXPECT_EQ(scene.shRestCount, 45);
    EXPECT_EQ(scene.shDegree, 3);
    EXPECT_TRUE(scene.hasObjectIds);
    EXPECT_EQ(scene.shDc.size(), n);
    EXPECT_EQ(scene.shRest.size(), n * 45);
    EXPECT_EQ(scene.opacities.size(), n);
    EXPECT_EQ(scene.scales.size(), n);
    EXPECT_EQ(scene.rotations.size(), n);
    EXPECT_EQ(scene.objectIds.size(), n);
    EXPECT_EQ(scene.origin, Eigen::Vector3d::Zero());
}

TEST(SampleScene, EveryValueIsUsable)
{
    const GaussianData& scene = Scene();
    for (std::size_t i = 0; i < scene.positions.size(); ++i) {
        ASSERT_TRUE(scene.positions[i].allFinite()) << i;
        ASSERT_TRUE(scene.shDc[i].allFinite()) << i;
        ASSERT_GT(scene.opacities[i], 0.5f) << i;  // solid surfaces only
        ASSERT_LE(scene.opacities[i], 1.0f) << i;
        ASSERT_TRUE(scene.scales[i].allFinite() && scene.scales[i].minCoeff() > 0.0f) << i;
        ASSERT_NEAR(scene.rotations[i].norm(), 1.0f, 1e-5f) << i;
        const Eigen::Vector3f colour = Eigen::Vector3f::Constant(0.5f) + kC0 * scene.shDc[i];
        ASSERT_GE(colour.minCoeff(), 0.0f) << i;
        ASSERT_LE(colour.maxCoeff(), 1.1f) << i;
    }
    for (const float coefficient : scene.shRest)
        ASSERT_TRUE(std::isfinite(coefficient));
}

TEST(SampleScene, SheenIsSmallAndHigherOrdersMostlyZero)
{
    const GaussianData& scene = Scene();
    std::size_t degreeOne = 0, higher = 0, higherNonZero = 0;
    float largest = 0.0f;
    for (std::size_t i = 0; i < scene.positions.size(); ++i) {
        for (int channel = 0; channel < 3; ++channel) {
            for (int k = 0; k < 15; ++k) {
                const float c = scene.shRest[i * 45 + channel * 15 + k];
                largest = std::max(largest, std::abs(c));
                if (k < 3) {
                    degreeOne += c != 0.0f;
                } else {
                    ++higher;
                    higherNonZero += c != 0.0f;
                }
            }
        }
    }
    EXPECT_GT(degreeOne, scene.positions.size());  // most splats have some sheen
    EXPECT_GT(higherNonZero, 0u);
    EXPECT_LT(higherNonZero, higher / 5);
    EXPECT_LT(largest, 0.5f);
}

TEST(SampleScene, EachPartHasItsOwnId)
{
    std::map<std::uint32_t, std::size_t> counts;
    for (const std::uint32_t id : Scene().objectIds)
        ++counts[id];
    for (const std::uint32_t id : kLighthouseParts)
        EXPECT_GE(counts[id], 1000u) << "part " << id;
    EXPECT_EQ(counts.size(), std::size(kLighthouseParts));
}

TEST(SampleScene, StandsUprightOnTheSeaInASensibleBox)
{
    const GaussianData& scene = Scene();
    EXPECT_GT(scene.radius, 2.0f);
    EXPECT_LT(scene.radius, 6.0f);
    const Eigen::Vector3f size = scene.boundsMax - scene.boundsMin;
    EXPECT_GT(size.y(), 0.7f * std::max(size.x(), size.z()));

    // Sea at the bottom, the lantern near the top, the tower in between and in the middle.
    const auto meanHeight = [&scene](std::uint32_t id) {
        float sum = 0.0f;
        const auto splats = SplatsOf(scene, id);
        for (const std::size_t i : splats)
            sum += scene.positions[i].y();
        return sum / static_cast<float>(splats.size());
    };
    EXPECT_NEAR(meanHeight(kSea), 0.0f, 0.05f);
    EXPECT_GT(meanHeight(kTower), meanHeight(kIslet));
    EXPECT_GT(meanHeight(kLantern), meanHeight(kTower));
    EXPECT_GT(meanHeight(kRoof), meanHeight(kLantern));
    for (const std::size_t i : SplatsOf(scene, kTower))
        ASSERT_LT(std::hypot(scene.positions[i].x(), scene.positions[i].z()), 0.5f) << i;
}

TEST(SampleScene, SplatsLieFlatOnTheirSurfaces)
{
    const GaussianData& scene = Scene();
    for (std::size_t i = 0; i < scene.positions.size(); ++i) {
        const Eigen::Vector3f s = scene.scales[i];
        ASSERT_LT(s.minCoeff(), 0.3f * (s.sum() - s.minCoeff()) / 2.0f) << i;
    }
    // The sea faces up; the tower faces out from its axis.
    for (const std::size_t i : SplatsOf(scene, kSea))
        ASSERT_GT(std::abs(ThinAxis(scene, i).y()), 0.99f) << i;
    for (const std::size_t i : SplatsOf(scene, kTower)) {
        const Eigen::Vector3f& p = scene.positions[i];
        const Eigen::Vector3f outwards = Eigen::Vector3f(p.x(), 0.0f, p.z()).normalized();
        ASSERT_GT(std::abs(ThinAxis(scene, i).dot(outwards)), 0.95f) << i;
    }
}

TEST(SampleScene, SeaIsClosedWithoutGaps)
{
    // Opacity gathered along vertical lines through a grid over the open sea (outside
    // the islet and its boulders): every line must be nearly covered.
    const GaussianData& scene = Scene();
    const auto sea = SplatsOf(scene, kSea);
    int probes = 0;
    for (float x = -2.0f; x <= 2.0f; x += 0.0937f) {
        for (float z = -2.0f; z <= 2.0f; z += 0.0937f) {
            const float r = std::hypot(x, z);
            if (r < 1.9f || r > 2.05f)
                continue;
            ++probes;
            float transmittance = 1.0f;
            for (const std::size_t i : sea) {
                const Eigen::Vector2f d(x - scene.positions[i].x(), z - scene.positions[i].z());
                if (d.squaredNorm() > 0.01f)
                    continue;
                // The splat's footprint on the sea plane.
                const Eigen::Matrix3f m =
                    RotationMatrixFromQuaternion(scene.rotations[i]) * scene.scales[i].asDiagonal();
                const Eigen::Matrix3f sigma = m * m.transpose();
                Eigen::Matrix2f plane;
                plane << sigma(0, 0), sigma(0, 2), sigma(2, 0), sigma(2, 2);
                const float falloff = std::exp(-0.5f * d.dot(plane.inverse() * d));
                transmittance *= 1.0f - scene.opacities[i] * falloff;
            }
            ASSERT_LT(transmittance, 0.05f) << "gap at " << x << ", " << z;
        }
    }
    EXPECT_GT(probes, 100);
}

TEST(SampleScene, IsTheSameOnEveryRun)
{
    const GaussianData again = MakeLighthouseScene();
    const GaussianData& scene = Scene();
    EXPECT_EQ(again.positions, scene.positions);
    EXPECT_EQ(again.shDc, scene.shDc);
    EXPECT_EQ(again.shRest, scene.shRest);
    EXPECT_EQ(again.opacities, scene.opacities);
    EXPECT_EQ(again.scales, scene.scales);
    EXPECT_EQ(again.rotations, scene.rotations);
    EXPECT_EQ(again.objectIds, scene.objectIds);
}
