#include "render/OctreeSelection.h"

#include <algorithm>
#include <span>

OctreeSelection SelectOctreeNodes(const PointOctree& tree, const SelectionView& view, std::uint64_t pointBudget,
                                  const NodeLoaded& isLoaded)
{
    OctreeSelection selection;
    std::vector<std::uint32_t> drawn;
    WalkNodesLargestFirst(
        std::span<const OctreeNode>(tree.nodes), view, pointBudget, [](const OctreeNode& node) { return node.count; },
        [&isLoaded](std::size_t index) { return !isLoaded || isLoaded(index); },
        [&](std::uint32_t index) {
            selection.drawnPoints += tree.nodes[index].count;
            drawn.push_back(index);
            return NodeVisit::Descend;
        });
    selection.nodesDrawn = drawn.size();

    // Nodes in index order are in array order; ranges that touch become one.
    std::sort(drawn.begin(), drawn.end());
    for (const std::uint32_t index : drawn) {
        const OctreeNode& node = tree.nodes[index];
        if (!selection.firsts.empty() &&
            std::uint64_t(selection.firsts.back()) + std::uint64_t(selection.counts.back()) == node.first) {
            selection.counts.back() += static_cast<std::int32_t>(node.count);
        } else {
            selection.firsts.push_back(static_cast<std::int32_t>(node.first));
            selection.counts.push_back(static_cast<std::int32_t>(node.count));
        }
    }
    return selection;
}
