#include "document/PointCloudData.h"

#include <cmath>

void PointCloudData::Clear()
{
    positions.clear();
    colors.clear();
    hasColors = false;
    origin.setZero();
    boundsMin.setZero();
    boundsMax.setZero();
    center.setZero();
    radius = 1.0f;
}

void PointCloudData::ComputeBounds()
{
    if (positions.empty())
        return;
    // Plain comparisons on purpose: a NaN coordinate never replaces a bound, and a NaN in
    // the first point stays.
    Eigen::Vector3f lo = positions.front();
    Eigen::Vector3f hi = positions.front();
    for (const Eigen::Vector3f& p : positions) {
        for (int axis = 0; axis < 3; ++axis) {
            if (lo[axis] > p[axis])
                lo[axis] = p[axis];
            if (p[axis] > hi[axis])
                hi[axis] = p[axis];
        }
    }
    boundsMin = lo;
    boundsMax = hi;
    center = (lo + hi) * 0.5f;
    const float dx = hi.x() - lo.x();
    const float dy = hi.y() - lo.y();
    const float dz = hi.z() - lo.z();
    radius = std::sqrt(dy * dy + dz * dz + dx * dx) * 0.5f;
}
