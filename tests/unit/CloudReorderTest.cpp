#include "render/BudgetedPointDraw.h"
#include "render/CloudReorder.h"
#include "render/PointOctree.h"
#include "scene/PointCloudData.h"

#include "platform/ThreadPool.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using Eigen::Vector3f;
using Eigen::Vector4f;

namespace {

// A cloud whose colour records the file index of its point, so that any mismatch shows.
PointCloudData IndexedCloud(std::size_t count, bool withColors)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> coordinate(-50.0f, 50.0f);
    PointCloudData cloud;
    for (std::size_t i = 0; i < count; ++i) {
        cloud.positions.emplace_back(coordinate(random), coordinate(random), coordinate(random) * 0.1f);
        if (withColors)
            cloud.colors.emplace_back(static_cast<float>(i), 0.0f, 0.0f, 1.0f);
        // The attributes carry the index too, in their own widths.
        cloud.intensity.push_back(static_cast<std::uint16_t>(i));
        cloud.classification.push_back(static_cast<std::uint8_t>(i));
        cloud.returnNumber.push_back(static_cast<std::uint8_t>(i >> 8));
        cloud.numberOfReturns.push_back(static_cast<std::uint8_t>(i >> 16));
    }
    cloud.hasColors = withColors;
    cloud.ComputeBounds();
    return cloud;
}

TEST(CloudReorderTest, EveryArrayFollowsTheTreeAndBoundsStay)
{
    ThreadPool pool(2);
    for (ThreadPool* threads : {static_cast<ThreadPool*>(nullptr), &pool}) {
        const PointCloudData original = IndexedCloud(200'000, true);
        PointCloudData cloud = original;
        const auto tree = BuildPointOctree(cloud.positions, CancellationToken(), threads);
        ASSERT_TRUE(tree);
        ASSERT_TRUE(ReorderCloudToOctree(cloud, tree->order, threads));
        ASSERT_EQ(cloud.positions.size(), original.positions.size());
        ASSERT_EQ(cloud.colors.size(), original.colors.size());
        for (std::size_t i = 0; i < cloud.positions.size(); ++i) {
            const auto from = static_cast<std::size_t>(cloud.colors[i].x());
            ASSERT_EQ(from, tree->order[i]);
            ASSERT_EQ(cloud.positions[i], original.positions[from]) << i;
            ASSERT_EQ(cloud.intensity[i], static_cast<std::uint16_t>(from)) << i;
            ASSERT_EQ(cloud.classification[i], static_cast<std::uint8_t>(from)) << i;
            ASSERT_EQ(cloud.returnNumber[i], static_cast<std::uint8_t>(from >> 8)) << i;
            ASSERT_EQ(cloud.numberOfReturns[i], static_cast<std::uint8_t>(from >> 16)) << i;
        }
        EXPECT_EQ(cloud.boundsMin, original.boundsMin);
        EXPECT_EQ(cloud.boundsMax, original.boundsMax);
        EXPECT_TRUE(cloud.hasColors);
    }
}

TEST(CloudReorderTest, ACloudWithoutColoursAndMismatchedOrders)
{
    PointCloudData cloud = IndexedCloud(1000, false);
    const PointCloudData original = cloud;
    const auto tree = BuildPointOctree(cloud.positions, CancellationToken(), nullptr);
    ASSERT_TRUE(tree);
    ASSERT_TRUE(ReorderCloudToOctree(cloud, tree->order, nullptr));
    EXPECT_TRUE(cloud.colors.empty());

    // An order of another size, or colours that do not match the positions: nothing changes.
    PointCloudData unchanged = original;
    const std::vector<std::uint32_t> shortOrder(tree->order.begin(), tree->order.end() - 1);
    EXPECT_FALSE(ReorderCloudToOctree(unchanged, shortOrder, nullptr));
    EXPECT_EQ(unchanged.positions, original.positions);
    unchanged.colors.resize(10);
    EXPECT_FALSE(ReorderCloudToOctree(unchanged, tree->order, nullptr));
    EXPECT_EQ(unchanged.positions, original.positions);
    unchanged.colors.clear();
    unchanged.classification.resize(10);
    EXPECT_FALSE(ReorderCloudToOctree(unchanged, tree->order, nullptr));
    EXPECT_EQ(unchanged.positions, original.positions);
}

TEST(CloudReorderTest, TheEvenSubsetStaysWithinTheBudget)
{
    for (const std::uint64_t count : {1ull, 7ull, 1000ull, 1001ull, 20'000'000ull, 4'294'967'295ull})
        for (const std::uint64_t budget : {1ull, 3ull, 250'000ull, 1'000'000ull, 30'000'000ull}) {
            const std::uint64_t step = SubsetStep(count, budget);
            const std::uint64_t size = SubsetSize(count, step);
            EXPECT_LE(size, std::max(budget, std::uint64_t{1})) << count << " " << budget;
            // The smallest step that fits: one less would draw too many.
            if (step > 1) {
                EXPECT_GT(SubsetSize(count, step - 1), budget) << count << " " << budget;
            } else {
                EXPECT_EQ(size, count);
            }
        }
    EXPECT_EQ(SubsetStep(20'000'000, 1'000'000), 20u);
    EXPECT_EQ(SubsetSize(20'000'000, 20), 1'000'000u);
    EXPECT_EQ(SubsetSize(10, 3), 4u);  // 0, 3, 6, 9
}

}  // namespace
