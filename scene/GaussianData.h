#pragma once

#include "platform/LargeAllocation.h"
#include "scene/SceneBounds.h"

#include <Eigen/Core>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class ThreadPool;

// One loaded 3D Gaussian Splatting scene. Positions are single-precision offsets from a
// double-precision origin, like PointCloudData.
struct GaussianData : SceneBounds {
    LargeArray<Eigen::Vector3f> positions;
    LargeArray<Eigen::Vector3f> shDc;       // degree-0 SH coefficient per channel (R, G, B)
    LargeArray<float> shRest;               // shRestCount values per splat, channel-major
    std::int32_t shRestCount = 0;
    std::int32_t shDegree = 0;
    LargeArray<float> opacities;            // already through the logistic function
    LargeArray<Eigen::Vector3f> scales;     // standard deviations along the local axes
    LargeArray<Eigen::Vector4f> rotations;  // unit quaternion stored as (w, x, y, z)
    LargeArray<std::uint32_t> objectIds;    // segment id per splat, 0 = no segment
    bool hasObjectIds = false;

    void Clear();
    // Recomputes bounds, centre and radius from the splat centres grown by each splat's
    // extent, over the pool when there is one (the same result either way); does nothing
    // when there are no splats. Where given, prepareRange(first, end) runs on each range of
    // splats just before that range is measured, so that a loader can finish the range's
    // values while they are in cache.
    using RangeTask = std::function<void(std::size_t first, std::size_t end)>;
    void ComputeBounds(ThreadPool* pool = nullptr, const RangeTask& prepareRange = {});
    // Sets bounds, centre and radius from the box that holds every splat.
    void SetBounds(const Eigen::Vector3f& low, const Eigen::Vector3f& high);
};

// How far a splat reaches, in standard deviations, for bounds and for the on-screen
// footprint alike: sqrt(8) rounded to float.
inline constexpr float kSplatExtentSigmas = 2.828427f;

// Per-axis half size of the box that holds a splat out to kSplatExtentSigmas standard
// deviations. Zero for a splat whose shape cannot be trusted (non-finite or degenerate
// rotation, non-finite scale, or a covariance that overflows).
Eigen::Vector3f SplatExtent(const Eigen::Vector3f& scale, const Eigen::Vector4f& rotation);

// SplatExtent of count splats, bit for bit, several at a time.
void SplatExtents(const Eigen::Vector3f* scales, const Eigen::Vector4f* rotations, std::size_t count,
                  Eigen::Vector3f* extents);

// Rotation matrix of a unit quaternion stored as (w, x, y, z), w being the scalar part.
Eigen::Matrix3f RotationMatrixFromQuaternion(const Eigen::Vector4f& wxyz);

// SH degree shown for a splat with restCount higher-order coefficients (three channels):
// 9 -> 1, 24 -> 2, 45 -> 3 (by integer division), anything else -> 0.
std::int32_t ShDegreeForRestCount(std::int32_t restCount);

static_assert(sizeof(Eigen::Vector3f) == 12, "splat vectors must be tightly packed");
static_assert(sizeof(Eigen::Vector4f) == 16, "rotations must be tightly packed");
