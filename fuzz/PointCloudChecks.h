#pragma once

#include "scene/PointCloudData.h"

// A loaded cloud's per-point arrays are each empty or one entry per position.
inline bool ArraysMatchPositions(const PointCloudData& cloud)
{
    const std::size_t n = cloud.positions.size();
    const auto fits = [n](std::size_t size) { return size == 0 || size == n; };
    return (!cloud.hasColors || cloud.colors.size() == n) && fits(cloud.intensity.size())
        && fits(cloud.classification.size()) && fits(cloud.returnNumber.size()) && fits(cloud.numberOfReturns.size());
}
