#include "io/laz/LazReader.h"

#include "io/core/LittleEndian.h"
#include "io/core/ReadOnlyFile.h"
#include "io/laz/ChunkDecoder.h"
#include "io/laz/ChunkTable.h"
#include "io/las/LasRecordStream.h"
#include "platform/ThreadPool.h"
#include "scene/PointCloudData.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <numeric>
#include <thread>
#include <optional>
#include <vector>

namespace {

using laz::ChunkSpan;
using laz::Compressor;

constexpr std::uint8_t kCompressionBit = 0x80;
constexpr std::size_t kVlrHeaderSize = 54;
constexpr std::uint16_t kMinimumRecordLength = 12;
// Real LAZ files hold far less than one point per compressed byte; a header claiming more
// than this is not believed before anything is sized for it.
constexpr std::uint64_t kMaxPointsPerCompressedByte = 64;
// Compressed data can outgrow the raw records only slightly; a chunk walked without a table
// is read in a window this much larger than its raw records.
constexpr std::uint64_t kSequentialWindowSlack = 1 << 16;

struct OpenedLaz {
    las::LasHeader header;
    laz::LazLayout layout;
    std::uint64_t fileSize = 0;
};

// The payload of the LASzip VLR, or nothing when the file has none.
ReadResult<std::vector<unsigned char>> FindLaszipVlr(const ReadOnlyFile& file, const las::LasHeader& header)
{
    std::uint64_t at = header.headerSize;
    for (std::uint32_t i = 0; i < header.vlrCount; ++i) {
        unsigned char vlr[kVlrHeaderSize];
        if (at + kVlrHeaderSize > header.pointDataOffset || !file.ReadAt(at, vlr, sizeof vlr))
            break;  // VLRs live between the header and the points; one reaching past is not there
        const auto recordId = LoadLE<std::uint16_t>(vlr + 18);
        const auto length = LoadLE<std::uint16_t>(vlr + 20);
        at += kVlrHeaderSize;
        const bool laszip = recordId == laz::kLaszipRecordId
                         && std::memcmp(vlr + 2, laz::kLaszipUserId, sizeof laz::kLaszipUserId) == 0;
        if (laszip) {
            if (at + length > header.pointDataOffset)
                return Fail(ReadError::Truncated, "LAZ: the LASzip record runs into the point data");
            std::vector<unsigned char> payload(length);
            if (!file.ReadAt(at, payload.data(), payload.size()))
                return Fail(ReadError::Truncated, "LAZ: the LASzip record cannot be read");
            return payload;
        }
        at += length;
    }
    return Fail(ReadError::Malformed, "LAZ: the point data is flagged compressed but the LASzip record is missing");
}

ReadResult<OpenedLaz> OpenLaz(const ReadOnlyFile& file)
{
    const std::optional<std::uint64_t> fileSize = file.RegularFileSize();
    if (!fileSize)
        return Fail(ReadError::CannotOpen, "LAZ: the file cannot be opened");
    const ReadResult<las::HeaderImage> image = las::ReadHeaderImage(file);
    if (!image)
        return Fail(ReadError::NotRecognised, "LAZ: no LAS header (the file does not start with LASF)");
    OpenedLaz opened;
    opened.header = las::ParseHeader(image.Value());
    opened.fileSize = *fileSize;
    const las::LasHeader& header = opened.header;
    if ((header.formatByte & kCompressionBit) == 0)
        return Fail(ReadError::NotRecognised, "LAZ: the point data is not flagged compressed");
    if (header.pointCount == 0)
        return Fail(ReadError::Malformed, "LAZ: the header claims no points");
    if (header.recordLength < kMinimumRecordLength)
        return Fail(ReadError::Malformed, "LAZ: a record length of " + std::to_string(header.recordLength) + " bytes");
    if (header.pointDataOffset >= *fileSize)
        return Fail(ReadError::Truncated, "LAZ: the point data starts past the end of the file");
    ReadResult<std::vector<unsigned char>> vlr = FindLaszipVlr(file, header);
    if (!vlr)
        return vlr.Failure();
    ReadResult<laz::LazLayout> layout = laz::ParseLazVlr(vlr.Value().data(), vlr.Value().size(), header.format, header.recordLength);
    if (!layout)
        return layout.Failure();
    opened.layout = layout.TakeValue();
    const std::uint64_t compressedBytes = *fileSize - header.pointDataOffset;
    if (header.pointCount > compressedBytes * kMaxPointsPerCompressedByte)
        return Fail(ReadError::TooLarge, "LAZ: the header claims " + std::to_string(header.pointCount) + " points in "
                                             + std::to_string(compressedBytes) + " bytes of compressed data");
    return opened;
}

std::string ChunkName(std::size_t index)
{
    return "LAZ: chunk " + std::to_string(index) + " ";
}

// Reads and decodes one chunk the table located; the reason when it fails.
std::optional<ReadFailure> DecodeTabledChunk(const ReadOnlyFile& file, const OpenedLaz& laz, laz::FieldMask fields,
                                             const ChunkSpan& span, std::size_t index, const LazRecordSink& sink)
{
    const std::uint16_t recordLength = laz.header.recordLength;
    if (span.pointCount > span.size * kMaxPointsPerCompressedByte)
        return Fail(ReadError::TooLarge, ChunkName(index) + "claims " + std::to_string(span.pointCount) + " points in "
                                             + std::to_string(span.size) + " bytes");
    std::vector<unsigned char> compressed(span.size);
    if (!file.ReadAt(span.offset, compressed.data(), compressed.size()))
        return Fail(ReadError::Truncated, ChunkName(index) + "cannot be read");
    std::vector<unsigned char> records(std::size_t{span.pointCount} * recordLength);
    const laz::ChunkOutcome outcome = laz::DecodeChunk(laz.layout, recordLength, fields, compressed.data(), compressed.size(),
                                                       span.pointCount, records.data());
    if (!outcome.ok)
        return Fail(ReadError::Malformed, ChunkName(index) + outcome.reason);
    sink(span.firstPoint, records.data(), span.pointCount);
    return std::nullopt;
}

// Chunks the table located are independent: a pool takes them largest first, which keeps
// the threads busy to the end when chunk sizes differ (as in cloud-optimised files). Progress
// is reported whenever the calling thread finishes a chunk, as the callback must run there.
std::optional<ReadFailure> DecodeTabled(const ReadOnlyFile& file, const OpenedLaz& laz, laz::FieldMask fields,
                                        const std::vector<ChunkSpan>& chunks, const LazRecordSink& sink,
                                        const ReadOptions& options)
{
    std::vector<std::size_t> order(chunks.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    if (options.pool)  // one thread keeps file order, as the sink's callers are promised
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return chunks[a].size > chunks[b].size; });

