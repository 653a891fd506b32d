#include "scene/GaussianData.h"

#include "platform/ThreadPool.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Lowers low and raises high to the box of splats [first, end) of data, each grown by its
// extent (or its centre alone where data has no shapes). The comparisons are strict, so a NaN
// never replaces a bound and of equal values the first stays: merging the boxes of
// consecutive ranges in order gives what one pass over them all gives.
void GrowBoundsBySplats(const GaussianData& data, std::size_t first, std::size_t end, Eigen::Vector3f& low,
                        Eigen::Vector3f& high)
{
    const bool hasShapes = data.scales.size() == data.positions.size() && data.rotations.size() == data.positions.size();
    constexpr std::size_t kBatch = 256;
    Eigen::Vector3f extents[kBatch];
    for (std::size_t batch = first; batch < end; batch += kBatch) {
        const std::size_t count = std::min(kBatch, end - batch);
        if (hasShapes)
            SplatExtents(data.scales.data() + batch, data.rotations.data() + batch, count, extents);
        else
            std::fill_n(extents, count, Eigen::Vector3f::Zero());
        for (std::size_t k = 0; k < count; ++k) {
            const Eigen::Vector3f& centre = data.positions[batch + k];
            const Eigen::Vector3f lowest = centre - extents[k];
            const Eigen::Vector3f highest = centre + extents[k];
            for (int axis = 0; axis < 3; ++axis) {
                if (lowest[axis] < low[axis])
                    low[axis] = lowest[axis];
                if (highest[axis] > high[axis])
                    high[axis] = highest[axis];
            }
        }
    }
}

}  // namespace

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

void GaussianData::ComputeBounds(ThreadPool* pool, const RangeTask& prepareRange)
{
    if (positions.empty())
        return;
    // The first range starts from the first centre, as one pass does; the others from an
    // empty box, merged in order.
    constexpr std::size_t kSplatsPerRange = 32 * 1024;
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    const std::size_t ranges = (positions.size() + kSplatsPerRange - 1) / kSplatsPerRange;
    std::vector<Eigen::Vector3f> lows(ranges, Eigen::Vector3f::Constant(kInfinity));
    std::vector<Eigen::Vector3f> highs(ranges, Eigen::Vector3f::Constant(-kInfinity));
    ParallelFor(pool, ranges, [&](std::size_t r) {
        const std::size_t first = r * kSplatsPerRange;
        const std::size_t end = std::min(positions.size(), first + kSplatsPerRange);
        if (prepareRange)
            prepareRange(first, end);
        if (r == 0)
            lows[0] = highs[0] = positions.front();
        GrowBoundsBySplats(*this, first, end, lows[r], highs[r]);
    });
    Eigen::Vector3f lo = lows[0];
    Eigen::Vector3f hi = highs[0];
    for (std::size_t r = 1; r < ranges; ++r) {
        for (int axis = 0; axis < 3; ++axis) {
            if (lows[r][axis] < lo[axis])
                lo[axis] = lows[r][axis];
            if (highs[r][axis] > hi[axis])
                hi[axis] = highs[r][axis];
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
