#include "render/PointOctree.h"

#include "platform/ThreadPool.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cmath>
#include <limits>
#include <utility>

// The build in outline: every point gets the Morton code of its cell at the finest level, the
// points are sorted by it, and then the cell of every node at every depth is one run of the
// sorted array. A node at depth d takes the first point not yet taken from each of its grid
// cells (the runs at level d + gridLevels); which depth takes a point follows from the run
// starts alone (see AssignDepths), so the depths are computed in one parallel pass, and a
// stable counting sort by depth puts the points into node order.

namespace {

constexpr std::size_t kBlock = std::size_t{1} << 16;
constexpr std::uint32_t kCellsPerAxis = std::uint32_t{1} << kOctreeCodeLevels;

std::uint64_t SpreadBits(std::uint64_t v)
{
    v &= 0x1fffff;
    v = (v | v << 32) & 0x1f00000000ffffULL;
    v = (v | v << 16) & 0x1f0000ff0000ffULL;
    v = (v | v << 8) & 0x100f00f00f00f00fULL;
    v = (v | v << 4) & 0x10c30c30c30c30c3ULL;
    v = (v | v << 2) & 0x1249249249249249ULL;
    return v;
}

std::uint32_t CompactBits(std::uint64_t v)
{
    v &= 0x1249249249249249ULL;
    v = (v ^ (v >> 2)) & 0x10c30c30c30c30c3ULL;
    v = (v ^ (v >> 4)) & 0x100f00f00f00f00fULL;
    v = (v ^ (v >> 8)) & 0x1f0000ff0000ffULL;
    v = (v ^ (v >> 16)) & 0x1f00000000ffffULL;
    v = (v ^ (v >> 32)) & 0x1fffffULL;
    return static_cast<std::uint32_t>(v);
}

int ShiftForLevel(int level)
{
    return 3 * (kOctreeCodeLevels - level);
}

std::size_t BlockCount(std::size_t count)
{
    return (count + kBlock - 1) / kBlock;
}

// In double precision: 2^21 cells need more bits than a float's difference of coordinates keeps.
struct Quantizer {
    Eigen::Vector3f minimum;
    float side = 1;
    double scale = 1;