    const std::thread::id caller = std::this_thread::get_id();
    std::atomic<std::size_t> finished{0};
    std::atomic<bool> stop{false};
    bool cancelled = false;
    double reported = 0;  // touched by the calling thread only
    std::mutex failureMutex;
    std::optional<ReadFailure> failure;
    std::size_t failedChunk = chunks.size();
    ParallelFor(options.pool, chunks.size(), [&](std::size_t i) {
        if (stop.load(std::memory_order_relaxed))
            return;
        const std::size_t index = order[i];
        if (std::optional<ReadFailure> chunkFailure = DecodeTabledChunk(file, laz, fields, chunks[index], index, sink)) {
            const std::lock_guard lock(failureMutex);
            if (index < failedChunk) {  // the same chunk is named whatever the threads' timing
                failedChunk = index;
                failure = std::move(chunkFailure);
            }
            stop = true;
            return;
        }
        const std::size_t done = ++finished;
        if (std::this_thread::get_id() != caller)
            return;
        reported = static_cast<double>(done) / static_cast<double>(chunks.size());
        if (!ReportProgress(options, reported)) {
            cancelled = true;
            stop = true;
        }
    });
    if (failure)
        return failure;
    if (!cancelled && reported < 1.0 && !ReportProgress(options, 1.0))
        cancelled = true;
    if (cancelled)
        return Fail(ReadError::Cancelled, "LAZ: cancelled");
    return std::nullopt;
}

