#include "platform/ThreadPool.h"
#include "render/OctreeSelection.h"
#include "render/PointBudget.h"

#include <gtest/gtest.h>

#include <Eigen/Geometry>

#include <random>

namespace {

// A flat 100 x 100 field of points at z = 0, dense enough for several levels.
PointOctree FieldTree(std::size_t count = 200000)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<float> coordinate(0.0f, 100.0f);
    std::vector<Eigen::Vector3f> points(count);
    for (auto& p : points)
        p = {coordinate(random), coordinate(random), 0.0f};
    auto tree = BuildPointOctree(points, CancellationToken(), nullptr, {.gridLevels = 4, .maxDepth = 10});
    return tree ? std::move(*tree) : PointOctree{};
}

Eigen::Matrix4f Perspective(float fovY, float aspect, float nearPlane, float farPlane)
{
    const float f = 1.0f / std::tan(fovY / 2);
    Eigen::Matrix4f m = Eigen::Matrix4f::Zero();
    m(0, 0) = f / aspect;
    m(1, 1) = f;
    m(2, 2) = (farPlane + nearPlane) / (nearPlane - farPlane);
    m(2, 3) = 2 * farPlane * nearPlane / (nearPlane - farPlane);
    m(3, 2) = -1;
    return m;
}

Eigen::Matrix4f LookAt(const Eigen::Vector3f& eye, const Eigen::Vector3f& target, const Eigen::Vector3f& up)
{
    const Eigen::Vector3f f = (target - eye).normalized();
    const Eigen::Vector3f s = f.cross(up).normalized();
    const Eigen::Vector3f u = s.cross(f);
    Eigen::Matrix4f m = Eigen::Matrix4f::Identity();
    m.block<1, 3>(0, 0) = s.transpose();
    m.block<1, 3>(1, 0) = u.transpose();
    m.block<1, 3>(2, 0) = -f.transpose();
    m(0, 3) = -s.dot(eye);
    m(1, 3) = -u.dot(eye);
    m(2, 3) = f.dot(eye);
    return m;
}

SelectionView View(const Eigen::Vector3f& eye, const Eigen::Vector3f& target)
{
    return {Perspective(0.8f, 1.5f, 0.1f, 1000.0f) * LookAt(eye, target, Eigen::Vector3f::UnitZ()), 800.0f};
}

// The ranges are sorted, disjoint, and add up to the drawn count; drawn nodes form a tree
// from the root (every drawn node's parent is drawn).
void ExpectConsistent(const PointOctree& tree, const OctreeSelection& selection)
{
    ASSERT_EQ(selection.firsts.size(), selection.counts.size());
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < selection.firsts.size(); ++i) {
        EXPECT_GT(selection.counts[i], 0);
        if (i > 0) {
            EXPECT_GT(selection.firsts[i], selection.firsts[i - 1] + selection.counts[i - 1]) << "touching ranges merge";
        }
        sum += std::uint64_t(selection.counts[i]);
    }
    EXPECT_EQ(sum, selection.drawnPoints);
    std::vector<bool> drawn(tree.nodes.size(), false);
    for (std::size_t i = 0; i < selection.firsts.size(); ++i)
        for (std::size_t n = 0; n < tree.nodes.size(); ++n)
            if (tree.nodes[n].first >= std::uint32_t(selection.firsts[i]) &&
                tree.nodes[n].first < std::uint32_t(selection.firsts[i] + selection.counts[i]))
                drawn[n] = true;
    std::size_t drawnNodes = 0;
    for (std::size_t n = 0; n < tree.nodes.size(); ++n) {
        drawnNodes += drawn[n];
        for (std::uint32_t c = tree.nodes[n].firstChild; c < tree.nodes[n].firstChild + tree.nodes[n].childCount; ++c)
            if (drawn[c]) {
                EXPECT_TRUE(drawn[n]) << "node " << c << " drawn without its parent";
            }
    }
    EXPECT_EQ(drawnNodes, selection.nodesDrawn);
}