    std::uint64_t Code(const Eigen::Vector3f& p) const
    {
        std::uint64_t code = 0;
        for (int axis = 0; axis < 3; ++axis) {
            const double cell = (double(p[axis]) - double(minimum[axis])) * scale;
            // Not-a-number and the far faces fall into the nearest cell.
            const std::uint32_t q = cell >= 0 ? static_cast<std::uint32_t>(std::min(cell, double(kCellsPerAxis - 1))) : 0;
            code |= SpreadBits(q) << axis;
        }
        return code;
    }
};

Eigen::AlignedBox3f FiniteBounds(std::span<const Eigen::Vector3f> positions, ThreadPool* pool)
{
    std::vector<Eigen::AlignedBox3f> partial(BlockCount(positions.size()));
    ParallelFor(pool, partial.size(), [&](std::size_t block) {
        Eigen::AlignedBox3f box;
        const std::size_t end = std::min(positions.size(), (block + 1) * kBlock);
        for (std::size_t i = block * kBlock; i < end; ++i)
            if (positions[i].allFinite())
                box.extend(positions[i]);
        partial[block] = box;
    });
    Eigen::AlignedBox3f bounds;
    for (const auto& box : partial)
        if (!box.isEmpty())
            bounds.extend(box);
    if (bounds.isEmpty())
        bounds = Eigen::AlignedBox3f(Eigen::Vector3f::Zero(), Eigen::Vector3f::Zero());
    return bounds;
}

Quantizer MakeQuantizer(const Eigen::AlignedBox3f& bounds)
{
    Quantizer q;
    q.minimum = bounds.min();
    q.side = bounds.sizes().maxCoeff();
    if (!(q.side > 0) || !std::isfinite(q.side))
        q.side = 1;
    q.scale = double(kCellsPerAxis) / double(q.side);
    return q;
}

// Packed to 12 bytes: the sorted array is the build's largest buffer.
#pragma pack(push, 4)
struct CodedPoint {
    std::uint64_t code = 0;
    std::uint32_t index = 0;
    bool operator<(const CodedPoint& other) const
    {
        return code < other.code || (code == other.code && index < other.index);
    }
};
#pragma pack(pop)
static_assert(sizeof(CodedPoint) == 12);

// Sorts a range by code, two levels (six bits) at a time from the bit at shift down, leaving
// small ranges to std::sort.
void SortRange(CodedPoint* first, CodedPoint* last, int shift, std::vector<CodedPoint>& scratch)
{
    constexpr std::size_t kSmall = 48;
    const auto size = static_cast<std::size_t>(last - first);
    if (size <= kSmall || shift < 0) {
        std::sort(first, last);
        return;
    }
    std::array<std::size_t, 65> start{};
    for (const CodedPoint* p = first; p != last; ++p)
        ++start[((p->code >> shift) & 63) + 1];
    if (std::find(start.begin(), start.end(), size) != start.end())
        return SortRange(first, last, shift - 6, scratch);  // all in one bucket
    for (std::size_t b = 1; b < start.size(); ++b)
        start[b] += start[b - 1];
    scratch.resize(size);
    std::array<std::size_t, 64> next;
    std::copy(start.begin(), start.end() - 1, next.begin());
    for (const CodedPoint* p = first; p != last; ++p)
        scratch[next[(p->code >> shift) & 63]++] = *p;
    std::copy(scratch.begin(), scratch.begin() + static_cast<std::ptrdiff_t>(size), first);
    for (std::size_t b = 0; b < 64; ++b)
        SortRange(first + start[b], first + start[b + 1], shift - 6, scratch);
}

// The points sorted by their codes (equal codes by index, so the result never depends on the
// threads). A parallel counting sort by the top four levels puts every point into its bucket,
// each block of points writing to its own slots, then every bucket is sorted on its own.
std::vector<CodedPoint> SortByCode(std::span<const Eigen::Vector3f> positions, const Quantizer& quantizer,
                                   const CancellationToken& cancel, ThreadPool* pool)
{
    constexpr int kBucketShift = 3 * (kOctreeCodeLevels - 4);
    constexpr std::size_t kBuckets = std::size_t{1} << 12;
    const std::size_t count = positions.size();
    const std::size_t blocks = BlockCount(count);
    std::vector<std::uint32_t> slots(blocks * kBuckets, 0);  // per block: counts, then first slots
    ParallelFor(pool, blocks, [&](std::size_t block) {
        std::uint32_t* counts = &slots[block * kBuckets];
        const std::size_t end = std::min(count, (block + 1) * kBlock);
        for (std::size_t i = block * kBlock; i < end; ++i)
            ++counts[quantizer.Code(positions[i]) >> kBucketShift];
    });
    std::vector<std::size_t> bucketStart(kBuckets + 1, 0);
    std::uint32_t sum = 0;
    for (std::size_t bucket = 0; bucket < kBuckets; ++bucket) {
        bucketStart[bucket] = sum;
        for (std::size_t block = 0; block < blocks; ++block)
            sum += std::exchange(slots[block * kBuckets + bucket], sum);
    }
    bucketStart[kBuckets] = sum;
    if (cancel.IsCancelled())
        return {};

    std::vector<CodedPoint> sorted(count);
    ParallelFor(pool, blocks, [&](std::size_t block) {
        std::uint32_t* next = &slots[block * kBuckets];
        const std::size_t end = std::min(count, (block + 1) * kBlock);
        for (std::size_t i = block * kBlock; i < end; ++i) {
            const std::uint64_t code = quantizer.Code(positions[i]);
            sorted[next[code >> kBucketShift]++] = {code, static_cast<std::uint32_t>(i)};
        }
    });
    slots = {};
    if (cancel.IsCancelled())
        return {};
    ParallelFor(pool, kBuckets, [&](std::size_t bucket) {
        if (cancel.IsCancelled() || bucketStart[bucket + 1] - bucketStart[bucket] < 2)
            return;
        std::vector<CodedPoint> scratch;
        SortRange(sorted.data() + bucketStart[bucket], sorted.data() + bucketStart[bucket + 1], kBucketShift - 6, scratch);
    });
    return sorted;
}

// The depth of the node that takes each point of the sorted array. Within any run at a level
// at least d + gridLevels, the points taken before depth d are a prefix of the run (each
// coarser grid cell took the first of its points not yet taken). So the point depth d takes
// from the run of level d + gridLevels that holds point i is P(d) = max(start of that run,
// P(d - 1) + 1), with P(0) the start of the run at level gridLevels, and point i goes to the
// first depth with P(d) = i.
std::vector<std::uint8_t> AssignDepths(const std::vector<CodedPoint>& points, const OctreeBuildSettings& settings,
                                       const CancellationToken& cancel, ThreadPool* pool)
{
    const int g = settings.gridLevels;
    const int maxDepth = settings.maxDepth;
    std::vector<std::uint8_t> depths(points.size());
    const auto codeLess = [](const CodedPoint& point, std::uint64_t code) { return point.code < code; };
    ParallelFor(pool, BlockCount(points.size()), [&](std::size_t block) {
        if (cancel.IsCancelled())
            return;
        const std::size_t begin = block * kBlock;
        const std::size_t end = std::min(points.size(), begin + kBlock);
        // runStart[l]: where the run of level l that holds the current point starts.
        std::array<std::size_t, kOctreeCodeLevels + 1> runStart{};
        for (int level = g; level <= g + maxDepth; ++level) {
            const int shift = ShiftForLevel(level);
            const std::uint64_t cellFirstCode = (points[begin].code >> shift) << shift;
            runStart[level] = static_cast<std::size_t>(
                std::lower_bound(points.begin(), points.begin() + static_cast<std::ptrdiff_t>(begin) + 1,
                                 cellFirstCode, codeLess) -
                points.begin());
        }
        for (std::size_t i = begin; i < end; ++i) {
            if (i > begin) {
                const std::uint64_t difference = points[i].code ^ points[i - 1].code;
                if (difference != 0) {
                    const int sharedLevels = (std::countl_zero(difference) - 1) / 3;
                    for (int level = std::max(sharedLevels + 1, g); level <= g + maxDepth; ++level)
                        runStart[level] = i;
                }
            }
            std::size_t taken = runStart[g];
            int depth = 0;
            while (taken != i && depth < maxDepth) {
                ++depth;
                taken = std::max(runStart[g + depth], taken + 1);
            }
            depths[i] = static_cast<std::uint8_t>(depth);
        }
    });
    return depths;
}

struct PendingNode {
    std::uint64_t cell = 0;  // the code prefix of the node's cell at its depth
    std::uint32_t first = 0;
    std::uint32_t count = 0;
};

// Stable counting sort of the sorted points by depth, collecting each depth's nodes on the way.
std::vector<std::vector<PendingNode>> PlaceByDepth(const std::vector<CodedPoint>& points,
                                                   const std::vector<std::uint8_t>& depths, int maxDepth,
                                                   std::vector<std::uint32_t>& order)
{
    std::vector<std::uint32_t> cursor(static_cast<std::size_t>(maxDepth) + 1, 0);
    for (const std::uint8_t depth : depths)
        ++cursor[depth];
    std::uint32_t sum = 0;
    for (std::uint32_t& c : cursor)
        sum += std::exchange(c, sum);

    std::vector<std::vector<PendingNode>> nodes(cursor.size());
    order.resize(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        const std::uint8_t depth = depths[i];
        const std::uint32_t at = cursor[depth]++;
        order[at] = points[i].index;
        const std::uint64_t cell = points[i].code >> ShiftForLevel(depth);
        auto& level = nodes[depth];
        if (level.empty() || level.back().cell != cell)
            level.push_back({cell, at, 0});
        ++level.back().count;
    }
    return nodes;
}

std::vector<OctreeNode> LinkNodes(const std::vector<std::vector<PendingNode>>& byDepth, const Quantizer& quantizer)
{
    std::vector<OctreeNode> nodes;
    std::size_t total = 0;
    for (const auto& level : byDepth)
        total += level.size();
    nodes.reserve(total);
    std::size_t levelBase = 0;
    for (std::size_t depth = 0; depth < byDepth.size(); ++depth) {
        const float side = quantizer.side / float(std::uint64_t{1} << depth);
        const std::size_t childBase = levelBase + byDepth[depth].size();
        const std::vector<PendingNode> noChildren;
        const auto& children = depth + 1 < byDepth.size() ? byDepth[depth + 1] : noChildren;
        std::size_t child = 0;
        for (const PendingNode& pending : byDepth[depth]) {
            OctreeNode node;
            const Eigen::Vector3f cell(float(CompactBits(pending.cell)), float(CompactBits(pending.cell >> 1)),
                                       float(CompactBits(pending.cell >> 2)));
            const Eigen::Vector3f minimum = quantizer.minimum + cell * side;
            node.bounds = Eigen::AlignedBox3f(minimum, minimum + Eigen::Vector3f::Constant(side));
            node.first = pending.first;
            node.count = pending.count;
            node.depth = static_cast<std::uint8_t>(depth);
            // Children are sorted by cell like their parents, and every child's parent exists
            // (a child holds only points its parent's grid cells did not take).
            while (child < children.size() && (children[child].cell >> 3) < pending.cell)
                ++child;
            node.firstChild = static_cast<std::uint32_t>(childBase + child);
            while (child < children.size() && (children[child].cell >> 3) == pending.cell) {
                ++child;
                ++node.childCount;
            }
            nodes.push_back(node);
        }
        assert(child == children.size());
        levelBase = childBase;
    }
    return nodes;
}

}  // namespace

