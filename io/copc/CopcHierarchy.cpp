#include "io/copc/CopcHierarchy.h"

#include "io/core/LittleEndian.h"
#include "io/core/ReadOnlyFile.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <unordered_set>

namespace {

constexpr std::size_t kEntrySize = 32;
constexpr std::size_t kEvlrHeaderSize = 60;

struct ByteRange {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
    bool Holds(std::uint64_t offset, std::uint64_t size) const
    {
        return offset >= begin && offset <= end && size <= end - offset;
    }
};

std::string Text(const CopcKey& key)
{
    return std::to_string(key.level) + "-" + std::to_string(key.x) + "-" + std::to_string(key.y) + "-" +
           std::to_string(key.z);
}

struct KeyHash {
    std::size_t operator()(const CopcKey& key) const
    {
        std::uint64_t h = static_cast<std::uint32_t>(key.level);
        for (const std::int32_t v : {key.x, key.y, key.z})
            h = h * 0x9E3779B97F4A7C15ULL + static_cast<std::uint32_t>(v);
        return static_cast<std::size_t>(h ^ (h >> 29));
    }
};

// Where the hierarchy EVLR's data lies, if the file has one.
std::optional<ByteRange> FindHierarchyEvlr(const ReadOnlyFile& file, const CopcLasHeader& header)
{
    std::uint64_t at = header.firstEvlrOffset;
    for (std::uint32_t i = 0; i < header.evlrCount && at >= header.pointDataOffset; ++i) {
        std::uint8_t bytes[kEvlrHeaderSize];
        if (at > header.fileSize || header.fileSize - at < kEvlrHeaderSize || !file.ReadAt(at, bytes, sizeof bytes))
            return std::nullopt;
        const auto length = LoadLE<std::uint64_t>(bytes + 20);
        const std::uint64_t dataAt = at + kEvlrHeaderSize;
        if (length > header.fileSize - dataAt)
            return std::nullopt;
        if (std::memcmp(bytes + 2, "copc", 5) == 0 && LoadLE<std::uint16_t>(bytes + 18) == 1000)
            return ByteRange{dataAt, dataAt + length};
        at = dataAt + length;
    }
    return std::nullopt;
}

// Reads the pages breadth first. Pages may not overlap one another, so no byte of the
// hierarchy is read twice: cycles and pages pointing at themselves end there, and the work is
// bounded by the hierarchy's size.
class PageWalker {
public:
    PageWalker(const ReadOnlyFile& file, const ReadOptions& options, CopcHierarchy& hierarchy, ByteRange evlr,
               ByteRange chunks)
        : m_file(file), m_options(options), m_hierarchy(hierarchy), m_evlr(evlr), m_chunks(chunks)
    {
    }

    std::optional<ReadFailure> Walk()
    {
        const CopcInfo& info = m_hierarchy.info;
        if (info.rootPageSize == 0 || info.rootPageSize % kEntrySize != 0 ||
            !m_evlr.Holds(info.rootPageOffset, info.rootPageSize))
            return Fail(ReadError::Malformed, "COPC: the root hierarchy page (" + std::to_string(info.rootPageSize) +
                                                  " bytes at " + std::to_string(info.rootPageOffset) +
                                                  ") is not whole entries inside the hierarchy EVLR");
        m_pages.push_back({info.rootPageOffset, info.rootPageOffset + info.rootPageSize});
        m_read.emplace(info.rootPageOffset, info.rootPageOffset + info.rootPageSize);
        std::uint64_t bytesRead = 0;
        std::vector<std::uint8_t> page;
        while (!m_pages.empty()) {
            const ByteRange range = m_pages.front();
            m_pages.pop_front();
            page.resize(range.end - range.begin);
            if (!m_file.ReadAt(range.begin, page.data(), page.size()))
                return Fail(ReadError::Truncated, "COPC: the hierarchy page at " + std::to_string(range.begin) +
                                                      " cannot be read");
            ++m_hierarchy.pageCount;
            for (std::size_t at = 0; at < page.size(); at += kEntrySize)
                Entry(page.data() + at);
            bytesRead += page.size();
            if (!ReportProgress(m_options, double(bytesRead) / double(m_evlr.end - m_evlr.begin)))
                return Fail(ReadError::Cancelled, "COPC: reading the hierarchy was cancelled");
        }
        if (!ReportProgress(m_options, 1.0))
            return Fail(ReadError::Cancelled, "COPC: reading the hierarchy was cancelled");
        return std::nullopt;
    }

private:
    void Skip(std::string reason)
    {
        ++m_hierarchy.skippedCount;
        if (m_hierarchy.skipped.size() < kCopcKeptReasons)
            m_hierarchy.skipped.push_back("COPC: " + std::move(reason));
    }

