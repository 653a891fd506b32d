#include "scene/PointCloudData.h"

#include <cmath>

void PointCloudData::Clear()
{
    positions.clear();
    colors.clear();
    hasColors = false;
    streamed.reset();
    intensity.clear();
    classification.clear();
    returnNumber.clear();
    numberOfReturns.clear();
    upAxis = 2;
    ClearBounds();
}

void PointCloudData::ComputeBounds()
{
    if (positions.empty())
        return;
    // Plain comparisons on purpose: a NaN coordinate never replaces a bound, and a NaN in
    // the first point stays. One local per bound keeps them in registers.
    float loX = positions.front().x();
    float loY = positions.front().y();
    float loZ = positions.front().z();
    float hiX = loX;
    float hiY = loY;
    float hiZ = loZ;
    for (const Eigen::Vector3f& p : positions) {
        loX = loX > p.x() ? p.x() : loX;
        loY = loY > p.y() ? p.y() : loY;
        loZ = loZ > p.z() ? p.z() : loZ;
        hiX = p.x() > hiX ? p.x() : hiX;
        hiY = p.y() > hiY ? p.y() : hiY;
        hiZ = p.z() > hiZ ? p.z() : hiZ;
    }
    SetBounds({loX, loY, loZ}, {hiX, hiY, hiZ});
}

void PointCloudData::SetBounds(const Eigen::Vector3f& lo, const Eigen::Vector3f& hi)
{
    boundsMin = lo;
    boundsMax = hi;
    center = (boundsMin + boundsMax) * 0.5f;
    const float dx = hi.x() - lo.x();
    const float dy = hi.y() - lo.y();
    const float dz = hi.z() - lo.z();
    radius = std::sqrt(dy * dy + dz * dz + dx * dx) * 0.5f;
}
