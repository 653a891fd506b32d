#include "platform/ThreadPool.h"
#include "render/PointOctree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>
#include <set>
#include <tuple>
#include <vector>

namespace {

std::vector<Eigen::Vector3f> UniformCloud(std::size_t count, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> coordinate(-50.0f, 150.0f);
    std::vector<Eigen::Vector3f> points(count);
    for (auto& p : points)
        p = {coordinate(random), coordinate(random), coordinate(random) * 0.1f};
    return points;
}

// A terrain-like sheet with dense clusters and exact duplicates, the shapes that go deep.
std::vector<Eigen::Vector3f> ClusteredCloud()
{
    std::mt19937 random(7);
    std::normal_distribution<float> spread(0.0f, 0.01f);
    std::uniform_real_distribution<float> coordinate(0.0f, 1000.0f);
    std::vector<Eigen::Vector3f> points;
    for (int i = 0; i < 20000; ++i)
        points.emplace_back(coordinate(random), coordinate(random), 0.0f);
    for (int i = 0; i < 20000; ++i)
        points.emplace_back(500.0f + spread(random), 500.0f + spread(random), spread(random));
    points.insert(points.end(), 3000, Eigen::Vector3f(10.0f, 20.0f, 0.0f));
    return points;
}

PointOctree Build(const std::vector<Eigen::Vector3f>& points, ThreadPool* pool, const OctreeBuildSettings& settings = {})
{
    auto tree = BuildPointOctree(points, CancellationToken(), pool, settings);
    EXPECT_TRUE(tree.has_value());
    return tree ? std::move(*tree) : PointOctree{};
}

// The grid cell a point falls in within its node: nodes above the deepest level keep at most
// one point per cell. Nothing for points within rounding of a cell's face, which the build may
// place on either side.
std::optional<std::tuple<long, long, long>> GridCell(const OctreeNode& node, const Eigen::Vector3f& p, int gridLevels)
{
    const Eigen::Array3d cell = ((p - node.bounds.min()).cast<double>() / double(node.bounds.sizes().x()) *
                                 double(1 << gridLevels)).array();
    const Eigen::Array3d fraction = cell - cell.floor();
    if ((fraction < 1e-3).any() || (fraction > 1 - 1e-3).any())
        return std::nullopt;
    return std::tuple{std::lround(std::floor(cell.x())), std::lround(std::floor(cell.y())), std::lround(std::floor(cell.z()))};
}

void ExpectOctreeInvariants(const PointOctree& tree, const std::vector<Eigen::Vector3f>& original)
{
    // Every point in exactly one place of the order, and in exactly one node.
    ASSERT_EQ(tree.order.size(), original.size());
    std::vector<bool> seen(original.size(), false);
    for (const std::uint32_t index : tree.order) {
        ASSERT_LT(index, original.size());
        ASSERT_FALSE(seen[index]) << "point " << index << " appears twice";
        seen[index] = true;
    }
    ASSERT_FALSE(tree.nodes.empty());
    std::uint32_t next = 0;
    for (const OctreeNode& node : tree.nodes) {
        EXPECT_EQ(node.first, next) << "nodes are consecutive ranges in breadth-first order";
        EXPECT_GE(node.count, 1u);
        next = node.first + node.count;
    }
    EXPECT_EQ(next, original.size());

    std::vector<Eigen::Vector3f> points = original;
    ReorderToOctree(points, tree.order);
    const float tolerance = tree.rootBounds.sizes().maxCoeff() * 1e-5f;
    for (std::size_t n = 0; n < tree.nodes.size(); ++n) {
        const OctreeNode& node = tree.nodes[n];
        if (n > 0) {
            EXPECT_GE(node.depth, tree.nodes[n - 1].depth);
        }
        for (std::uint32_t c = node.firstChild; c < node.firstChild + node.childCount; ++c) {
            ASSERT_LT(c, tree.nodes.size());
            EXPECT_EQ(tree.nodes[c].depth, node.depth + 1);
            EXPECT_TRUE(node.bounds.contains(tree.nodes[c].bounds.center()));
        }
        std::set<std::tuple<long, long, long>> cells;
        for (std::uint32_t i = node.first; i < node.first + node.count; ++i) {
            const Eigen::Vector3f& p = points[i];
            ASSERT_TRUE((p.array() >= node.bounds.min().array() - tolerance).all() &&
                        (p.array() <= node.bounds.max().array() + tolerance).all())
                << "point " << i << " outside node " << n;
            const auto cell = GridCell(node, p, tree.gridLevels);
            if (node.depth < tree.maxDepth && cell) {
                EXPECT_TRUE(cells.insert(*cell).second)
                    << "node " << n << " holds two points of one grid cell";
            }
        }
    }
    // Every node but the root is some node's child, exactly once.
    std::vector<int> parents(tree.nodes.size(), 0);
    for (const OctreeNode& node : tree.nodes)
        for (std::uint32_t c = node.firstChild; c < node.firstChild + node.childCount; ++c)
            ++parents[c];
    EXPECT_EQ(parents[0], 0);
    EXPECT_TRUE(std::all_of(parents.begin() + 1, parents.end(), [](int p) { return p == 1; }));
}

TEST(PointOctree, UniformCloudKeepsEveryInvariant)
{
    const auto points = UniformCloud(100000, 1);
    ThreadPool pool(2);
    const PointOctree tree = Build(points, &pool, {.gridLevels = 4, .maxDepth = 10});
    ExpectOctreeInvariants(tree, points);
    EXPECT_GT(tree.nodes.size(), 9u);
    // The root's subsample is spread: it holds points of most of its 16^3 grid cells that the
    // (flat) cloud reaches, nowhere more than one.
    EXPECT_GT(tree.nodes[0].count, 16u * 16u);
}

TEST(PointOctree, ClustersAndDuplicatesStopAtTheDeepestLevel)
{
    const auto points = ClusteredCloud();
    const PointOctree tree = Build(points, nullptr, {.gridLevels = 5, .maxDepth = 12});
    ExpectOctreeInvariants(tree, points);
    EXPECT_EQ(tree.nodes.back().depth, 12) << "the duplicates reach the deepest level";
}

TEST(PointOctree, DefaultSettingsAndParallelBuildGiveTheSameTree)
{
    const auto points = UniformCloud(300000, 2);
    ThreadPool pool(3);
    const PointOctree parallel = Build(points, &pool);
    const PointOctree serial = Build(points, nullptr);
    ExpectOctreeInvariants(parallel, points);
    EXPECT_EQ(parallel.order, serial.order);
    ASSERT_EQ(parallel.nodes.size(), serial.nodes.size());
    for (std::size_t n = 0; n < serial.nodes.size(); ++n) {
        EXPECT_EQ(parallel.nodes[n].first, serial.nodes[n].first);
        EXPECT_EQ(parallel.nodes[n].firstChild, serial.nodes[n].firstChild);
    }
}

TEST(PointOctree, TinyDegenerateAndNonFiniteClouds)
{
    EXPECT_TRUE(Build({}, nullptr).nodes.empty());

    const std::vector<Eigen::Vector3f> one{{1, 2, 3}};
    const PointOctree single = Build(one, nullptr);
    ASSERT_EQ(single.nodes.size(), 1u);
    EXPECT_EQ(single.nodes[0].count, 1u);

    std::vector<Eigen::Vector3f> odd = UniformCloud(2000, 3);
    odd[5] = Eigen::Vector3f::Constant(std::nanf(""));
    odd[9] = {INFINITY, 0, -INFINITY};
    const PointOctree tree = Build(odd, nullptr, {.gridLevels = 2, .maxDepth = 6});
    ASSERT_EQ(tree.order.size(), odd.size()) << "points that cannot be placed are kept, not lost";
    EXPECT_TRUE(tree.rootBounds.sizes().allFinite());
}

TEST(PointOctree, CancelledOrImpossibleBuildsReturnNothing)
{
    const auto points = UniformCloud(1000, 4);
    CancellationToken cancel;
    cancel.Cancel();
    EXPECT_FALSE(BuildPointOctree(points, cancel, nullptr).has_value());
    EXPECT_FALSE(BuildPointOctree(points, CancellationToken(), nullptr, {.gridLevels = 10, .maxDepth = 12}).has_value());
}

TEST(PointOctree, ReorderingCarriesEveryAttribute)
{
    const auto points = UniformCloud(5000, 5);
    const PointOctree tree = Build(points, nullptr);
    std::vector<Eigen::Vector4f> colours(points.size());
    for (std::size_t i = 0; i < points.size(); ++i)
        colours[i] = Eigen::Vector4f(float(i), 0, 0, 1);
    ReorderToOctree(colours, tree.order);
    for (std::size_t i = 0; i < points.size(); ++i)
        ASSERT_EQ(colours[i].x(), float(tree.order[i]));
}

}  // namespace
