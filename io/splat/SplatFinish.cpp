#include "io/splat/SplatFinish.h"

#include "io/splat/SplatActivation.h"
#include "io/splat/SplatShared.h"
#include "platform/ThreadPool.h"

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kSplatsPerRange = 32 * 1024;

std::size_t RangeCount(std::size_t count)
{
    return (count + kSplatsPerRange - 1) / kSplatsPerRange;
}

// Lowers minimum[a] to every smaller value[a]; strict, so that a NaN never becomes the
// minimum (and one already there stays).
void Lower(Eigen::Vector3f& minimum, const Eigen::Vector3f& value)
{
    for (int a = 0; a < 3; ++a)
        if (value[a] < minimum[a])
            minimum[a] = value[a];
}

// A range's smallest position, or the first range's running minimum as the PLY reader keeps
// it: its first splat's position, lowered by every smaller value after it. Later ranges start
// from +inf so that merging them in order by the same rule gives the serial result.
Eigen::Vector3f RangeMinimum(const Eigen::Vector3f* positions, std::size_t first, std::size_t end)
{
    Eigen::Vector3f minimum =
        first == 0 ? positions[0] : Eigen::Vector3f::Constant(std::numeric_limits<float>::infinity());
    for (std::size_t i = first; i < end; ++i)
        Lower(minimum, positions[i]);
    return minimum;
}

// Moves a range's positions relative to origin, rounding as subtracting before narrowing does.
void MoveRange(GaussianData& data, const Eigen::Vector3d& origin, std::size_t first, std::size_t end)
{
    Eigen::Vector3f* positions = data.positions.data();
    for (std::size_t i = first; i < end; ++i)
        for (int a = 0; a < 3; ++a)
            positions[i][a] = static_cast<float>(static_cast<double>(positions[i][a]) - origin[a]);
}

}  // namespace

void ForSplatRanges(ThreadPool* pool, std::size_t count, const std::function<void(std::size_t, std::size_t)>& task)
{
    ParallelFor(pool, RangeCount(count), [&](std::size_t r) {
        const std::size_t first = r * kSplatsPerRange;
        task(first, std::min(count, first + kSplatsPerRange));
    });
}

// LargeArray's blocks come populated for writing: sizing maps every page once.
void SizeSplatShRest(GaussianData& data, std::size_t count, std::size_t restCount)
{
    data.shRest.resize(count * restCount);
}

void SizeSplatAttributes(GaussianData& data, std::size_t count)
{
    data.positions.resize(count);
    data.shDc.resize(count);
    data.opacities.resize(count);
    data.scales.resize(count);
    data.rotations.resize(count);
}

void SizeSplatScene(GaussianData& data, std::size_t count, std::size_t restCount)
{
    data.Clear();
    SizeSplatShRest(data, count, restCount);
    SizeSplatAttributes(data, count);
}

void DecodeSplatScene(GaussianData& data, std::size_t restCount, ThreadPool* pool, const SplatRangeDecoder& decode)
{
    const std::size_t count = data.positions.size();
    data.shRestCount = static_cast<std::int32_t>(restCount);
    data.shDegree = ShDegreeForRestCount(data.shRestCount);
    data.hasObjectIds = false;
    if (count == 0)
        return;

    std::vector<Eigen::Vector3f> minima(RangeCount(count));
    ForSplatRanges(pool, count, [&](std::size_t first, std::size_t end) {
        decode(first, end);
        minima[first / kSplatsPerRange] = RangeMinimum(data.positions.data(), first, end);
    });
    Eigen::Vector3f minimum = minima[0];
    for (std::size_t r = 1; r < minima.size(); ++r)
        Lower(minimum, minima[r]);
    data.origin = minimum.cast<double>();

    data.ComputeBounds(pool, [&](std::size_t first, std::size_t end) { MoveRange(data, data.origin, first, end); });
}

std::array<float, 256> OpacityOfAlphaByte()
{
    std::array<float, 256> table;
    for (int b = 0; b < 256; ++b)
        table[b] = SplatOpacityFromLogit(OpacityLogit(static_cast<float>(b) / 255.0f));
    return table;
}

ReadResult<GaussianData> SplatsRead(std::string_view tag, GaussianData data, ReadNotes notes)
{
    notes.push_back({NoteLevel::Info, std::string(tag), "SH degree: " + std::to_string(data.shDegree)});
    notes.push_back({NoteLevel::Info, std::string(tag), "Loaded " + std::to_string(data.positions.size()) + " gaussians."});
    ReadResult<GaussianData> result(std::move(data));
    result.AddNotes(std::move(notes));
    return result;
}
