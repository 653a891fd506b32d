#include "render/StreamedSelection.h"

#include <queue>

namespace {

struct Candidate {
    float size = 0;
    std::uint32_t node = 0;
    bool operator<(const Candidate& other) const
    {
        // Equal sizes: the lower index (coarser) first, so the order is stable.
        return size < other.size || (size == other.size && node > other.node);
    }
};

}  // namespace

StreamedSelection SelectStreamedNodes(std::span<const StreamedNode> nodes, const SelectionView& view,
                                      std::uint64_t pointBudget, const NodeAvailabilityOf& availability)
{
    StreamedSelection selection;
    if (nodes.empty())
        return selection;
    std::priority_queue<Candidate> queue;
    const auto consider = [&](std::uint32_t index) {
        if (index < nodes.size() && BoxMeetsFrustum(nodes[index].bounds, view.viewProjection))
            queue.push({ProjectedNodeSize(nodes[index].bounds, view), index});
    };
    consider(0);
    std::uint64_t taken = 0;  // drawn and missing points alike
    while (!queue.empty()) {
        const std::uint32_t index = queue.top().node;
        queue.pop();
        const StreamedNode& node = nodes[index];
        if (taken + node.pointCount > pointBudget)
            break;
        const NodeAvailability state = availability(index);
        if (state == NodeAvailability::Unavailable)
            continue;
        taken += node.pointCount;
        if (state == NodeAvailability::Missing) {
            selection.missing.push_back(index);
            continue;
        }
        selection.drawnPoints += node.pointCount;
        if (node.pointCount > 0)
            selection.drawn.push_back(index);
        for (std::uint32_t child = node.firstChild; child < node.firstChild + node.childCount; ++child)
            consider(child);
    }
    return selection;
}
