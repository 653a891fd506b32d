#include "io/copc/CopcReader.h"

#include "io/copc/CopcHierarchy.h"
#include "io/core/ReadOnlyFile.h"
#include "io/las/LasRecords.h"
#include "io/laz/ChunkDecoder.h"
#include "io/laz/LazReader.h"
#include "scene/PointCloudData.h"
#include "scene/StreamedCloud.h"

#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <new>
#include <optional>

namespace {

// Real LAZ chunks hold far less than one point per compressed byte (the LAZ reader's bound);
// a node claiming more is not believed before anything is sized for it.
constexpr std::uint64_t kMaxPointsPerCompressedByte = 64;

// What decoding a node needs, shared by the worker threads (it is only read).
struct CopcSource {
    explicit CopcSource(const std::string& path) : file(path) {}
    ReadOnlyFile file;
    las::LasHeader header;
    laz::LazLayout layout;
    std::optional<std::size_t> colourOffset;
    float colourFactor = 1.0f;
    std::vector<CopcNode> chunks;  // in the cloud's node order
};

using KeyIndex = std::map<std::array<std::int32_t, 4>, std::size_t>;

std::array<std::int32_t, 4> Key(const CopcKey& key)
{
    return {key.level, key.x, key.y, key.z};
}

// The hierarchy's nodes breadth first with every node's children side by side, as the
// selection walks them, and each node's cell in the cloud's frame.
std::vector<StreamedNode> TreeOrder(const CopcHierarchy& hierarchy, const Eigen::Vector3d& origin,
                                    std::vector<CopcNode>& chunks)
{
    KeyIndex index;
    for (std::size_t i = 0; i < hierarchy.nodes.size(); ++i)
        index.emplace(Key(hierarchy.nodes[i].key), i);
    const Eigen::Vector3d rootMin =
        Eigen::Vector3d(hierarchy.info.center[0], hierarchy.info.center[1], hierarchy.info.center[2]).array() -
        hierarchy.info.halfSize;

    std::vector<StreamedNode> nodes;
    chunks.clear();
    const auto add = [&](std::size_t hierarchyIndex) {
        const CopcNode& copc = hierarchy.nodes[hierarchyIndex];
        const double size = 2.0 * hierarchy.info.halfSize / std::ldexp(1.0, copc.key.level);
        const Eigen::Vector3d min = rootMin + Eigen::Vector3d(copc.key.x, copc.key.y, copc.key.z) * size - origin;
        StreamedNode node;
        node.bounds = Eigen::AlignedBox3f(min.cast<float>(), (min.array() + size).matrix().cast<float>());
        node.pointCount = copc.pointCount;
        node.depth = static_cast<std::uint8_t>(copc.key.level);
        nodes.push_back(node);
        chunks.push_back(copc);
    };
    const auto root = index.find({0, 0, 0, 0});
    if (root == index.end())
        return nodes;
    add(root->second);
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const CopcKey key = chunks[i].key;
        nodes[i].firstChild = static_cast<std::uint32_t>(nodes.size());
        for (int child = 0; child < 8; ++child) {
            const CopcKey childKey{key.level + 1, 2 * key.x + (child & 1), 2 * key.y + ((child >> 1) & 1),
                                   2 * key.z + ((child >> 2) & 1)};
            if (const auto found = index.find(Key(childKey)); found != index.end()) {
                add(found->second);
                ++nodes[i].childCount;
            }
        }
    }
    return nodes;
}

// The node's raw point records, or why they cannot be had.
std::optional<std::string> DecodeRecords(const CopcSource& source, const CopcNode& node,
                                         std::vector<unsigned char>& records)
{
    if (node.pointCount > std::uint64_t{node.chunkSize} * kMaxPointsPerCompressedByte)
        return "its chunk of " + std::to_string(node.chunkSize) + " bytes cannot hold " +
               std::to_string(node.pointCount) + " points";
    std::vector<unsigned char> compressed(node.chunkSize);
    if (!source.file.ReadAt(node.chunkOffset, compressed.data(), compressed.size()))
        return "its chunk cannot be read";
    records.resize(std::size_t{node.pointCount} * source.header.recordLength);
    const laz::FieldMask fields = laz::kFieldXyz | (source.colourOffset ? laz::kFieldRgb : 0u);
    const laz::ChunkOutcome outcome = laz::DecodeChunk(source.layout, source.header.recordLength, fields, compressed.data(),
                                                       compressed.size(), node.pointCount, records.data());
    if (!outcome.ok)
        return "its chunk is damaged (" + outcome.reason + ")";
    return std::nullopt;
}

// Positions and raw colours; the largest channel seen.
std::uint16_t ConvertRecords(const CopcSource& source, const std::vector<unsigned char>& records, std::size_t count,
                             NodePoints& out)
{
    out.positions.resize(count);
    las::DecodePositions(records.data(), count, source.header, out.positions.data());
    if (!source.colourOffset)
        return 0;
    out.colors.resize(count);
    return las::DecodeRawColours(records.data(), count, source.header.recordLength, *source.colourOffset,
                                 out.colors.data());
}

