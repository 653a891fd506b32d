#include "io/LasReader.h"

#include "io/LasRecords.h"
#include "io/ReadOnlyFile.h"
#include "scene/PointCloudData.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

namespace {

// X, Y and Z as 32-bit integers: the least a point record holds.
constexpr std::uint16_t kMinimumRecordLength = 12;
constexpr std::size_t kRecordsPerChunk = 65536;
// Records may be up to 64 KiB long; this keeps one chunk of them from needing gigabytes.
constexpr std::size_t kMaxChunkBytes = std::size_t{64} << 20;

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

// Reads the point block chunk by chunk into the already sized arrays; returns the largest
// colour channel, or why the block could not be read in full.
ReadResult<std::uint16_t> ReadPoints(const ReadOnlyFile& file, const LasHeader& header,
                                     std::optional<std::size_t> colourOffset, const ReadOptions& options,
                                     PointCloudData& cloud)
{
    const std::size_t count = cloud.positions.size();
    const std::size_t recordLength = header.recordLength;
    const std::size_t chunkRecords = std::min({count, kRecordsPerChunk, std::max<std::size_t>(1, kMaxChunkBytes / recordLength)});
    std::vector<unsigned char> chunk(chunkRecords * recordLength);
    std::uint16_t maxChannel = 0;
    for (std::size_t done = 0; done < count;) {
        const std::size_t n = std::min(count - done, chunkRecords);
        if (!file.ReadAt(header.pointDataOffset + done * recordLength, chunk.data(), n * recordLength))
            return Fail(ReadError::Truncated, "LAS: the point block ends before point " + std::to_string(done + n));
        DecodePositions(chunk.data(), n, header, cloud.positions.data() + done);
        if (!cloud.intensity.empty())
            las::DecodePointAttributes(chunk.data(), n, header, las::PointAttributesAt(cloud, done));
        if (colourOffset)
            maxChannel = std::max(maxChannel, DecodeRawColours(chunk.data(), n, recordLength, *colourOffset,
                                                               cloud.colors.data() + done));
        done += n;
        if (!ReportProgress(options, static_cast<double>(done) / static_cast<double>(count)))
            return Fail(ReadError::Cancelled, "LAS: cancelled");
    }
    return maxChannel;
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
    cloud.positions.resize(count);
    if (colourOffset)
        cloud.colors.resize(count);
    if (las::HasPointAttributes(header))
        las::ResizePointAttributes(cloud, count);

    const ReadResult<std::uint16_t> maxChannel = ReadPoints(file, header, colourOffset, options, cloud);
    if (!maxChannel)
        return maxChannel.Failure();
    if (colourOffset) {
        ScaleColours(cloud.colors, ColourFactor(maxChannel.Value()));
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
