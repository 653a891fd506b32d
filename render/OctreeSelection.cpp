#include "render/OctreeSelection.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <queue>

namespace {

struct Candidate {
    float size = 0;
    std::uint32_t node = 0;
    bool operator<(const Candidate& other) const
    {
        // Equal sizes: lower node index (coarser, earlier in the arrays) first, so the order is stable.
        return size < other.size || (size == other.size && node > other.node);
    }
};

using Planes = std::array<Eigen::Vector4f, 6>;

// The frustum planes of clip space pulled back through the matrix: a point x is inside when
// plane . (x, 1) >= 0 for all six.
Planes FrustumPlanes(const Eigen::Matrix4f& m)
{
    const Eigen::Vector4f r0 = m.row(0), r1 = m.row(1), r2 = m.row(2), r3 = m.row(3);
    return {r3 + r0, r3 - r0, r3 + r1, r3 - r1, r3 + r2, r3 - r2};
}

bool BoxMeetsPlanes(const Eigen::AlignedBox3f& box, const Planes& planes)
{
    for (const Eigen::Vector4f& plane : planes) {
        // The corner furthest along the plane's normal.
        const Eigen::Vector3f corner((plane.x() >= 0 ? box.max() : box.min()).x(),
                                     (plane.y() >= 0 ? box.max() : box.min()).y(),
                                     (plane.z() >= 0 ? box.max() : box.min()).z());
        if (plane.head<3>().dot(corner) + plane.w() < 0)
            return false;
    }
    return true;
}

}  // namespace

bool BoxMeetsFrustum(const Eigen::AlignedBox3f& box, const Eigen::Matrix4f& viewProjection)
{
    return BoxMeetsPlanes(box, FrustumPlanes(viewProjection));
}

float ProjectedNodeSize(const Eigen::AlignedBox3f& bounds, const SelectionView& view)
{
    const float radius = 0.5f * bounds.sizes().norm();
    const Eigen::Vector4f clip = view.viewProjection * bounds.center().homogeneous();
    // The clip w grows with the distance along the view direction (perspective) or stays 1
    // (orthographic); row 1 scales world lengths into clip y.
    const float w = clip.w();
    if (!(w > radius))
        return std::numeric_limits<float>::infinity();
    const float clipPerWorld = view.viewProjection.row(1).head<3>().norm();
    return radius * clipPerWorld / w * view.viewportHeight;
}

OctreeSelection SelectOctreeNodes(const PointOctree& tree, const SelectionView& view, std::uint64_t pointBudget,
                                  const NodeLoaded& isLoaded)
{
    OctreeSelection selection;
    if (tree.nodes.empty())
        return selection;
    const Planes planes = FrustumPlanes(view.viewProjection);
    std::vector<std::uint32_t> drawn;
    std::priority_queue<Candidate> queue;
    const auto consider = [&](std::uint32_t index) {
        const OctreeNode& node = tree.nodes[index];
        if (BoxMeetsPlanes(node.bounds, planes) && (!isLoaded || isLoaded(index)))
            queue.push({ProjectedNodeSize(node.bounds, view), index});
    };
    consider(0);
    while (!queue.empty()) {
        const std::uint32_t index = queue.top().node;
        queue.pop();
        const OctreeNode& node = tree.nodes[index];
        if (selection.drawnPoints + node.count > pointBudget)
            break;
        selection.drawnPoints += node.count;
        drawn.push_back(index);
        for (std::uint32_t child = node.firstChild; child < node.firstChild + node.childCount; ++child)
            consider(child);
    }
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
