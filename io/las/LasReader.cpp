#include "io/las/LasReader.h"

#include "io/core/FixedRecordRead.h"
#include "io/core/ReadOnlyFile.h"
#include "io/core/SizeArrays.h"
#include "io/las/LasRecords.h"
#include "platform/ThreadPool.h"
#include "scene/PointCloudData.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <optional>
#include <span>
#include <string>

namespace {

// X, Y and Z as 32-bit integers: the least a point record holds.
constexpr std::uint16_t kMinimumRecordLength = 12;

using las::ColourFactor;
using las::ColourOffset;
using las::DecodePositions;
using las::DecodeRawColours;
using las::HeaderImage;
using las::LasHeader;
using las::ParseHeader;
using las::ReadHeaderImage;
using las::ScaleColours;

// A header may claim up to 2^64 - 1 points; nothing is sized before the file is known to hold them.
bool FileHoldsPoints(const LasHeader& header, std::uint64_t fileSize)
{
    return header.pointDataOffset <= fileSize
        && header.pointCount <= (fileSize - header.pointDataOffset) / header.recordLength;
}

// Raises `maximum` to `value` when it is larger; several threads may race on it.
void RaiseTo(std::atomic<std::uint16_t>& maximum, std::uint16_t value)
{
    std::uint16_t seen = maximum.load(std::memory_order_relaxed);
    while (value > seen && !maximum.compare_exchange_weak(seen, value, std::memory_order_relaxed)) {
    }
}

// Reads the point block into the already sized arrays, in ranges on the pool when there is
// one; returns the largest colour channel, or why the block could not be read in full.
ReadResult<std::uint16_t> ReadPoints(const ReadOnlyFile& file, const LasHeader& header,
                                     std::optional<std::size_t> colourOffset, const ReadOptions& options,
                                     PointCloudData& cloud)
{
    const FixedRecords records{header.pointDataOffset, header.recordLength, cloud.positions.size()};
    std::atomic<std::uint16_t> maxChannel{0};
    const FixedRecordsRead read =
        ReadFixedRecords(file, records, options, {}, [&](const std::byte* block, std::size_t first, std::size_t n) {
            const auto* bytes = reinterpret_cast<const unsigned char*>(block);
            DecodePositions(bytes, n, header, cloud.positions.data() + first);
            if (!cloud.intensity.empty())
                las::DecodePointAttributes(bytes, n, header, las::PointAttributesAt(cloud, first));
            if (colourOffset)
                RaiseTo(maxChannel, DecodeRawColours(bytes, n, header.recordLength, *colourOffset,
                                                     cloud.colors.data() + first));
        });
    switch (read.outcome) {
    case FixedRecordsRead::Outcome::Cancelled:
        return Fail(ReadError::Cancelled, "LAS: cancelled");
    case FixedRecordsRead::Outcome::FileEnded:
        return Fail(ReadError::Truncated, "LAS: the point block ends before point " + std::to_string(read.endedBefore));
    case FixedRecordsRead::Outcome::Complete:
        break;
    }
    return maxChannel.load();
}

// Scales the colours in slices on the pool when there is one.
void ScaleColoursOn(ThreadPool* pool, LargeArray<Eigen::Vector4f>& colours, float factor)
{
    constexpr std::size_t kSlice = std::size_t{1} << 18;
    const std::size_t slices = (colours.size() + kSlice - 1) / kSlice;
    ParallelFor(pool, slices, [&](std::size_t slice) {
        const std::size_t begin = slice * kSlice;
        ScaleColours(std::span(colours).subspan(begin, std::min(kSlice, colours.size() - begin)), factor);
    });
}

// Why the header cannot describe a point block this reader reads; nothing when it can.
std::optional<ReadFailure> HeaderProblem(const LasHeader& header, std::uint64_t fileSize)
{
    if (header.pointCount == 0)
        return Fail(ReadError::Malformed, "LAS: the header claims no points");
    if (header.recordLength < kMinimumRecordLength)
        return Fail(ReadError::Malformed, "LAS: point records of " + std::to_string(header.recordLength) +
                                              " bytes are shorter than " + std::to_string(kMinimumRecordLength));
    if (!FileHoldsPoints(header, fileSize))
        return Fail(ReadError::Truncated, "LAS: the header claims " + std::to_string(header.pointCount) +
                                              " points, more than the file holds");
    return std::nullopt;
}

std::optional<ReadFailure> ReadInto(const std::string& path, const ReadOptions& options, PointCloudData& cloud)
{
    const ReadOnlyFile file(path);
    const std::optional<std::uint64_t> fileSize = file.RegularFileSize();
    if (!fileSize)
        return Fail(ReadError::CannotOpen, "LAS: cannot open the file");
    const ReadResult<HeaderImage> image = ReadHeaderImage(file);
    if (!image)
        return image.Failure();
    const LasHeader header = ParseHeader(image.Value());
    if (std::optional<ReadFailure> problem = HeaderProblem(header, *fileSize))
        return problem;

    const std::optional<std::size_t> colourOffset = ColourOffset(header);
    // Fits: the count is bounded by the file size above.
    const auto count = static_cast<std::size_t>(header.pointCount);
    cloud.origin = {header.minimum[0], header.minimum[1], header.minimum[2]};
    SizeArraysOn(options.pool, {[&] { cloud.positions.resize(count); },
                                [&] {
                                    if (colourOffset)
                                        cloud.colors.resize(count);
                                    if (las::HasPointAttributes(header))
                                        las::ResizePointAttributes(cloud, count);
                                }});

    const ReadResult<std::uint16_t> maxChannel = ReadPoints(file, header, colourOffset, options, cloud);
    if (!maxChannel)
        return maxChannel.Failure();
    if (colourOffset) {
        ScaleColoursOn(options.pool, cloud.colors, ColourFactor(maxChannel.Value()));
        cloud.hasColors = true;
    }
    cloud.ComputeBounds();
    return std::nullopt;
}

}  // namespace

ReadResult<PointCloudData> ReadLas(const std::string& path, const ReadOptions& options)
{
    if (!ReportProgress(options, 0.0))
        return Fail(ReadError::Cancelled, "LAS: cancelled");
    try {
        PointCloudData cloud;
        if (std::optional<ReadFailure> failure = ReadInto(path, options, cloud))
            return *std::move(failure);
        return cloud;
    } catch (const std::exception&) {
        // Out of memory for a cloud the file really holds: a failed read like any other.
        return Fail(ReadError::TooLarge, "LAS: not enough memory for the points");
    }
}