std::optional<PointOctree> BuildPointOctree(std::span<const Eigen::Vector3f> positions, const CancellationToken& cancel,
                                            ThreadPool* pool, const OctreeBuildSettings& settings)
{
    if (positions.size() >= std::numeric_limits<std::uint32_t>::max() || settings.gridLevels < 0 ||
        settings.maxDepth < 0 || settings.gridLevels + settings.maxDepth > kOctreeCodeLevels)
        return std::nullopt;

    PointOctree tree;
    tree.gridLevels = settings.gridLevels;
    tree.maxDepth = settings.maxDepth;
    const Eigen::AlignedBox3f bounds = FiniteBounds(positions, pool);
    const Quantizer quantizer = MakeQuantizer(bounds);
    tree.rootBounds = Eigen::AlignedBox3f(quantizer.minimum, quantizer.minimum + Eigen::Vector3f::Constant(quantizer.side));
    if (positions.empty())
        return tree;

    std::vector<CodedPoint> sorted = SortByCode(positions, quantizer, cancel, pool);
    if (cancel.IsCancelled())
        return std::nullopt;
    const std::vector<std::uint8_t> depths = AssignDepths(sorted, settings, cancel, pool);
    if (cancel.IsCancelled())
        return std::nullopt;
    const auto byDepth = PlaceByDepth(sorted, depths, settings.maxDepth, tree.order);
    sorted = {};
    if (cancel.IsCancelled())
        return std::nullopt;
    tree.nodes = LinkNodes(byDepth, quantizer);
    return tree;
}