std::optional<std::string> DecodeNode(const CopcSource& source, std::size_t node, NodePoints& out)
{
    std::vector<unsigned char> records;
    if (auto failure = DecodeRecords(source, source.chunks[node], records))
        return failure;
    ConvertRecords(source, records, source.chunks[node].pointCount, out);
    las::ScaleColours(out.colors, source.colourFactor);
    return std::nullopt;
}

// The scene's bounds: the header's box where it is a box, otherwise the root cell.
void SetBounds(PointCloudData& cloud, const CopcHierarchy& hierarchy, const StreamedNode& root)
{
    const CopcLasHeader& header = hierarchy.header;
    Eigen::Vector3f low = Eigen::Vector3f::Zero(), high;
    bool usable = true;
    for (int axis = 0; axis < 3; ++axis) {
        high[axis] = static_cast<float>(header.maximum[axis] - header.minimum[axis]);
        usable = usable && std::isfinite(header.minimum[axis]) && std::isfinite(high[axis]) && high[axis] >= 0;
    }
    if (!usable) {
        low = root.bounds.min();
        high = root.bounds.max();
    }
    cloud.boundsMin = low;
    cloud.boundsMax = high;
    cloud.center = (low + high) * 0.5f;
    cloud.radius = 0.5f * (high - low).norm();
}

ReadResult<PointCloudData> Open(const std::string& path, const ReadOptions& options, std::size_t cacheBudget,
                                ReadNotes& notes)
{
    ReadResult<CopcHierarchy> read = ReadCopcHierarchy(path, options);
    if (!read)
        return read.Failure();
    const CopcHierarchy& hierarchy = read.Value();
    for (const std::string& reason : hierarchy.skipped)
        notes.push_back({NoteLevel::Warning, "COPC", reason});
    if (hierarchy.skippedCount > hierarchy.skipped.size())
        notes.push_back({NoteLevel::Warning, "COPC",
                         std::to_string(hierarchy.skippedCount - hierarchy.skipped.size()) +
                             " more hierarchy entries skipped"});

    ReadResult<LazFileInfo> laz = ReadLazInfo(path);
    if (!laz)
        return laz.Failure();
    auto source = std::make_shared<CopcSource>(path);
    source->header = laz.Value().header;
    source->layout = laz.Value().layout;
    source->colourOffset = las::ColourOffset(source->header);
    if (!source->file.RegularFileSize())
        return Fail(ReadError::CannotOpen, "COPC: the file cannot be opened");

    PointCloudData cloud;
    const CopcLasHeader& header = hierarchy.header;
    cloud.origin = {header.minimum[0], header.minimum[1], header.minimum[2]};
    if (!cloud.origin.allFinite())
        return Fail(ReadError::Malformed, "COPC: the header's minimum corner is not finite");
    std::vector<StreamedNode> nodes = TreeOrder(hierarchy, cloud.origin, source->chunks);
    if (nodes.empty())
        return Fail(ReadError::Malformed, "COPC: the hierarchy holds no root node");

    // The colour scale of the whole cloud comes from the first node with points: the root,
    // unless it is empty.
    std::size_t first = 0;
    while (first < nodes.size() && nodes[first].pointCount == 0)
        ++first;
    NodePoints firstPoints;
    if (first < nodes.size()) {
        std::vector<unsigned char> records;
        if (auto failure = DecodeRecords(*source, source->chunks[first], records))
            return Fail(ReadError::Malformed, "COPC: the root node cannot be decoded: " + *failure);
        const std::uint16_t maxChannel = ConvertRecords(*source, records, nodes[first].pointCount, firstPoints);
        source->colourFactor = las::ColourFactor(maxChannel);
        las::ScaleColours(firstPoints.colors, source->colourFactor);
    }
    if (!ReportProgress(options, 1.0))
        return Fail(ReadError::Cancelled, "COPC: cancelled");

    SetBounds(cloud, hierarchy, nodes.front());
    cloud.hasColors = source->colourOffset.has_value();
    NodeDecoder decoder = [source](std::size_t node, NodePoints& out) { return DecodeNode(*source, node, out); };
    cloud.streamed = std::make_shared<StreamedCloud>(std::move(nodes), std::move(decoder), options.pool, cacheBudget);
    if (first < cloud.streamed->Nodes().size())
        cloud.streamed->Insert(first, std::move(firstPoints));
    return cloud;
}

}  // namespace

bool IsCopcFile(const std::string& path)
{
    const ReadOnlyFile file(path);
    const auto size = file.RegularFileSize();
    std::array<std::uint8_t, kCopcPrefixSize> prefix{};
    return size && *size >= prefix.size() && file.ReadAt(0, prefix.data(), prefix.size()) && LooksLikeCopc(prefix);
}

ReadResult<PointCloudData> ReadCopcStreamed(const std::string& path, const ReadOptions& options, std::size_t cacheBudget)
{
    ReadNotes notes;
    ReadResult<PointCloudData> result = [&]() -> ReadResult<PointCloudData> {
        try {
            return Open(path, options, cacheBudget, notes);
        } catch (const std::bad_alloc&) {
            return Fail(ReadError::TooLarge, "COPC: not enough memory for the hierarchy");
        }
    }();
    result.AddNotes(std::move(notes));
    return result;
}
