#include "convert/TopCells.h"

#include "convert/PointBuckets.h"

#include <algorithm>

namespace octree {

std::uint64_t CellLimit(std::uint32_t maxNodePoints)
{
    const std::uint64_t nodes = std::max<std::uint64_t>(maxNodePoints, 1);
    return std::max(nodes, std::min<std::uint64_t>(16 * nodes, std::uint64_t{1} << 20));
}

std::vector<Cell> PartitionCells(const std::vector<std::uint64_t>& bucketCounts, std::uint64_t limit)
{
    std::vector<std::uint64_t> before(bucketCounts.size() + 1, 0);
    for (std::size_t b = 0; b < bucketCounts.size(); ++b)
        before[b + 1] = before[b] + bucketCounts[b];
    std::vector<Cell> cells;
    std::vector<Cell> stack{{0, 0, 0, bucketCounts.size(), before.back()}};
    while (!stack.empty()) {
        const Cell cell = stack.back();
        stack.pop_back();
        if (cell.points == 0)
            continue;
        if (cell.points <= limit || cell.level == kBucketLevel) {
            cells.push_back(cell);
            continue;
        }
        const std::size_t childBuckets = (cell.endBucket - cell.firstBucket) / 8;
        for (int child = 7; child >= 0; --child) {
            Cell c;
            c.level = cell.level + 1;
            c.cell = cell.cell * 8 + static_cast<std::uint64_t>(child);
            c.firstBucket = cell.firstBucket + static_cast<std::size_t>(child) * childBuckets;
            c.endBucket = c.firstBucket + childBuckets;
            c.points = before[c.endBucket] - before[c.firstBucket];
            stack.push_back(c);
        }
    }
    return cells;
}

}  // namespace octree
