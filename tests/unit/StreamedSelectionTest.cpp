#include "render/StreamedSelection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

namespace {

// A full octree of the cube [0, 8]^3, `levels` deep, breadth first with siblings side by side,
// every node holding `points` points.
std::vector<StreamedNode> FullTree(int levels, std::uint32_t points)
{
    std::vector<StreamedNode> nodes;
    nodes.push_back({Eigen::AlignedBox3f(Eigen::Vector3f::Zero(), Eigen::Vector3f::Constant(8)), points, 0, 0, 0});
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (nodes[i].depth + 1 >= levels)
            continue;
        const Eigen::AlignedBox3f parent = nodes[i].bounds;
        const Eigen::Vector3f half = parent.sizes() / 2;
        nodes[i].firstChild = static_cast<std::uint32_t>(nodes.size());
        nodes[i].childCount = 8;
        for (int child = 0; child < 8; ++child) {
            const Eigen::Vector3f min =
                parent.min() + Eigen::Vector3f(child & 1, (child >> 1) & 1, (child >> 2) & 1).cwiseProduct(half);
            nodes.push_back({Eigen::AlignedBox3f(min, min + half), points, 0, 0,
                             static_cast<std::uint8_t>(nodes[i].depth + 1)});
        }
    }
    return nodes;
}

// An orthographic view straight down the z axis onto the square [x0, x1] x [y0, y1], the
// cube's depth inside the clip range. Scaled so that clip w exceeds every node's radius.
SelectionView LookingDownOn(float x0, float x1, float y0, float y1)
{
    Eigen::Matrix4f m = Eigen::Matrix4f::Identity();
    m(0, 0) = 2 / (x1 - x0);
    m(0, 3) = -(x1 + x0) / (x1 - x0);
    m(1, 1) = 2 / (y1 - y0);
    m(1, 3) = -(y1 + y0) / (y1 - y0);
    m(2, 2) = 0.1f;
    m(2, 3) = -0.5f;
    SelectionView view;
    view.viewProjection = 100.0f * m;
    view.viewportHeight = 100;
    return view;
}

const NodeAvailabilityOf kAllLoaded = [](std::size_t) { return NodeAvailability::Loaded; };

TEST(StreamedSelection, TakesCoarseNodesFirstWithinTheBudget)
{
    const std::vector<StreamedNode> nodes = FullTree(3, 100);  // 1 + 8 + 64 nodes
    const SelectionView view = LookingDownOn(0, 8, 0, 8);
    const StreamedSelection all = SelectStreamedNodes(nodes, view, ~std::uint64_t{0}, kAllLoaded);
    EXPECT_EQ(all.drawn.size(), nodes.size());
    EXPECT_EQ(all.drawnPoints, 100u * nodes.size());
    EXPECT_TRUE(all.missing.empty());

    const StreamedSelection some = SelectStreamedNodes(nodes, view, 950, kAllLoaded);
    EXPECT_EQ(some.drawnPoints, 900u);  // the root and the eight on level 1 fit, a ninth does not
    ASSERT_EQ(some.drawn.size(), 9u);
    EXPECT_EQ(some.drawn.front(), 0u);
    for (const std::uint32_t node : some.drawn)
        EXPECT_LE(nodes[node].depth, 1);
}

TEST(StreamedSelection, LeavesOutNodesOutsideTheView)
{
    const std::vector<StreamedNode> nodes = FullTree(2, 10);
    // Only the half x < 4 is in view.
    const StreamedSelection selection = SelectStreamedNodes(nodes, LookingDownOn(0, 3.9f, 0, 8), 1000, kAllLoaded);
    for (const std::uint32_t node : selection.drawn)
        EXPECT_LT(nodes[node].bounds.min().x(), 3.9f) << node;
    EXPECT_EQ(selection.drawn.size(), 5u);  // the root and the four children on the left
}

TEST(StreamedSelection, MissingNodesAreAskedForAndDrawnAsTheirParents)
{
    const std::vector<StreamedNode> nodes = FullTree(3, 100);
    const std::set<std::size_t> missing = {1, 2};
    const auto availability = [&](std::size_t node) {
        return missing.contains(node) ? NodeAvailability::Missing : NodeAvailability::Loaded;
    };
    const StreamedSelection selection =
        SelectStreamedNodes(nodes, LookingDownOn(0, 8, 0, 8), ~std::uint64_t{0}, availability);
    EXPECT_EQ(std::set<std::uint32_t>(selection.missing.begin(), selection.missing.end()),
              (std::set<std::uint32_t>{1, 2}));
    // Nothing below a missing node is drawn.
    for (const std::uint32_t node : selection.drawn) {
        EXPECT_FALSE(missing.contains(node));
        for (const std::size_t m : missing)
            EXPECT_FALSE(nodes[node].depth == 2 && nodes[m].bounds.contains(nodes[node].bounds.center())) << node;
    }
    EXPECT_EQ(selection.drawn.size(), nodes.size() - 2 - 16);

    // A missing node takes its share of the budget, so that what is asked for is what fits.
    const StreamedSelection tight = SelectStreamedNodes(nodes, LookingDownOn(0, 8, 0, 8), 950, availability);
    EXPECT_EQ(tight.drawnPoints + 100 * tight.missing.size(), 900u);
}

TEST(StreamedSelection, UnavailableNodesAndTheirSubtreesAreLeftOutAndNotAskedFor)
{
    const std::vector<StreamedNode> nodes = FullTree(3, 100);
    const auto availability = [](std::size_t node) {
        return node == 3 ? NodeAvailability::Unavailable : NodeAvailability::Loaded;
    };
    const StreamedSelection selection =
        SelectStreamedNodes(nodes, LookingDownOn(0, 8, 0, 8), ~std::uint64_t{0}, availability);
    EXPECT_TRUE(selection.missing.empty());
    EXPECT_EQ(selection.drawn.size(), nodes.size() - 1 - 8);
    EXPECT_EQ(std::count(selection.drawn.begin(), selection.drawn.end(), 3u), 0);
}

}  // namespace
