#include "render/SplatRecords.h"

#include "scene/GaussianData.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const Eigen::Vector4f kIdentity(1.0f, 0.0f, 0.0f, 0.0f);

TEST(SplatRecords, CovarianceOfAnAxisAlignedSplatIsItsSquaredScales)
{
    const Eigen::Matrix3f s = SplatCovariance(Eigen::Vector3f(2.0f, 1.0f, 1.0f), kIdentity);
    EXPECT_TRUE(s.isApprox(Eigen::Vector3f(4.0f, 1.0f, 1.0f).asDiagonal().toDenseMatrix())) << s;
    // A negative scale gives the same spread.
    EXPECT_TRUE(SplatCovariance(Eigen::Vector3f(-2.0f, 1.0f, -1.0f), kIdentity).isApprox(s));
}

TEST(SplatRecords, QuarterTurnAboutZSwapsXAndY)
{
    const float c = std::cos(0.25f * 3.14159265f);
    const Eigen::Matrix3f s = SplatCovariance(Eigen::Vector3f(2.0f, 1.0f, 1.0f), Eigen::Vector4f(c, 0.0f, 0.0f, c));
    EXPECT_NEAR(s(0, 0), 1.0f, 1e-5f);
    EXPECT_NEAR(s(1, 1), 4.0f, 1e-5f);
    EXPECT_NEAR(s(2, 2), 1.0f, 1e-5f);
    EXPECT_NEAR(s(0, 1), 0.0f, 1e-5f);
}

TEST(SplatRecords, RecordHoldsPositionOpacityColourAndUpperCovariance)
{
    // A turn about x couples y and z, so every off-diagonal slot is told apart.
    const float half = 0.5f * 0.6f;
    const Eigen::Vector4f rotation(std::cos(half), std::sin(half), 0.0f, 0.0f);
    const Eigen::Vector3f scale(0.5f, 2.0f, 3.0f);
    const SplatRecord record =
        PackSplatRecord(Eigen::Vector3f(1.0f, 2.0f, 3.0f), 0.25f, Eigen::Vector3f(-1.0f, 0.5f, 2.0f), scale, rotation);
    const Eigen::Matrix3f s = SplatCovariance(scale, rotation);
    const std::array<float, 16> expected = {1.0f,    2.0f,    3.0f,    0.25f,  -1.0f,   0.5f,    2.0f,    0.0f,
                                            s(0, 0), s(0, 1), s(0, 2), 0.0f,   s(1, 1), s(1, 2), s(2, 2), 0.0f};
    EXPECT_EQ(record.values, expected);
    EXPECT_NE(s(1, 2), 0.0f);
}

TEST(SplatRecords, PacksARangeOfAScene)
{
    GaussianData data;
    for (int i = 0; i < 4; ++i) {
        data.positions.emplace_back(float(i), 0.0f, 0.0f);
        data.shDc.emplace_back(0.0f, 0.0f, 0.0f);
        data.opacities.push_back(0.1f * float(i));
        data.scales.emplace_back(1.0f, 1.0f, 1.0f);
        data.rotations.push_back(kIdentity);
    }
    ASSERT_TRUE(SplatArraysConsistent(data));
    SplatRecord out[2];
    PackSplatRecords(data, 1, 2, out);
    EXPECT_EQ(out[0].values[0], 1.0f);
    EXPECT_EQ(out[1].values[0], 2.0f);
    EXPECT_EQ(out[1].values[3], data.opacities[2]);

    data.opacities.pop_back();
    EXPECT_FALSE(SplatArraysConsistent(data));
}

TEST(SplatRecords, ShDegreeIsLimitedByTheCoefficientsPresent)
{
    EXPECT_EQ(ShDegreeSupportedBy(3, 45), 3);
    EXPECT_EQ(ShDegreeSupportedBy(1, 45), 1);
    EXPECT_EQ(ShDegreeSupportedBy(3, 24), 2);
    EXPECT_EQ(ShDegreeSupportedBy(3, 9), 1);
    EXPECT_EQ(ShDegreeSupportedBy(2, 8), 0);
    EXPECT_EQ(ShDegreeSupportedBy(3, 0), 0);
    EXPECT_EQ(ShDegreeSupportedBy(-1, 45), 0);
}

}  // namespace
