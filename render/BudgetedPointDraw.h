#pragma once

#include "gl/GlObject.h"
#include "render/OctreeSelection.h"
#include "render/PointOctree.h"

#include <Eigen/Core>

#include <cstdint>
#include <memory>
#include <vector>

// What the last frame of a point cloud drew.
struct PointDrawStats {
    std::uint64_t total = 0;      // points uploaded
    std::uint64_t drawn = 0;      // points the frame drew
    std::size_t nodesDrawn = 0;   // octree nodes among them; 0 without a tree
    std::size_t nodesLoaded = 0;  // nodes whose points are at hand: every node of an in-memory tree
};

// Every k-th point, k the smallest step that keeps the subset within the budget: an evenly
// spread subset of a cloud in any order. 1 when the budget covers the cloud.
std::uint64_t SubsetStep(std::uint64_t pointCount, std::uint64_t budget);

// Points the subset of SubsetStep holds: indices 0, k, 2k, ... below pointCount.
std::uint64_t SubsetSize(std::uint64_t pointCount, std::uint64_t step);

// Issues the draw calls of a point cloud under a point budget, with the caller's program and
// vertex array bound:
// - a budget that covers the cloud: every point in one glDrawArrays, in the arrays' order;
// - with an octree (the arrays in its order): the nodes SelectOctreeNodes picks for the view,
//   in one glMultiDrawArrays; a budget smaller than the root node draws an even subset of it;
// - without one yet: an evenly spread subset, drawn by reading every k-th vertex through the
//   vertex array's own buffers with k times their stride (no copy), restored afterwards.
// Every call needs the context current.
class BudgetedPointDraw {
public:
    // A new upload: its size, and no tree.
    void Reset(std::uint32_t pointCount);
    void SetBudget(std::uint64_t budget) { m_budget = budget; }
    std::uint64_t Budget() const { return m_budget; }
    // The tree of the uploaded arrays, which must be in its order; null drops it. Its order
    // array is not needed here and may have been released.
    void SetOctree(std::shared_ptr<const PointOctree> tree) { m_tree = std::move(tree); }
    const PointOctree* Octree() const { return m_tree.get(); }

    // viewProjection: world (the arrays' frame) to clip space.
    void Draw(GLuint vertexArray, const Eigen::Matrix4f& viewProjection);
    const PointDrawStats& LastDraw() const { return m_last; }

private:
    void DrawSelection(const Eigen::Matrix4f& viewProjection);
    // Every k-th of the first pointCount points.
    void DrawSubset(GLuint vertexArray, std::uint32_t pointCount);

    std::uint32_t m_pointCount = 0;
    std::uint64_t m_budget = ~std::uint64_t{0};
    std::shared_ptr<const PointOctree> m_tree;
    PointDrawStats m_last;
    std::vector<GLint> m_singleFirsts;  // the subset as single-point ranges, when strides run out
    std::vector<GLsizei> m_singleCounts;
};
