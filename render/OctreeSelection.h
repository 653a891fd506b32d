#pragma once

#include "render/NodeSelection.h"
#include "render/PointOctree.h"

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

// Whether a node's points are at hand (a streamed node may still be loading). A node that is not
// loaded is drawn as its parent: neither it nor anything below it is drawn.
using NodeLoaded = std::function<bool(std::size_t node)>;

// The tree's nodes as WalkNodesLargestFirst takes them: those that meet the view frustum,
// largest projected size first while the next one still fits the budget. Neighbouring ranges
// are merged into one. isLoaded may be empty: every node is loaded.
OctreeSelection SelectOctreeNodes(const PointOctree& tree, const SelectionView& view, std::uint64_t pointBudget,
                                  const NodeLoaded& isLoaded = {});