// Without a usable table the chunks are walked one after another: a layered chunk states
// its size at its start, a point-wise chunk ends where its arithmetic stream ends.
ReadResult<std::size_t> DecodeSequentially(const ReadOnlyFile& file, const OpenedLaz& laz, laz::FieldMask fields,
                                           std::uint64_t chunksStart, const LazRecordSink& sink, const ReadOptions& options)
{
    const las::LasHeader& header = laz.header;
    const std::uint16_t recordLength = header.recordLength;
    const bool layered = laz.layout.compressor == Compressor::LayeredChunked;
    const std::size_t layerCount = layered ? laz::LayeredLayerCount(laz.layout) : 0;
    std::uint64_t at = chunksStart;
    std::uint64_t firstPoint = 0;
    std::size_t index = 0;
    for (; firstPoint < header.pointCount; ++index) {
        const std::uint64_t remaining = header.pointCount - firstPoint;
        if (at >= laz.fileSize)
            return Fail(ReadError::Truncated, ChunkName(index) + "starts past the end of the file");
        std::uint32_t count = 0;
        std::uint64_t window = 0;
        if (layered) {
            std::vector<unsigned char> start(std::size_t{recordLength} + 4 + 4 * layerCount);
            if (!file.ReadAt(at, start.data(), start.size()))
                return Fail(ReadError::Truncated, ChunkName(index) + "ends before its layer sizes");
            count = laz::LayeredChunkPointCount(start.data(), start.size(), recordLength);
            window = start.size();
            for (std::size_t i = 0; i < layerCount; ++i)
                window += LoadLE<std::uint32_t>(start.data() + recordLength + 4 + 4 * i);
            if (count == 0 || count > remaining)
                return Fail(ReadError::Malformed, ChunkName(index) + "states " + std::to_string(count) + " points");
            if (window > laz.fileSize - at)
                return Fail(ReadError::Truncated, ChunkName(index) + "ends past the end of the file");
        } else {
            const std::uint64_t chunkPoints = laz.layout.compressor == Compressor::PointWise ? remaining : laz.layout.chunkSize;
            count = static_cast<std::uint32_t>(std::min(chunkPoints, remaining));
            window = std::min(laz.fileSize - at, std::uint64_t{count} * recordLength * 2 + kSequentialWindowSlack);
        }
        if (count > (laz.fileSize - at) * kMaxPointsPerCompressedByte)
            return Fail(ReadError::TooLarge, ChunkName(index) + "claims more points than the rest of the file can hold");
        std::vector<unsigned char> compressed(window);
        if (!file.ReadAt(at, compressed.data(), compressed.size()))
            return Fail(ReadError::Truncated, ChunkName(index) + "cannot be read");
        std::vector<unsigned char> records(std::size_t{count} * recordLength);
        const laz::ChunkOutcome outcome = laz::DecodeChunk(laz.layout, recordLength, fields, compressed.data(), compressed.size(),
                                                           count, records.data());
        if (!outcome.ok)
            return Fail(ReadError::Malformed, ChunkName(index) + outcome.reason);
        sink(firstPoint, records.data(), count);
        firstPoint += count;
        at += outcome.consumed;
        if (!ReportProgress(options, static_cast<double>(firstPoint) / static_cast<double>(header.pointCount)))
            return Fail(ReadError::Cancelled, "LAZ: cancelled");
    }
    return index;
}

// How the chunks will be read: from the table, or walked one by one from chunksStart.
struct ChunkPlan {
    std::vector<ChunkSpan> tabled;
    bool sequential = false;
    std::uint64_t chunksStart = 0;
};

ReadResult<ChunkPlan> PlanChunks(const ReadOnlyFile& file, const OpenedLaz& laz)
{
    ChunkPlan plan;
    const std::uint64_t dataStart = laz.header.pointDataOffset;
    if (laz.layout.compressor == Compressor::PointWise) {
        plan.sequential = true;
        plan.chunksStart = dataStart;
        return plan;
    }
    unsigned char tableOffsetBytes[8];
    if (!file.ReadAt(dataStart, tableOffsetBytes, sizeof tableOffsetBytes))
        return Fail(ReadError::Truncated, "LAZ: the file ends before its chunk table offset");
    const auto tableOffset = LoadLE<std::int64_t>(tableOffsetBytes);
    plan.chunksStart = dataStart + 8;
    laz::ChunkTable table = laz::ReadChunkTable(file, laz.layout, {laz.fileSize, plan.chunksStart, tableOffset, laz.header.pointCount});
    if (table.damage.empty()) {
        plan.tabled = std::move(table.chunks);
        return plan;
    }
    if (laz.layout.chunkSize == laz::kVariableChunks && laz.layout.compressor != Compressor::LayeredChunked)
        return Fail(ReadError::Malformed, "LAZ: variable chunks without a usable chunk table (" + table.damage + ")");
    plan.sequential = true;
    return plan;
}

