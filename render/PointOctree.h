#pragma once

#include "platform/ThreadPool.h"

#include <Eigen/Core>
#include <Eigen/Geometry>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// One cell of the octree. Its points are one contiguous range of the reordered arrays; they
// are an even subsample of everything inside the cell that its ancestors did not take, and
// its children hold the rest.
struct OctreeNode {
    Eigen::AlignedBox3f bounds;     // the cell, a cube
    std::uint32_t first = 0;        // first point of the node in the reordered arrays
    std::uint32_t count = 0;        // at least 1
    std::uint32_t firstChild = 0;   // index into PointOctree::nodes; children are consecutive
    std::uint8_t childCount = 0;
    std::uint8_t depth = 0;         // 0 at the root
};

struct OctreeBuildSettings {
    // A node keeps at most one point per cell of a grid of 2^gridLevels cells along each axis
    // over its own cell, so that its points are spread evenly at the spacing of that grid.
    int gridLevels = 7;
    // Nodes at this depth keep every point that reaches them (duplicates, dense clusters).
    // gridLevels + maxDepth is at most kOctreeCodeLevels.
    int maxDepth = 14;
};

// How finely positions are quantised for the build: 21 levels of octants (63-bit codes).
inline constexpr int kOctreeCodeLevels = 21;

struct PointOctree {
    // Breadth first: the root, then every node of depth 1, and so on; the points follow the
    // same order, so the first points of the arrays are the coarsest even subset of the cloud.
    std::vector<OctreeNode> nodes;
    // order[i] is the index, in the arrays as they were before the build, of the point the
    // reordered arrays hold at i. Every index appears exactly once.
    std::vector<std::uint32_t> order;
    Eigen::AlignedBox3f rootBounds;
    int gridLevels = 0;
    int maxDepth = 0;
};

// Builds the octree of positions. Meant for a worker thread: returns nothing when the token is
// cancelled (checked between the steps and inside the long ones); pool may be null (this thread
// does everything). The positions themselves are not changed: apply ReorderToOctree to every
// attribute array afterwards. More than 2^32 - 1 points are beyond it (nothing is returned).
std::optional<PointOctree> BuildPointOctree(std::span<const Eigen::Vector3f> positions, const CancellationToken& cancel,
                                            ThreadPool* pool, const OctreeBuildSettings& settings = {});

// Puts the values into the tree's order, through one temporary copy of the array, gathered in
// parallel on pool when there is one.
template <typename T, typename Allocator>
void ReorderToOctree(std::vector<T, Allocator>& values, std::span<const std::uint32_t> order, ThreadPool* pool = nullptr)
{
    constexpr std::size_t kBlock = std::size_t{1} << 16;
    std::vector<T, Allocator> reordered(order.size(), values.get_allocator());
    ParallelFor(pool, (order.size() + kBlock - 1) / kBlock, [&](std::size_t block) {
        const std::size_t end = std::min(order.size(), (block + 1) * kBlock);
        for (std::size_t i = block * kBlock; i < end; ++i)
            reordered[i] = values[order[i]];
    });
    values.swap(reordered);
}
