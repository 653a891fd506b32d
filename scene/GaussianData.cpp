#include "scene/GaussianData.h"

#include <algorithm>
#include <cmath>

Eigen::Vector3f SplatExtent(const Eigen::Vector3f& scale, const Eigen::Vector4f& rotation)
{
    const float lengthSquared = rotation.squaredNorm();
    if (!rotation.allFinite() || !(lengthSquared > 1e-12f) || !scale.allFinite())
        return Eigen::Vector3f::Zero();

    const Eigen::Vector4f unit = rotation / std::sqrt(lengthSquared);
    const Eigen::Matrix3f m = RotationMatrixFromQuaternion(unit) * scale.cwiseAbs().asDiagonal();
    const Eigen::Matrix3f covariance = m * m.transpose();
    Eigen::Vector3f extent;
    for (int axis = 0; axis < 3; ++axis)
        extent[axis] = kSplatExtentSigmas * std::sqrt(std::max(covariance(axis, axis), 0.0f));
    if (!extent.allFinite())
        return Eigen::Vector3f::Zero();
    return extent;
}

Eigen::Matrix3f RotationMatrixFromQuaternion(const Eigen::Vector4f& wxyz)
{
    const float w = wxyz[0];
    const float x = wxyz[1];
    const float y = wxyz[2];
    const float z = wxyz[3];
    Eigen::Matrix3f r;
    r << 1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y),
         2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x),
         2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y);
    return r;
}

std::int32_t ShDegreeForRestCount(std::int32_t restCount)
{
    switch (restCount / 3) {
    case 3: return 1;
    case 8: return 2;
    case 15: return 3;
    default: return 0;
    }
}

void GaussianData::Clear()
{
    positions.clear();
    shDc.clear();
    shRest.clear();
    shRestCount = 0;
    shDegree = 0;
    opacities.clear();
    scales.clear();
    rotations.clear();
    objectIds.clear();
    hasObjectIds = false;
    ClearBounds();
}

void GaussianData::ComputeBounds()
{
    if (positions.empty())
        return;
    const bool useExtents = scales.size() == positions.size() && rotations.size() == positions.size();

    // Strict comparisons on purpose: a NaN never replaces a bound.
    Eigen::Vector3f lo = positions.front();
    Eigen::Vector3f hi = positions.front();
    for (std::size_t i = 0; i < positions.size(); ++i) {
        const Eigen::Vector3f extent =
            useExtents ? SplatExtent(scales[i], rotations[i]) : Eigen::Vector3f::Zero();
        const Eigen::Vector3f low = positions[i] - extent;
        const Eigen::Vector3f high = positions[i] + extent;
        for (int axis = 0; axis < 3; ++axis) {
            if (low[axis] < lo[axis])
                lo[axis] = low[axis];
            if (high[axis] > hi[axis])
                hi[axis] = high[axis];
        }
    }
    SetBounds(lo, hi);
}

void GaussianData::SetBounds(const Eigen::Vector3f& lo, const Eigen::Vector3f& hi)
{
    boundsMin = lo;
    boundsMax = hi;
    center = (lo + hi) * 0.5f;
    const float halfDiagonal = 0.5f * (hi - lo).norm();
    radius = std::isfinite(halfDiagonal) && halfDiagonal >= 1e-6f ? halfDiagonal : 1.0f;
}