ReadResult<LazFileInfo> DecodePlanned(const ReadOnlyFile& file, const OpenedLaz& laz, const ChunkPlan& plan,
                                      laz::FieldMask fields, const LazRecordSink& sink, const ReadOptions& options)
{
    LazFileInfo info{laz.header, laz.layout};
    info.sequential = plan.sequential;
    if (plan.sequential) {
        ReadResult<std::size_t> walked = DecodeSequentially(file, laz, fields, plan.chunksStart, sink, options);
        if (!walked)
            return walked.Failure();
        info.chunkCount = walked.Value();
        return info;
    }
    if (std::optional<ReadFailure> failure = DecodeTabled(file, laz, fields, plan.tabled, sink, options))
        return std::move(*failure);
    info.chunkCount = plan.tabled.size();
    return info;
}

}  // namespace

ReadResult<LazFileInfo> ReadLazInfo(const std::string& path)
{
    const ReadOnlyFile file(path);
    ReadResult<OpenedLaz> opened = OpenLaz(file);
    if (!opened)
        return opened.Failure();
    return LazFileInfo{opened.Value().header, opened.Value().layout};
}

ReadResult<LazFileInfo> DecodeLazRecords(const std::string& path, laz::FieldMask fields, const LazRecordSink& sink,
                                         const ReadOptions& options)
{
    try {
        const ReadOnlyFile file(path);
        ReadResult<OpenedLaz> opened = OpenLaz(file);
        if (!opened)
            return opened.Failure();
        ReadResult<ChunkPlan> plan = PlanChunks(file, opened.Value());
        if (!plan)
            return plan.Failure();
        return DecodePlanned(file, opened.Value(), plan.Value(), fields, sink, options);
    } catch (const std::bad_alloc&) {
        return Fail(ReadError::TooLarge, "LAZ: not enough memory to decode the file");
    }
}

namespace {

// Tabled chunks in windows of a few per thread: decoded in parallel, handed on in order.
std::optional<ReadFailure> StreamTabled(const ReadOnlyFile& file, const OpenedLaz& laz, const std::vector<ChunkSpan>& chunks,
                                        PointRecordSink& sink, const ReadOptions& options)
{
    const std::size_t window = options.pool ? 2 * std::size_t{options.pool->Concurrency()} : 1;
    std::vector<std::vector<unsigned char>> decoded(window);
    std::vector<std::optional<ReadFailure>> failures(window);
    const std::uint64_t total = laz.header.pointCount;
    for (std::size_t start = 0; start < chunks.size(); start += window) {
        const std::size_t n = std::min(window, chunks.size() - start);
        ParallelFor(options.pool, n, [&](std::size_t i) {
            failures[i] = DecodeTabledChunk(file, laz, laz::kAllFields, chunks[start + i], start + i,
                                            [&](std::uint64_t, const unsigned char* records, std::size_t count) {
                                                decoded[i].assign(records, records + count * laz.header.recordLength);
                                            });
        });
        for (std::size_t i = 0; i < n; ++i) {
            if (failures[i])
                return failures[i];
            if (!sink.Take(decoded[i].data(), chunks[start + i].pointCount))
                return Fail(ReadError::Cancelled, "LAZ: cancelled");
        }
        const ChunkSpan& last = chunks[start + n - 1];
        if (!ReportProgress(options, static_cast<double>(last.firstPoint + last.pointCount) / static_cast<double>(total)))
            return Fail(ReadError::Cancelled, "LAZ: cancelled");
    }
    return std::nullopt;
}

ReadResult<PointRecordFormat> StreamOpened(const std::string& path, PointRecordSink& sink, const ReadOptions& options)
{
    const ReadOnlyFile file(path);
    ReadResult<OpenedLaz> opened = OpenLaz(file);
    if (!opened)
        return opened.Failure();
    const OpenedLaz& laz = opened.Value();
    const ReadResult<las::HeaderImage> image = las::ReadHeaderImage(file);
    if (!image)
        return image.Failure();
    ReadResult<PointRecordFormat> format = las::ReadRecordFormat(file, laz.fileSize, image.Value());
    if (!format)
        return format;
    ReadResult<ChunkPlan> plan = PlanChunks(file, laz);
    if (!plan)
        return plan.Failure();
    if (!sink.Begin(format.Value()))
        return Fail(ReadError::Cancelled, "LAZ: cancelled");
    if (plan.Value().sequential) {
        bool stopped = false;
        ReadResult<std::size_t> walked = DecodeSequentially(
            file, laz, laz::kAllFields, plan.Value().chunksStart,
            [&](std::uint64_t, const unsigned char* records, std::size_t count) {
                stopped = stopped || !sink.Take(records, count);
            },
            {[&](double fraction) { return !stopped && ReportProgress(options, fraction); }, nullptr});
        if (!walked)
            return walked.Failure();
        return format;
    }
    if (std::optional<ReadFailure> failure = StreamTabled(file, laz, plan.Value().tabled, sink, options))
        return std::move(*failure);
    return format;
}

}  // namespace

