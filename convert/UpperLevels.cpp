#include "convert/UpperLevels.h"

#include "convert/KeySort.h"
#include "convert/OctreeBuild.h"

#include <cstring>

namespace octree {

UpperLevels::UpperLevels(std::uint16_t recordLength, std::uint32_t maxNodePoints, NodeSink sink)
    : m_recordLength(recordLength), m_maxNodePoints(maxNodePoints), m_sink(std::move(sink))
{
}

bool UpperLevels::AddCellRoot(HeldPoints root)
{
    if (root.level == 0)  // the cloud is one cell
        return m_sink(0, 0, root.records.data(), root.keys.size());
    const auto ancestor = [&](int level) { return root.cell >> (3 * (root.level - level)); };
    while (!m_open.empty() && (m_open.back().level >= root.level || m_open.back().cell != ancestor(m_open.back().level)))
        if (!CloseDeepest())
            return false;
    for (int level = m_open.empty() ? 0 : m_open.back().level + 1; level < root.level; ++level)
        m_open.push_back({level, ancestor(level), {}});
    m_open.back().children.push_back(std::move(root));
    return true;
}

bool UpperLevels::Finish()
{
    while (!m_open.empty())
        if (!CloseDeepest())
            return false;
    return true;
}

bool UpperLevels::CloseDeepest()
{
    OpenNode node = std::move(m_open.back());
    m_open.pop_back();

    // The children's points side by side are in key order: children come in key order.
    std::vector<KeyedRow> rows;
    for (const HeldPoints& child : node.children)
        for (const std::uint64_t key : child.keys)
            rows.push_back({key, static_cast<std::uint32_t>(rows.size())});
    std::vector<std::uint32_t> candidates(rows.size());
    for (std::size_t i = 0; i < candidates.size(); ++i)
        candidates[i] = static_cast<std::uint32_t>(i);
    std::vector<std::uint32_t> picks;
    SampleNode(rows, node.level, candidates, m_maxNodePoints, picks);

    HeldPoints held{node.level, node.cell, {}, {}};
    held.keys.reserve(picks.size());
    held.records.reserve(picks.size() * m_recordLength);
    std::size_t first = 0;  // the child's first row
    auto pick = picks.begin();
    for (const HeldPoints& child : node.children) {
        m_gather.clear();
        for (std::size_t i = 0; i < child.keys.size(); ++i) {
            const unsigned char* record = child.records.data() + i * m_recordLength;
            if (pick != picks.end() && *pick == first + i) {
                held.keys.push_back(child.keys[i]);
                held.records.insert(held.records.end(), record, record + m_recordLength);
                ++pick;
            } else {
                m_gather.insert(m_gather.end(), record, record + m_recordLength);
            }
        }
        if (!m_sink(child.level, child.cell, m_gather.data(), m_gather.size() / m_recordLength))
            return false;
        first += child.keys.size();
    }
    if (m_open.empty())
        return m_sink(held.level, held.cell, held.records.data(), held.keys.size());
    m_open.back().children.push_back(std::move(held));
    return true;
}

}  // namespace octree
