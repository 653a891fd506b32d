#pragma once

#include "render/PointOctree.h"

#include <Eigen/Core>

#include <cstdint>
#include <functional>
#include <vector>

// What one frame draws of an octree: ranges of the reordered arrays, ready for
// glMultiDrawArrays (firsts and counts side by side, GLint and GLsizei: arrays of up to 2^31
// points).
struct OctreeSelection {
    std::vector<std::int32_t> firsts;
    std::vector<std::int32_t> counts;
    std::uint64_t drawnPoints = 0;
    std::size_t nodesDrawn = 0;
};

struct SelectionView {
    Eigen::Matrix4f viewProjection = Eigen::Matrix4f::Identity();  // world (the arrays' frame) to clip space
    float viewportHeight = 1;                                      // pixels
};

// Whether a node's points are at hand (a streamed node may still be loading). A node that is not
// loaded is drawn as its parent: neither it nor anything below it is drawn.
using NodeLoaded = std::function<bool(std::size_t node)>;

// Walks the tree from the root, keeps the nodes that meet the view frustum and takes them
// largest projected size first while the next one still fits the budget. Neighbouring ranges
// are merged into one. isLoaded may be empty: every node is loaded.
OctreeSelection SelectOctreeNodes(const PointOctree& tree, const SelectionView& view, std::uint64_t pointBudget,
                                  const NodeLoaded& isLoaded = {});

// Pixels across the node's bounding sphere on screen: what orders the walk. Infinite when the
// eye is inside the sphere.
float ProjectedNodeSize(const Eigen::AlignedBox3f& bounds, const SelectionView& view);

// Whether the box meets the frustum of a view-projection matrix (OpenGL clip space). Boxes that
// straddle a plane count as inside.
bool BoxMeetsFrustum(const Eigen::AlignedBox3f& box, const Eigen::Matrix4f& viewProjection);