ReadResult<PointRecordFormat> StreamLazRecords(const std::string& path, PointRecordSink& sink, const ReadOptions& options)
{
    try {
        return StreamOpened(path, sink, options);
    } catch (const std::bad_alloc&) {
        return Fail(ReadError::TooLarge, "LAZ: not enough memory to decode the file");
    }
}

ReadResult<PointCloudData> ReadLaz(const std::string& path, const ReadOptions& options)
{
    try {
        const ReadOnlyFile file(path);
        ReadResult<OpenedLaz> opened = OpenLaz(file);
        if (!opened)
            return opened.Failure();
        const OpenedLaz& laz = opened.Value();
        const las::LasHeader& header = laz.header;
        const std::optional<std::size_t> colourOffset = las::ColourOffset(header);
        const bool withAttributes = las::HasPointAttributes(header);

        ReadResult<ChunkPlan> plan = PlanChunks(file, laz);
        if (!plan)
            return plan.Failure();

        // A chunk table that adds up to the header's count lets the arrays be sized at once;
        // chunks walked without one (on this thread) grow them as they are decoded, so that a
        // false count costs no more than the points really there.
        PointCloudData cloud;
        cloud.origin = {header.minimum[0], header.minimum[1], header.minimum[2]};
        const bool sequential = plan.Value().sequential;
        if (!sequential) {
            const auto count = static_cast<std::size_t>(header.pointCount);  // bounded by the file size
            cloud.positions.resize(count);
            if (colourOffset)
                cloud.colors.resize(count);
            if (withAttributes)
                las::ResizePointAttributes(cloud, count);
        }

        std::atomic<std::uint32_t> maxChannel{0};
        const LazRecordSink sink = [&](std::uint64_t firstPoint, const unsigned char* records, std::size_t n) {
            if (sequential) {
                cloud.positions.resize(firstPoint + n);
                if (colourOffset)
                    cloud.colors.resize(firstPoint + n);
                if (withAttributes)
                    las::ResizePointAttributes(cloud, firstPoint + n);
            }
            las::DecodePositions(records, n, header, cloud.positions.data() + firstPoint);
            if (withAttributes)
                las::DecodePointAttributes(records, n, header, las::PointAttributesAt(cloud, firstPoint));
            if (!colourOffset)
                return;
            const std::uint32_t chunkMax = las::DecodeRawColours(records, n, header.recordLength, *colourOffset,
                                                                 cloud.colors.data() + firstPoint);
            std::uint32_t seen = maxChannel.load(std::memory_order_relaxed);
            while (chunkMax > seen && !maxChannel.compare_exchange_weak(seen, chunkMax, std::memory_order_relaxed)) {
            }
        };
        // Returns share the coordinates' layer; intensity and class have layers of their own.
        const laz::FieldMask fields = laz::kFieldXyz | (colourOffset ? laz::kFieldRgb : 0u)
                                    | (withAttributes ? laz::kFieldIntensity | laz::kFieldClassification : 0u);
        ReadResult<LazFileInfo> decoded = DecodePlanned(file, laz, plan.Value(), fields, sink, options);
        if (!decoded)
            return decoded.Failure();
        if (colourOffset) {
            las::ScaleColours(cloud.colors, las::ColourFactor(static_cast<std::uint16_t>(maxChannel.load())));
            cloud.hasColors = true;
        }
        cloud.ComputeBounds();
        return cloud;
    } catch (const std::bad_alloc&) {
        return Fail(ReadError::TooLarge, "LAZ: not enough memory for the points");
    }
}

bool IsLaszipCompressedLas(const std::string& path)
{
    const ReadOnlyFile file(path);
    if (!file.RegularFileSize())
        return false;
    const ReadResult<las::HeaderImage> image = las::ReadHeaderImage(file);
    if (!image)
        return false;
    const las::LasHeader header = las::ParseHeader(image.Value());
    return (header.formatByte & kCompressionBit) != 0 && FindLaszipVlr(file, header).Ok();
}