    void Entry(const std::uint8_t* bytes)
    {
        const CopcKey key{LoadLE<std::int32_t>(bytes), LoadLE<std::int32_t>(bytes + 4), LoadLE<std::int32_t>(bytes + 8),
                          LoadLE<std::int32_t>(bytes + 12)};
        const auto offset = LoadLE<std::uint64_t>(bytes + 16);
        const auto byteSize = LoadLE<std::int32_t>(bytes + 24);
        const auto pointCount = LoadLE<std::int32_t>(bytes + 28);
        if (key.level < 0 || key.level >= kCopcMaxLevels)
            return Skip("node " + Text(key) + " is not within the " + std::to_string(kCopcMaxLevels) + " levels read");
        const std::int64_t cells = std::int64_t{1} << key.level;
        if (key.x < 0 || key.y < 0 || key.z < 0 || key.x >= cells || key.y >= cells || key.z >= cells)
            return Skip("node " + Text(key) + " lies outside its level's cells");
        if (pointCount == -1)
            return ChildPage(key, offset, byteSize);
        if (pointCount < -1 || byteSize < 0)
            return Skip("node " + Text(key) + " has a negative point count or size");
        if (!m_keys.insert(key).second)
            return Skip("node " + Text(key) + " is listed twice");
        CopcNode node{key, offset, static_cast<std::uint32_t>(byteSize), static_cast<std::uint32_t>(pointCount)};
        if (pointCount > 0) {
            if (byteSize == 0 || !m_chunks.Holds(offset, static_cast<std::uint64_t>(byteSize)))
                return Skip("node " + Text(key) + "'s chunk (" + std::to_string(byteSize) + " bytes at " +
                            std::to_string(offset) + ") is not inside the point data");
            // A LAZ chunk opens with its first point stored whole.
            if (static_cast<std::uint32_t>(byteSize) < m_hierarchy.header.recordLength)
                return Skip("node " + Text(key) + "'s chunk of " + std::to_string(byteSize) +
                            " bytes is smaller than one point record");
            if (static_cast<std::uint64_t>(pointCount) > m_hierarchy.header.pointCount - m_hierarchy.nodePoints)
                return Skip("node " + Text(key) + " holds " + std::to_string(pointCount) +
                            " points, more than the header's " + std::to_string(m_hierarchy.header.pointCount) +
                            " leave");
            m_hierarchy.nodePoints += static_cast<std::uint64_t>(pointCount);
        } else {
            node.chunkOffset = 0;
            node.chunkSize = 0;
        }
        m_hierarchy.nodes.push_back(node);
    }

    void ChildPage(const CopcKey& key, std::uint64_t offset, std::int32_t byteSize)
    {
        const std::uint64_t size = byteSize < 0 ? 0 : static_cast<std::uint64_t>(byteSize);
        if (size == 0 || size % kEntrySize != 0 || !m_evlr.Holds(offset, size))
            return Skip("the page of node " + Text(key) + " (" + std::to_string(byteSize) + " bytes at " +
                        std::to_string(offset) + ") is not whole entries inside the hierarchy EVLR");
        // The first page read that ends after this one begins must begin at or after its end.
        const auto next = m_read.upper_bound(offset);
        const bool overlapsNext = next != m_read.end() && next->first < offset + size;
        const bool overlapsPrevious = next != m_read.begin() && std::prev(next)->second > offset;
        if (overlapsNext || overlapsPrevious)
            return Skip("the page of node " + Text(key) + " at " + std::to_string(offset) +
                        " overlaps a page already read");
        m_read.emplace(offset, offset + size);
        m_pages.push_back({offset, offset + size});
    }