TEST(OctreeSelection, UnlimitedBudgetWithEverythingInViewDrawsEveryPointInOneRange)
{
    const PointOctree tree = FieldTree();
    const auto selection = SelectOctreeNodes(tree, View({50, -150, 150}, {50, 50, 0}), kEveryPoint);
    ExpectConsistent(tree, selection);
    EXPECT_EQ(selection.drawnPoints, tree.order.size());
    EXPECT_EQ(selection.nodesDrawn, tree.nodes.size());
    EXPECT_EQ(selection.firsts.size(), 1u);
}

TEST(OctreeSelection, BudgetIsNeverExceededAndNearlySpent)
{
    const PointOctree tree = FieldTree();
    const SelectionView view = View({50, -150, 150}, {50, 50, 0});
    for (const std::uint64_t budget : {0ull, 1ull, 5000ull, 50000ull, 123456ull}) {
        const auto selection = SelectOctreeNodes(tree, view, budget);
        ExpectConsistent(tree, selection);
        EXPECT_LE(selection.drawnPoints, budget);
        if (budget >= tree.nodes[0].count) {
            EXPECT_GT(selection.drawnPoints, budget / 2) << "budget " << budget;
        }
    }
}

TEST(OctreeSelection, NodesOutsideTheFrustumAreNotDrawn)
{
    const PointOctree tree = FieldTree();
    // Close above one corner, looking at it: most of the field is outside.
    const SelectionView view = View({10, 10, 15}, {10, 10.1f, 0});
    const auto selection = SelectOctreeNodes(tree, view, kEveryPoint);
    ExpectConsistent(tree, selection);
    EXPECT_LT(selection.drawnPoints, tree.order.size() / 4);
    // With no limit, a node is drawn exactly when it and all its ancestors meet the frustum.
    std::vector<bool> visible(tree.nodes.size(), false);
    visible[0] = BoxMeetsFrustum(tree.nodes[0].bounds, view.viewProjection);
    for (std::size_t n = 0; n < tree.nodes.size(); ++n)
        for (std::uint32_t c = tree.nodes[n].firstChild; c < tree.nodes[n].firstChild + tree.nodes[n].childCount; ++c)
            visible[c] = visible[n] && BoxMeetsFrustum(tree.nodes[c].bounds, view.viewProjection);
    for (std::size_t n = 0; n < tree.nodes.size(); ++n) {
        bool drawn = false;
        for (std::size_t i = 0; i < selection.firsts.size(); ++i)
            drawn = drawn || (tree.nodes[n].first >= std::uint32_t(selection.firsts[i]) &&
                              tree.nodes[n].first < std::uint32_t(selection.firsts[i] + selection.counts[i]));
        EXPECT_EQ(drawn, bool(visible[n])) << "node " << n;
    }
    // Looking away from the field: nothing.
    EXPECT_EQ(SelectOctreeNodes(tree, View({50, -10, 5}, {50, -100, 5}), kEveryPoint).drawnPoints, 0u);
}

TEST(OctreeSelection, NearNodesGoDeeperThanFarOnes)
{
    const PointOctree tree = FieldTree();
    // Low over the field's near edge, looking across it.
    const SelectionView view = View({50, -5, 5}, {50, 60, 0});
    const auto selection = SelectOctreeNodes(tree, view, 40000);
    ExpectConsistent(tree, selection);
    int deepestNear = 0, deepestFar = 0;
    for (std::size_t i = 0; i < selection.firsts.size(); ++i)
        for (const OctreeNode& node : tree.nodes)
            if (node.first >= std::uint32_t(selection.firsts[i]) &&
                node.first < std::uint32_t(selection.firsts[i] + selection.counts[i])) {
                int& deepest = node.bounds.center().y() < 30 ? deepestNear : deepestFar;
                deepest = std::max<int>(deepest, node.depth);
            }
    EXPECT_GT(deepestNear, deepestFar);
    const Eigen::Vector3f half = Eigen::Vector3f::Constant(1);
    const float nearSize = ProjectedNodeSize({Eigen::Vector3f(50, 15, 0) - half, Eigen::Vector3f(50, 15, 0) + half}, view);
    const float farSize = ProjectedNodeSize({Eigen::Vector3f(50, 75, 0) - half, Eigen::Vector3f(50, 75, 0) + half}, view);
    EXPECT_TRUE(std::isfinite(nearSize));
    EXPECT_GT(nearSize, 2 * farSize);
    EXPECT_GT(farSize, 0);
    EXPECT_TRUE(std::isinf(ProjectedNodeSize(tree.nodes[0].bounds, View({50, 50, 0}, {50, 60, 0}))))
        << "the eye inside the node";
}

