#include "convert/CopcBuilder.h"

#include "convert/CopcLayout.h"
#include "convert/CopcPages.h"
#include "convert/CopcSourcePasses.h"
#include "convert/KeySort.h"
#include "convert/OctreeBuild.h"
#include "convert/ClaimedJob.h"
#include "convert/OctreeKey.h"
#include "convert/PointBuckets.h"
#include "convert/TopCells.h"
#include "convert/UpperLevels.h"
#include "io/core/LittleEndian.h"
#include "io/las/ExtendedRecords.h"
#include "io/las/LasHeaderWrite.h"
#include "io/laz/LazWriter.h"
#include "platform/SafeFileWriter.h"
#include "platform/ThreadPool.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <new>
#include <unistd.h>

namespace {

using copcwrite::HierarchyNode;
using octree::Cell;
using octree::KeyedRow;

// Shares of the progress: reading for the bounds, placing, building and encoding; the rest
// is the chunk table and the hierarchy.
constexpr double kSurveyEnd = 0.1;
constexpr double kPlaceEnd = 0.4;
constexpr double kBuildEnd = 0.97;

constexpr std::uint64_t kEvlrHeaderSize = 60;
constexpr std::uint64_t kInfoVlrAt = 375;

WriteFailure Failure(WriteError code, const std::string& reason)
{
    return WriteFailure{code, "COPC: " + reason};
}

std::uint64_t QuarterOfPhysicalMemory()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return std::uint64_t{1} << 30;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) / 4;
}

std::string FolderOf(const std::string& target)
{
    const std::filesystem::path folder = std::filesystem::path(target).parent_path();
    return folder.empty() ? std::string(".") : folder.string();
}

// A cell's records, their keys in key order and its subtree: made ready on a worker while
// the cell before it is written.
struct PreparedCell {
    octree::BucketRecords records;
    std::vector<KeyedRow> rows;
    std::vector<octree::BuiltNode> nodes;
    std::string error;
};

class CopcWriter {
public:
    CopcWriter(SafeFileWriter& file, const copcwrite::Survey& survey, const las::ExtendedMapping& mapping,
               const octree::CubeFrame& frame, const CopcBuildOptions& options, std::function<bool(double)> progress)
        : m_writer(file), m_survey(survey), m_mapping(mapping), m_frame(frame), m_options(options),
          m_progress(std::move(progress))
    {
    }

    WriteResult Write(octree::PointBuckets& buckets, const copcwrite::Placement& placement);

private:
    bool WriteFail(const std::string& why)
    {
        if (m_failure.reason.empty())
            m_failure = Failure(WriteError::WriteFailed, why);
        return false;
    }
    bool WriteHead();
    bool Prepare(octree::PointBuckets& buckets, const Cell& cell, PreparedCell& out);
    bool WriteCell(const Cell& cell, const PreparedCell& prepared);
    bool WriteCells(octree::PointBuckets& buckets, const std::vector<Cell>& cells);
    bool Emit(const octree::BuiltNode& node, const unsigned char* base, std::span<const KeyedRow> rows);
    bool EmitRecords(int level, std::uint64_t cell, const unsigned char* records, std::size_t count);
    bool WriteTail(const copcwrite::Placement& placement);

    SafeFileWriter& m_writer;
    const copcwrite::Survey& m_survey;
    las::ExtendedMapping m_mapping;
    octree::CubeFrame m_frame;
    const CopcBuildOptions& m_options;
    std::function<bool(double)> m_progress;
    copcwrite::SourceRecords m_records;
    PointRecordFormat m_outFormat;
    laz::LazLayout m_layout;
    std::uint32_t m_pointDataOffset = 0;
    std::unique_ptr<laz::LazChunkWriter> m_chunks;
    std::vector<HierarchyNode> m_nodes;
    std::vector<unsigned char> m_gather;
    std::unique_ptr<octree::UpperLevels> m_upper;
    std::vector<KeyedRow> m_sortScratch;  // for the cell being prepared: one at a time
    std::uint64_t m_pointsDone = 0;
    WriteFailure m_failure;
    bool m_cancelled = false;
};

