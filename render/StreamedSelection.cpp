#include "render/StreamedSelection.h"

StreamedSelection SelectStreamedNodes(std::span<const StreamedNode> nodes, const SelectionView& view,
                                      std::uint64_t pointBudget, const NodeAvailabilityOf& availability)
{
    StreamedSelection selection;
    WalkNodesLargestFirst(
        nodes, view, pointBudget, [](const StreamedNode& node) { return node.pointCount; },
        [](std::size_t) { return true; },
        [&](std::uint32_t index) {
            switch (availability(index)) {
            case NodeAvailability::Unavailable:
                return NodeVisit::Skip;
            case NodeAvailability::Missing:
                selection.missing.push_back(index);
                return NodeVisit::Hold;
            case NodeAvailability::Loaded:
                break;
            }
            const StreamedNode& node = nodes[index];
            selection.drawnPoints += node.pointCount;
            if (node.pointCount > 0)
                selection.drawn.push_back(index);
            return NodeVisit::Descend;
        });
    return selection;
}
