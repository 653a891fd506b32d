#include "scene/PointCloudData.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(PointCloudData, FreshAndClearedRecordsAreEmptyWithUnitRadius)
{
    PointCloudData cloud;
    for (int round = 0; round < 2; ++round) {
        EXPECT_TRUE(cloud.positions.empty());
        EXPECT_TRUE(cloud.colors.empty());
        EXPECT_FALSE(cloud.hasColors);
        EXPECT_EQ(cloud.origin, Eigen::Vector3d::Zero());
        EXPECT_EQ(cloud.boundsMin, Eigen::Vector3f::Zero());
        EXPECT_EQ(cloud.boundsMax, Eigen::Vector3f::Zero());
        EXPECT_EQ(cloud.center, Eigen::Vector3f::Zero());
        EXPECT_EQ(cloud.radius, 1.0f);
        // Fill it with something, then clear for the second round.
        cloud.positions.assign(3, Eigen::Vector3f(1, 2, 3));
        cloud.colors.assign(3, Eigen::Vector4f(1, 1, 1, 1));
        cloud.hasColors = true;
        cloud.origin = {5, 6, 7};
        cloud.ComputeBounds();
        cloud.Clear();
    }
}

TEST(PointCloudData, ComputeBoundsOnEmptyRecordKeepsClearedValues)
{
    PointCloudData cloud;
    cloud.ComputeBounds();
    EXPECT_EQ(cloud.radius, 1.0f);
    EXPECT_EQ(cloud.boundsMin, Eigen::Vector3f::Zero());
    EXPECT_EQ(cloud.boundsMax, Eigen::Vector3f::Zero());
}

TEST(PointCloudData, SinglePointHasZeroRadius)
{
    PointCloudData cloud;
    cloud.positions = {Eigen::Vector3f(1.5f, -2.0f, 3.0f)};
    cloud.ComputeBounds();
    EXPECT_EQ(cloud.boundsMin, cloud.positions[0]);
    EXPECT_EQ(cloud.boundsMax, cloud.positions[0]);
    EXPECT_EQ(cloud.center, cloud.positions[0]);
    EXPECT_EQ(cloud.radius, 0.0f);
}

TEST(PointCloudData, BoxOfTwoPointsGivesCentreAndHalfDiagonal)
{
    PointCloudData cloud;
    cloud.positions = {Eigen::Vector3f(0, 0, 0), Eigen::Vector3f(2, 4, 4)};
    cloud.ComputeBounds();
    EXPECT_EQ(cloud.center, Eigen::Vector3f(1, 2, 2));
    EXPECT_EQ(cloud.radius, 3.0f);
}

TEST(PointCloudData, NanNeverReplacesABoundButANanFirstPointStays)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    PointCloudData later;
    later.positions = {Eigen::Vector3f(1, 1, 1), Eigen::Vector3f(nan, 5, nan), Eigen::Vector3f(-1, 0, 2)};
    later.ComputeBounds();
    EXPECT_EQ(later.boundsMin, Eigen::Vector3f(-1, 0, 1));
    EXPECT_EQ(later.boundsMax, Eigen::Vector3f(1, 5, 2));

    PointCloudData first;
    first.positions = {Eigen::Vector3f(nan, 0, 0), Eigen::Vector3f(3, 1, 1)};
    first.ComputeBounds();
    EXPECT_TRUE(std::isnan(first.boundsMin.x()));
    EXPECT_TRUE(std::isnan(first.boundsMax.x()));
    EXPECT_EQ(first.boundsMax.y(), 1.0f);
}