bool CopcWriter::WriteHead()
{
    if (!m_writer.Ok())
        return false;
    m_records = copcwrite::KeptSourceRecords(m_survey.format.vlrs, m_mapping.dropsWavePackets);
    auto layout = laz::LayoutForFormat(m_mapping.targetFormat, m_mapping.targetLength, laz::kVariableChunks);
    if (!layout)
        return WriteFail("no LAZ layout for point format " + std::to_string(m_mapping.targetFormat));
    m_layout = *layout;

    m_outFormat = m_survey.format;
    m_outFormat.versionMinor = 4;
    m_outFormat.format = m_mapping.targetFormat;
    m_outFormat.recordLength = m_mapping.targetLength;
    m_outFormat.globalEncoding = copcwrite::CopcGlobalEncoding(m_survey.format.globalEncoding, m_records.hasWkt);

    std::vector<unsigned char> head(las::HeaderSize(4), 0);  // completed at the end
    const auto append = [&](const std::vector<unsigned char>& bytes) { head.insert(head.end(), bytes.begin(), bytes.end()); };
    append(las::SerializeVlr({copcwrite::kCopcUserId, copcwrite::kInfoRecordId, "copc info",
                              copcwrite::CopcInfoPayload({}), false}));
    append(las::SerializeVlr({laz::kLaszipUserId, laz::kLaszipRecordId, "laszip variable chunks",
                              laz::LazVlrPayload(m_layout), false}));
    for (const VariableLengthRecord& vlr : m_records.vlrs)
        append(las::SerializeVlr(vlr));
    if (head.size() > std::numeric_limits<std::uint32_t>::max() - 8)
        return WriteFail("the source's VLRs are too large");
    m_pointDataOffset = static_cast<std::uint32_t>(head.size());
    head.resize(head.size() + 8, 0);  // the chunk table's offset
    if (!m_writer.Write(head.data(), head.size()))
        return false;
    m_chunks = std::make_unique<laz::LazChunkWriter>(
        m_layout, m_mapping.targetLength,
        [this](const unsigned char* bytes, std::size_t size) { return m_writer.Write(bytes, size); }, m_options.pool);
    m_upper = std::make_unique<octree::UpperLevels>(
        m_mapping.targetLength, m_options.maxNodePoints,
        [this](int level, std::uint64_t cell, const unsigned char* records, std::size_t count) {
            return EmitRecords(level, cell, records, count);
        });
    return m_chunks->Usable() || WriteFail("the LAZ encoder cannot take these records");
}

