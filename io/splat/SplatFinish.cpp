#include "io/splat/SplatFinish.h"

#include "io/splat/SplatActivation.h"
#include "platform/Log.h"
#include "platform/MemoryHints.h"
#include "platform/ThreadPool.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kSplatsPerRange = 32 * 1024;

std::size_t RangeCount(std::size_t count)
{
    return (count + kSplatsPerRange - 1) / kSplatsPerRange;
}

// The per-axis minimum as the PLY loader finds it: the first splat's position, replaced by
// every smaller value after it; a NaN never becomes the minimum, but a NaN in the first splat
// stays. Each range after the first starts from +inf so that its result is the smallest of its
// numbers, which then competes with the first range's minimum by the same rule.
Eigen::Vector3f PositionMinimum(const LargeArray<Eigen::Vector3f>& positions, ThreadPool* pool)
{
    const std::size_t ranges = RangeCount(positions.size());
    std::vector<Eigen::Vector3f> minima(ranges);
    ParallelFor(pool, ranges, [&](std::size_t r) {
        const std::size_t first = r * kSplatsPerRange;
        const std::size_t end = std::min(positions.size(), first + kSplatsPerRange);
        Eigen::Vector3f minimum = r == 0 ? positions[0] : Eigen::Vector3f::Constant(std::numeric_limits<float>::infinity());
        for (std::size_t i = first; i < end; ++i)
            for (int a = 0; a < 3; ++a)
                if (positions[i][a] < minimum[a])
                    minimum[a] = positions[i][a];
        minima[r] = minimum;
    });
    Eigen::Vector3f minimum = minima[0];
    for (std::size_t r = 1; r < ranges; ++r)
        for (int a = 0; a < 3; ++a)
            if (minima[r][a] < minimum[a])
                minimum[a] = minima[r][a];
    return minimum;
}

}  // namespace

void ForSplatRanges(ThreadPool* pool, std::size_t count, const std::function<void(std::size_t, std::size_t)>& task)
{
    ParallelFor(pool, RangeCount(count), [&](std::size_t r) {
        const std::size_t first = r * kSplatsPerRange;
        task(first, std::min(count, first + kSplatsPerRange));
    });
}

namespace {

// Sizes the array with its pages mapped in one go rather than faulted in one by one as the
// first writes (or a number array's zero fill) reach them.
template <typename T>
void SizeMapped(LargeArray<T>& array, std::size_t count)
{
    array.reserve(count);
    PrefaultForWriting(array.data(), count * sizeof(T));
    array.resize(count);
}

}  // namespace

void SizeSplatScene(GaussianData& data, std::size_t count, std::size_t restCount)
{
    data.Clear();
    SizeMapped(data.positions, count);
    SizeMapped(data.shDc, count);
    SizeMapped(data.shRest, count * restCount);
    SizeMapped(data.opacities, count);
    SizeMapped(data.scales, count);
    SizeMapped(data.rotations, count);
}

void FinishSplatScene(GaussianData& data, std::size_t restCount, ThreadPool* pool)
{
    const std::size_t count = data.positions.size();
    data.shRestCount = static_cast<std::int32_t>(restCount);
    data.shDegree = ShDegreeForRestCount(data.shRestCount);
    data.hasObjectIds = false;
    if (count == 0)
        return;
    const Eigen::Vector3f minimum = PositionMinimum(data.positions, pool);
    data.origin = minimum.cast<double>();
    const Eigen::Vector3d origin = data.origin;
    ForSplatRanges(pool, count, [&](std::size_t first, std::size_t end) {
        for (std::size_t i = first; i < end; ++i) {
            Eigen::Vector3f& p = data.positions[i];
            for (int a = 0; a < 3; ++a)
                p[a] = static_cast<float>(static_cast<double>(p[a]) - origin[a]);
            data.opacities[i] = SplatOpacityFromLogit(data.opacities[i]);
            for (float& s : data.scales[i])
                s = SplatScaleFromLog(s);
            NormaliseSplatRotation(data.rotations[i]);
        }
    });
    data.ComputeBounds();
}

void LogLoadedSplats(std::string_view tag, const GaussianData& data)
{
    Log(LogLevel::Info, tag, "SH degree: " + std::to_string(data.shDegree));
    Log(LogLevel::Info, tag, "Loaded " + std::to_string(data.positions.size()) + " gaussians.");
}
