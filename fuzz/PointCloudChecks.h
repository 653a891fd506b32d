#pragma once

#include "scene/PointCloudData.h"

#include <cstring>

// A loaded cloud's per-point arrays are each empty or one entry per position.
inline bool ArraysMatchPositions(const PointCloudData& cloud)
{
    const std::size_t n = cloud.positions.size();
    const auto fits = [n](std::size_t size) { return size == 0 || size == n; };
    return (!cloud.hasColors || cloud.colors.size() == n) && fits(cloud.intensity.size())
        && fits(cloud.classification.size()) && fits(cloud.returnNumber.size()) && fits(cloud.numberOfReturns.size());
}

// A loaded cloud's bounds are, bit for bit, those its positions give.
inline bool BoundsMatchPositions(const PointCloudData& cloud)
{
    PointCloudData recomputed;
    recomputed.positions = cloud.positions;
    recomputed.ComputeBounds();
    const auto same = [](const auto& a, const auto& b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    return cloud.positions.empty() ||
           (same(cloud.boundsMin, recomputed.boundsMin) && same(cloud.boundsMax, recomputed.boundsMax) &&
            same(cloud.center, recomputed.center) && same(cloud.radius, recomputed.radius));
}