bool CopcWriter::EmitRecords(int level, std::uint64_t cell, const unsigned char* records, std::size_t count)
{
    if (count > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        return WriteFail("a node would hold more points than COPC allows");
    m_nodes.push_back({level, cell, 0, 0, static_cast<std::uint32_t>(count)});
    if (count == 0)
        return true;
    return (m_chunks->Add(records, count) && m_chunks->EndChunk()) ||
           WriteFail(m_writer.Ok() ? "the LAZ encoder failed" : m_writer.Error());
}

bool CopcWriter::Emit(const octree::BuiltNode& node, const unsigned char* base, std::span<const KeyedRow> rows)
{
    const std::size_t length = m_mapping.targetLength;
    m_gather.resize(node.points.size() * length);
    unsigned char* out = m_gather.data();
    for (const std::uint32_t point : node.points) {
        std::memcpy(out, base + std::size_t{rows[point].row} * length, length);
        out += length;
    }
    return EmitRecords(node.level, node.cell, m_gather.data(), node.points.size());
}

bool CopcWriter::Prepare(octree::PointBuckets& buckets, const Cell& cell, PreparedCell& out)
{
    out.nodes.clear();
    if (cell.points > std::numeric_limits<std::uint32_t>::max()) {
        out.error = "more than 4294967295 points in one place";
        return false;
    }
    if (!buckets.Load(cell.firstBucket, cell.endBucket, out.records)) {
        out.error = buckets.Error();
        return false;
    }
    const std::size_t length = m_mapping.targetLength;
    const octree::BucketRecords& records = out.records;
    std::vector<KeyedRow>& rows = out.rows;
    rows.resize(records.rows.size());
    constexpr std::size_t kBlock = 65536;
    ParallelFor(m_options.pool, (rows.size() + kBlock - 1) / kBlock, [&](std::size_t block) {
        const std::size_t end = std::min(rows.size(), (block + 1) * kBlock);
        for (std::size_t i = block * kBlock; i < end; ++i)
            rows[i] = {octree::RecordKey(m_frame, records.base + std::size_t{records.rows[i]} * length), records.rows[i]};
    });
    octree::SortByKey(rows, m_sortScratch);
    out.nodes = octree::BuildSubtree(rows, cell.level, m_options.maxNodePoints);
    return true;
}

bool CopcWriter::WriteCell(const Cell& cell, const PreparedCell& prepared)
{
    const std::vector<octree::BuiltNode>& nodes = prepared.nodes;
    const unsigned char* base = prepared.records.base;
    // The cell's root may still give points to the levels above: it waits for them.
    for (std::size_t i = 1; i < nodes.size(); ++i)
        if (!Emit(nodes[i], base, prepared.rows))
            return false;
    const std::size_t length = m_mapping.targetLength;
    octree::HeldPoints root{cell.level, cell.cell, {}, {}};
    root.keys.reserve(nodes.front().points.size());
    root.records.reserve(nodes.front().points.size() * length);
    for (const std::uint32_t point : nodes.front().points) {
        const KeyedRow& row = prepared.rows[point];
        root.keys.push_back(row.key);
        const unsigned char* record = base + std::size_t{row.row} * length;
        root.records.insert(root.records.end(), record, record + length);
    }
    if (!m_upper->AddCellRoot(std::move(root)))
        return false;
    m_pointsDone += cell.points;
    return true;
}

// Cell by cell in key order, each prepared on the pool while the one before is written.
bool CopcWriter::WriteCells(octree::PointBuckets& buckets, const std::vector<Cell>& cells)
{
    std::array<PreparedCell, 2> slots;
    ClaimedJob pending;
    const auto start = [&](std::size_t i) {
        PreparedCell& slot = slots[i % 2];
        slot.error.clear();
        pending.Start(m_options.pool, [this, &buckets, &cell = cells[i], &slot] { Prepare(buckets, cell, slot); });
    };
    if (!cells.empty())
        start(0);
    for (std::size_t i = 0; i < cells.size(); ++i) {
        pending.Finish();
        const PreparedCell& slot = slots[i % 2];
        if (!slot.error.empty())
            return WriteFail(slot.error);
        if (i + 1 < cells.size())
            start(i + 1);
        if (!WriteCell(cells[i], slot))
            return false;
        if (!m_progress(kPlaceEnd + (kBuildEnd - kPlaceEnd) * double(m_pointsDone) / double(m_survey.count))) {
            m_cancelled = true;
            return false;
        }
    }
    return true;
}

bool CopcWriter::WriteTail(const copcwrite::Placement& placement)
{
    if (!m_chunks->Finish())
        return WriteFail(m_writer.Ok() ? "the LAZ encoder failed" : m_writer.Error());
    const std::vector<laz::ChunkEntry>& chunks = m_chunks->Chunks();
    std::uint64_t offset = m_pointDataOffset + 8;
    std::size_t chunk = 0;
    for (HierarchyNode& node : m_nodes) {
        if (node.pointCount == 0)
            continue;
        if (chunk >= chunks.size() || chunks[chunk].pointCount != node.pointCount ||
            chunks[chunk].byteCount > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
            return WriteFail("a node's chunk does not fit the hierarchy");
        node.chunkOffset = offset;
        node.chunkSize = static_cast<std::uint32_t>(chunks[chunk].byteCount);
        offset += chunks[chunk].byteCount;
        ++chunk;
    }
    const std::uint64_t tableOffset = m_writer.Size();
    const std::vector<unsigned char> table = laz::EncodeChunkTable(chunks, true);
    if (table.empty())
        return WriteFail("the chunk table cannot be written");
    if (!m_writer.Write(table.data(), table.size()))
        return false;

    const std::uint64_t evlrOffset = m_writer.Size();
    const copcwrite::HierarchyPages pages = copcwrite::LayOutHierarchy(m_nodes, evlrOffset + kEvlrHeaderSize);
    VariableLengthRecord hierarchy{copcwrite::kCopcUserId, copcwrite::kHierarchyRecordId, "copc hierarchy", pages.bytes, true};
    const std::vector<unsigned char> hierarchyBytes = las::SerializeVlr(hierarchy);
    if (!m_writer.Write(hierarchyBytes.data(), hierarchyBytes.size()))
        return false;
    for (const VariableLengthRecord& evlr : m_records.evlrs) {
        const std::vector<unsigned char> bytes = las::SerializeVlr(evlr);
        if (!m_writer.Write(bytes.data(), bytes.size()))
            return false;
    }

    las::HeaderPlacement where;
    where.versionMinor = 4;
    where.compressed = true;
    where.pointDataOffset = m_pointDataOffset;
    where.vlrCount = static_cast<std::uint32_t>(2 + m_records.vlrs.size());
    where.evlrOffset = evlrOffset;
    where.evlrCount = static_cast<std::uint32_t>(1 + m_records.evlrs.size());
    const std::vector<unsigned char> header = las::SerializeHeader(m_outFormat, where, placement.summary);

    copcwrite::CopcInfoFields info;
    const double half = m_frame.side / 2;
    for (int axis = 0; axis < 3; ++axis)
        info.center[axis] = m_frame.minimum[axis] + half;
    info.halfSize = half;
    info.spacing = m_frame.side / (1 << octree::kGridLevels);
    info.rootPageOffset = evlrOffset + kEvlrHeaderSize;
    info.rootPageSize = pages.rootPageSize;
    info.gpsTimeMinimum = placement.gpsTimeMinimum;
    info.gpsTimeMaximum = placement.gpsTimeMaximum;
    const std::vector<unsigned char> infoBytes = copcwrite::CopcInfoPayload(info);
    unsigned char tableAt[8];
    StoreLE(tableAt, static_cast<std::int64_t>(tableOffset));
    return m_writer.WriteAt(0, header.data(), header.size()) &&
           m_writer.WriteAt(kInfoVlrAt + 54, infoBytes.data(), infoBytes.size()) &&
           m_writer.WriteAt(m_pointDataOffset, tableAt, sizeof tableAt);
}

WriteResult CopcWriter::Write(octree::PointBuckets& buckets, const copcwrite::Placement& placement)
{
    const auto writeFailure = [&]() -> WriteResult {
        if (!m_failure.reason.empty())
            return m_failure;
        return Failure(WriteError::WriteFailed, m_writer.Error());
    };
    if (!WriteHead())
        return writeFailure();

    const std::vector<Cell> cells = octree::PartitionCells(buckets.Counts(), octree::CellLimit(m_options.maxNodePoints));
    if (!WriteCells(buckets, cells))
        return m_cancelled ? Failure(WriteError::Cancelled, "cancelled") : writeFailure();
    if (!m_upper->Finish() || !WriteTail(placement))
        return writeFailure();
    if (!m_progress(1.0))
        return Failure(WriteError::Cancelled, "cancelled");
    if (!m_writer.Commit())
        return writeFailure();
    return {};
}

// Working memory besides the buckets: the cells being built (records, keys and sort space; two
// with a pool: one written while the next is prepared) and the encoder's chunks in flight.
std::uint64_t BuildReserve(const las::ExtendedMapping& mapping, const CopcBuildOptions& options)
{
    const std::uint64_t cellPoints = octree::CellLimit(options.maxNodePoints) * (options.pool ? 2 : 1);
    const std::uint64_t inFlight = 2 * (options.pool ? options.pool->Concurrency() : 1) + 1;
    return cellPoints * (mapping.targetLength + 2 * sizeof(KeyedRow) + 8) +
           inFlight * std::uint64_t{options.maxNodePoints} * mapping.targetLength * 2;
}

WriteResult Build(const PointRecordSource& source, const std::string& target, const CopcBuildOptions& options)
{
    const auto progress = [&](double fraction) { return !options.progress || options.progress(fraction); };
    if (!progress(0.0))
        return Failure(WriteError::Cancelled, "cancelled");
    SafeFileWriter file(target);
    if (!file.Ok())
        return Failure(WriteError::CannotCreate, file.Error());

    copcwrite::SurveySink survey([&](double f) { return progress(kSurveyEnd * f); });
    ReadResult<PointRecordFormat> first = source(survey);
    if (!survey.Refusal().empty())
        return Failure(WriteError::Refused, survey.Refusal());
    if (survey.Cancelled())
        return Failure(WriteError::Cancelled, "cancelled");
    if (!first)
        return Failure(WriteError::SourceFailed, first.Failure().reason);
    const copcwrite::Survey& found = survey.Result();
    if (found.count == 0)
        return Failure(WriteError::Refused, "the source holds no points");

    const PointRecordFormat& format = found.format;
    const auto mapping = las::PlanExtendedMapping(format.format, format.recordLength);
    std::array<double, 3> low{}, high{};
    for (int axis = 0; axis < 3; ++axis) {
        const double a = found.minimum[axis] * format.scale[axis] + format.offset[axis];
        const double b = found.maximum[axis] * format.scale[axis] + format.offset[axis];
        low[axis] = std::min(a, b);
        high[axis] = std::max(a, b);
    }
    const octree::CubeFrame frame = octree::CubeAround(low, high, format.scale, format.offset);
    if (!std::isfinite(frame.side) || !(frame.side > 0) || !std::isfinite(frame.minimum[0] + frame.minimum[1] + frame.minimum[2] + frame.side))
        return Failure(WriteError::Refused, "the coordinates do not fit: the points' bounds are not finite");

    const std::uint64_t memory = options.memoryBytes ? options.memoryBytes : QuarterOfPhysicalMemory();
    const std::uint64_t reserve = BuildReserve(*mapping, options);
    const std::uint64_t bucketMemory = memory > 2 * reserve ? memory - reserve : memory / 2;
    const std::uint64_t memoryPoints = bucketMemory / (mapping->targetLength + 2 * sizeof(std::uint32_t));

    const std::string folder = FolderOf(target);
    octree::PointBuckets buckets(frame, mapping->targetLength, found.count, memoryPoints, folder, options.pool);
    copcwrite::PlacementSink place(found, *mapping, buckets,
                                   [&](double f) { return progress(kSurveyEnd + (kPlaceEnd - kSurveyEnd) * f); });
    ReadResult<PointRecordFormat> second = source(place);
    if (place.Cancelled())
        return Failure(WriteError::Cancelled, "cancelled");
    if (!place.Problem().empty())
        return Failure(place.Problem() == buckets.Error() ? WriteError::WriteFailed : WriteError::SourceFailed, place.Problem());
    if (!second)
        return Failure(WriteError::SourceFailed, second.Failure().reason);
    const copcwrite::Placement& placed = place.Result();
    if (placed.summary.count != found.count || placed.summary.minimum != found.minimum || placed.summary.maximum != found.maximum)
        return Failure(WriteError::SourceFailed, "the source gave other points the second time it was read");
    buckets.Finish();

    CopcWriter writer(file, found, *mapping, frame, options, progress);
    return writer.Write(buckets, placed);
}

}  // namespace

WriteResult BuildCopc(const PointRecordSource& source, const std::string& target, const CopcBuildOptions& options)
{
    CopcBuildOptions checked = options;
    checked.maxNodePoints = std::max<std::uint32_t>(options.maxNodePoints, 1);
    try {
        return Build(source, target, checked);
    } catch (const std::bad_alloc&) {
        return Failure(WriteError::WriteFailed, "not enough memory");
    }
}
