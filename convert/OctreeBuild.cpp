#include "convert/OctreeBuild.h"

#include "convert/OctreeKey.h"

#include <algorithm>
#include <array>
#include <bit>
#include <limits>

namespace octree {
namespace {

// The level at which two different keys fall in different cells.
int DivergenceLevel(std::uint64_t a, std::uint64_t b)
{
    const int highestBit = 63 - std::countl_zero(a ^ b);
    return kKeyLevels - highestBit / 3;
}

// The finest grid level, from `level` to level + kGridLevels, at which the candidates fill
// no more than maxNodePoints cells.
int GridLevel(std::span<const KeyedRow> rows, int level, std::span<const std::uint32_t> candidates,
              std::uint32_t maxNodePoints)
{
    const int finest = std::min(level + kGridLevels, kKeyLevels);
    std::array<std::size_t, kKeyLevels + 2> splitsAt{};
    for (std::size_t i = 1; i < candidates.size(); ++i) {
        const std::uint64_t a = rows[candidates[i - 1]].key, b = rows[candidates[i]].key;
        if (a != b)
            ++splitsAt[static_cast<std::size_t>(DivergenceLevel(a, b))];
    }
    std::size_t cells = 1;
    int chosen = level;
    for (int g = level + 1; g <= finest; ++g) {
        cells += splitsAt[static_cast<std::size_t>(g)];
        if (cells > maxNodePoints)
            break;
        chosen = g;
    }
    return chosen;
}

// Twice the distance, along one axis, from a finest-level cell's centre to the centre of the
// grid cell of `size` finest cells that holds it.
std::int64_t DoubledOffset(std::uint32_t cell, std::uint32_t size)
{
    return 2 * static_cast<std::int64_t>(cell & (size - 1)) + 1 - static_cast<std::int64_t>(size);
}

class SubtreeBuilder {
public:
    SubtreeBuilder(std::span<const KeyedRow> rows, std::uint32_t maxNodePoints)
        : m_rows(rows), m_maxNodePoints(maxNodePoints), m_takenBy(rows.size(), 0)
    {
    }

    std::size_t Build(int level, std::size_t begin, std::size_t end)
    {
        const std::size_t index = m_nodes.size();
        m_nodes.push_back({level, NodeOf(m_rows[begin].key, level), {}});
        if (level >= kKeyLevels || end - begin <= m_maxNodePoints) {
            auto& points = m_nodes[index].points;
            points.resize(end - begin);
            for (std::size_t i = 0; i < points.size(); ++i)
                points[i] = static_cast<std::uint32_t>(begin + i);
            return index;
        }
        std::vector<std::size_t> children;
        for (std::size_t at = begin; at < end;) {
            const std::uint64_t child = NodeOf(m_rows[at].key, level + 1);
            const auto stop = std::partition_point(m_rows.begin() + static_cast<std::ptrdiff_t>(at),
                                                   m_rows.begin() + static_cast<std::ptrdiff_t>(end),
                                                   [&](const KeyedRow& row) { return NodeOf(row.key, level + 1) == child; });
            const std::size_t next = static_cast<std::size_t>(stop - m_rows.begin());
            children.push_back(Build(level + 1, at, next));
            at = next;
        }
        Promote(index, level, children);
        return index;
    }

    std::vector<BuiltNode> TakeNodes() { return std::move(m_nodes); }

private:
    void Promote(std::size_t index, int level, const std::vector<std::size_t>& children)
    {
        std::vector<std::uint32_t> candidates;
        for (const std::size_t child : children)
            candidates.insert(candidates.end(), m_nodes[child].points.begin(), m_nodes[child].points.end());
        std::vector<std::uint32_t> picks;
        SampleNode(m_rows, level, candidates, m_maxNodePoints, picks);
        // Marked with the taker, so that the points a child took from its own children stay with it.
        const auto taker = static_cast<std::uint32_t>(index + 1);
        for (const std::uint32_t pick : picks)
            m_takenBy[pick] = taker;
        for (const std::size_t child : children)
            std::erase_if(m_nodes[child].points, [&](std::uint32_t point) { return m_takenBy[point] == taker; });
        m_nodes[index].points = std::move(picks);
    }

    std::span<const KeyedRow> m_rows;
    std::uint32_t m_maxNodePoints;
    std::vector<std::uint32_t> m_takenBy;  // 1 + the node that took the point last
    std::vector<BuiltNode> m_nodes;
};

}  // namespace

void SampleNode(std::span<const KeyedRow> rows, int level, std::span<const std::uint32_t> candidates,
                std::uint32_t maxNodePoints, std::vector<std::uint32_t>& picks)
{
    picks.clear();
    if (candidates.empty())
        return;
    const int grid = GridLevel(rows, level, candidates, std::max<std::uint32_t>(maxNodePoints, 1));
    const std::uint32_t cellSize = 1u << (kKeyLevels - grid);  // in finest cells
    std::size_t i = 0;
    while (i < candidates.size()) {
        const std::uint64_t gridCell = NodeOf(rows[candidates[i]].key, grid);
        std::uint32_t best = candidates[i];
        std::int64_t bestDistance = std::numeric_limits<std::int64_t>::max();
        for (; i < candidates.size() && NodeOf(rows[candidates[i]].key, grid) == gridCell; ++i) {
            const auto cell = Deinterleave(rows[candidates[i]].key);
            std::int64_t distance = 0;
            for (const std::uint32_t c : cell) {
                const std::int64_t d = DoubledOffset(c, cellSize);
                distance += d * d;
            }
            if (distance < bestDistance) {
                bestDistance = distance;
                best = candidates[i];
            }
        }
        picks.push_back(best);
    }
}

std::vector<BuiltNode> BuildSubtree(std::span<const KeyedRow> rows, int rootLevel, std::uint32_t maxNodePoints)
{
    if (rows.empty())
        return {};
    SubtreeBuilder builder(rows, std::max<std::uint32_t>(maxNodePoints, 1));
    builder.Build(rootLevel, 0, rows.size());
    return builder.TakeNodes();
}

}  // namespace octree
