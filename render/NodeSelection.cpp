#include "render/NodeSelection.h"

#include <limits>

ViewFrustum::ViewFrustum(const Eigen::Matrix4f& m)
{
    // A point x is inside when plane . (x, 1) >= 0 for all six.
    const Eigen::Vector4f r0 = m.row(0), r1 = m.row(1), r2 = m.row(2), r3 = m.row(3);
    m_planes = {r3 + r0, r3 - r0, r3 + r1, r3 - r1, r3 + r2, r3 - r2};
}

bool ViewFrustum::Meets(const Eigen::AlignedBox3f& box) const
{
    for (const Eigen::Vector4f& plane : m_planes) {
        // The corner furthest along the plane's normal.
        const Eigen::Vector3f corner((plane.x() >= 0 ? box.max() : box.min()).x(),
                                     (plane.y() >= 0 ? box.max() : box.min()).y(),
                                     (plane.z() >= 0 ? box.max() : box.min()).z());
        if (plane.head<3>().dot(corner) + plane.w() < 0)
            return false;
    }
    return true;
}

bool BoxMeetsFrustum(const Eigen::AlignedBox3f& box, const Eigen::Matrix4f& viewProjection)
{
    return ViewFrustum(viewProjection).Meets(box);
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