    const ReadOnlyFile& m_file;
    const ReadOptions& m_options;
    CopcHierarchy& m_hierarchy;
    ByteRange m_evlr;
    ByteRange m_chunks;
    std::deque<ByteRange> m_pages;
    std::map<std::uint64_t, std::uint64_t> m_read;  // begin to end of every page taken
    std::unordered_set<CopcKey, KeyHash> m_keys;
};

// Keeps the nodes whose parents are there (the root's parent is the file), parents first.
void KeepRootedNodes(CopcHierarchy& hierarchy, std::vector<std::string>& reasons)
{
    auto& nodes = hierarchy.nodes;
    std::stable_sort(nodes.begin(), nodes.end(),
                     [](const CopcNode& a, const CopcNode& b) { return a.key.level < b.key.level; });
    std::unordered_set<CopcKey, KeyHash> kept;
    std::vector<CopcNode> rooted;
    hierarchy.nodePoints = 0;
    for (const CopcNode& node : nodes) {
        if (node.key.level > 0 && !kept.contains(node.key.Parent())) {
            reasons.push_back("COPC: node " + Text(node.key) + " has no parent in the hierarchy");
            continue;
        }
        kept.insert(node.key);
        rooted.push_back(node);
        hierarchy.nodePoints += node.pointCount;
        hierarchy.depth = std::max(hierarchy.depth, node.key.level + 1);
    }
    nodes.swap(rooted);
}

// Node chunks may not share bytes: of two that do, the later in the hierarchy goes.
void DropOverlappingChunks(CopcHierarchy& hierarchy, std::vector<std::string>& reasons)
{
    std::map<std::uint64_t, std::uint64_t> taken;
    std::vector<CopcNode> kept;
    for (const CopcNode& node : hierarchy.nodes) {
        if (node.pointCount > 0) {
            const std::uint64_t end = node.chunkOffset + node.chunkSize;
            const auto next = taken.upper_bound(node.chunkOffset);
            if ((next != taken.end() && next->first < end) ||
                (next != taken.begin() && std::prev(next)->second > node.chunkOffset)) {
                reasons.push_back("COPC: node " + Text(node.key) + "'s chunk overlaps another node's");
                continue;
            }
            taken.emplace(node.chunkOffset, end);
        }
        kept.push_back(node);
    }
    hierarchy.nodes.swap(kept);
}

}  // namespace

ReadResult<CopcHierarchy> ReadCopcHierarchy(const std::string& path, const ReadOptions& options)
{
    const ReadOnlyFile file(path);
    auto prefix = ReadCopcPrefix(file);
    if (!prefix)
        return prefix.Failure();
    CopcHierarchy hierarchy;
    hierarchy.header = prefix.Value().header;
    hierarchy.info = prefix.Value().info;
    const CopcLasHeader& header = hierarchy.header;

    const auto evlr = FindHierarchyEvlr(file, header);
    if (!evlr)
        return Fail(ReadError::Malformed, "COPC: no hierarchy EVLR (copc, record 1000) lies whole inside the file");
    // Chunks lie between the chunk table offset that opens the point data and the EVLRs.
    const std::uint64_t pointDataEnd =
        header.firstEvlrOffset > header.pointDataOffset ? std::min(header.firstEvlrOffset, header.fileSize) : header.fileSize;
    const ByteRange chunks{std::uint64_t{header.pointDataOffset} + 8, std::max<std::uint64_t>(pointDataEnd, header.pointDataOffset + 8)};

    PageWalker walker(file, options, hierarchy, *evlr, chunks);
    if (auto failure = walker.Walk())
        return *failure;
    std::vector<std::string> reasons;
    DropOverlappingChunks(hierarchy, reasons);
    KeepRootedNodes(hierarchy, reasons);
    for (std::string& reason : reasons) {
        ++hierarchy.skippedCount;
        if (hierarchy.skipped.size() < kCopcKeptReasons)
            hierarchy.skipped.push_back(std::move(reason));
    }
    if (hierarchy.nodes.empty())
        return Fail(ReadError::Malformed, "COPC: the hierarchy holds no root node");
    return hierarchy;
}
