#pragma once

#include <Eigen/Core>
#include <Eigen/Geometry>

#include <array>
#include <cstdint>
#include <queue>
#include <span>

// The camera a selection is made for.
struct SelectionView {
    Eigen::Matrix4f viewProjection = Eigen::Matrix4f::Identity();  // world (the arrays' frame) to clip space
    float viewportHeight = 1;                                      // pixels
};

// Pixels across the node's bounding sphere on screen: what orders the walk. Infinite when the
// eye is inside the sphere.
float ProjectedNodeSize(const Eigen::AlignedBox3f& bounds, const SelectionView& view);

// The six planes of a view-projection matrix's frustum (OpenGL clip space), pulled back once
// for a whole walk.
class ViewFrustum {
public:
    explicit ViewFrustum(const Eigen::Matrix4f& viewProjection);
    // Boxes that straddle a plane count as inside.
    bool Meets(const Eigen::AlignedBox3f& box) const;

private:
    std::array<Eigen::Vector4f, 6> m_planes;
};

// Whether the box meets the frustum of a view-projection matrix (OpenGL clip space). Boxes that
// straddle a plane count as inside.
bool BoxMeetsFrustum(const Eigen::AlignedBox3f& box, const Eigen::Matrix4f& viewProjection);

// What the walk does with a node it takes whose points still fit the budget.
enum class NodeVisit {
    Skip,     // left out with everything below it; its points cost nothing
    Hold,     // its points count against the budget, but nothing below it is walked
    Descend,  // its points count and its children are considered
};

// The walk every point selection shares. From the root (node 0), a node is queued when it
// meets the view frustum and `admit(index)` lets it in; nodes are taken largest projected size
// first, equal sizes lower index (coarser) first, so that the order is stable. The walk ends
// at the first node whose points no longer fit the budget; `visit(index)` says what becomes of
// every node taken before. Node has bounds, firstChild and childCount (children consecutive);
// pointsOf(node) is its point count.
template <typename Node, typename PointsOf, typename Admit, typename Visit>
void WalkNodesLargestFirst(std::span<const Node> nodes, const SelectionView& view, std::uint64_t pointBudget,
                           PointsOf&& pointsOf, Admit&& admit, Visit&& visit)
{
    struct Candidate {
        float size = 0;
        std::uint32_t node = 0;
        bool operator<(const Candidate& other) const
        {
            return size < other.size || (size == other.size && node > other.node);
        }
    };
    if (nodes.empty())
        return;
    const ViewFrustum frustum(view.viewProjection);
    std::priority_queue<Candidate> queue;
    const auto consider = [&](std::uint32_t index) {
        if (index < nodes.size() && frustum.Meets(nodes[index].bounds) && admit(std::size_t{index}))
            queue.push({ProjectedNodeSize(nodes[index].bounds, view), index});
    };
    consider(0);
    std::uint64_t taken = 0;
    while (!queue.empty()) {
        const std::uint32_t index = queue.top().node;
        queue.pop();
        const Node& node = nodes[index];
        const std::uint64_t points = pointsOf(node);
        if (taken + points > pointBudget)
            break;
        const NodeVisit visited = visit(index);
        if (visited == NodeVisit::Skip)
            continue;
        taken += points;
        if (visited == NodeVisit::Descend)
            for (std::uint32_t child = node.firstChild; child < node.firstChild + node.childCount; ++child)
                consider(child);
    }
}