TEST(OctreeSelection, NodesNotLoadedAreDrawnAsTheirParents)
{
    const PointOctree tree = FieldTree();
    const SelectionView view = View({50, -150, 150}, {50, 50, 0});
    ASSERT_GT(tree.nodes[0].childCount, 1);
    const std::uint32_t missing = tree.nodes[0].firstChild;
    const auto selection = SelectOctreeNodes(tree, view, kEveryPoint, [&](std::size_t node) { return node != missing; });
    ExpectConsistent(tree, selection);
    const OctreeNode& child = tree.nodes[missing];
    for (std::size_t i = 0; i < selection.firsts.size(); ++i)
        EXPECT_FALSE(child.first >= std::uint32_t(selection.firsts[i]) &&
                     child.first < std::uint32_t(selection.firsts[i] + selection.counts[i]));
    EXPECT_GE(selection.drawnPoints, tree.nodes[0].count);
    EXPECT_LT(selection.drawnPoints, tree.order.size());
    EXPECT_EQ(SelectOctreeNodes(tree, view, kEveryPoint, [](std::size_t) { return false; }).drawnPoints, 0u);
}

TEST(PointBudget, AutomaticBudgetFollowsTheRendererAndTheCamera)
{
    EXPECT_TRUE(IsSoftwareRenderer("llvmpipe (LLVM 15.0.6, 256 bits)"));
    EXPECT_TRUE(IsSoftwareRenderer("Gallium 0.4 on SoftPipe"));
    EXPECT_FALSE(IsSoftwareRenderer("NVIDIA GeForce RTX 4090/PCIe/SSE2"));
    EXPECT_FALSE(IsSoftwareRenderer(""));

    EXPECT_EQ(PointBudget(kAutomaticPointBudget, "llvmpipe (LLVM 15.0.6, 256 bits)", false), 1'000'000u);
    EXPECT_EQ(PointBudget(kAutomaticPointBudget, "llvmpipe (LLVM 15.0.6, 256 bits)", true), 250'000u);
    EXPECT_EQ(PointBudget(-7, "AMD Radeon RX 7900", false), 30'000'000u);
    EXPECT_EQ(PointBudget(kAutomaticPointBudget, "AMD Radeon RX 7900", true), 7'500'000u);
    EXPECT_EQ(PointBudget(0, "llvmpipe", false), kEveryPoint);
    EXPECT_EQ(PointBudget(0, "llvmpipe", true), kEveryPoint);
    EXPECT_EQ(PointBudget(5'000'000, "llvmpipe", false), 5'000'000u);
    EXPECT_EQ(PointBudget(5'000'000, "NVIDIA", true), 1'250'000u);
    EXPECT_EQ(PointBudget(3, "NVIDIA", true), 1u);

    EXPECT_FALSE(NeedsOctree(1'000'000, StillPointBudget(kAutomaticPointBudget, "llvmpipe")));
    EXPECT_TRUE(NeedsOctree(1'000'001, StillPointBudget(kAutomaticPointBudget, "llvmpipe")));
    EXPECT_FALSE(NeedsOctree(20'000'000, StillPointBudget(kAutomaticPointBudget, "Mesa Intel(R) UHD Graphics")));
    EXPECT_FALSE(NeedsOctree(20'000'000, StillPointBudget(0, "llvmpipe")));
}

}  // namespace
