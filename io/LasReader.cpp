#include "io/LasReader.h"

#include "document/PointCloudData.h"
#include "io/LasRecords.h"
#include "io/ReadOnlyFile.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <optional>
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
// colour channel, or nothing when the block cannot be read in full.
std::optional<std::uint16_t> ReadPoints(const ReadOnlyFile& file, const LasHeader& header,
                                        std::optional<std::size_t> colourOffset, PointCloudData& cloud)
{
    const std::size_t count = cloud.positions.size();
    const std::size_t recordLength = header.recordLength;
    const std::size_t chunkRecords = std::min({count, kRecordsPerChunk, std::max<std::size_t>(1, kMaxChunkBytes / recordLength)});
    std::vector<unsigned char> chunk(chunkRecords * recordLength);
    std::uint16_t maxChannel = 0;
    for (std::size_t done = 0; done < count;) {
        const std::size_t n = std::min(count - done, chunkRecords);
        if (!file.ReadAt(header.pointDataOffset + done * recordLength, chunk.data(), n * recordLength))
            return std::nullopt;
        DecodePositions(chunk.data(), n, header, cloud.positions.data() + done);
        if (colourOffset)
            maxChannel = std::max(maxChannel, DecodeRawColours(chunk.data(), n, recordLength, *colourOffset,
                                                               cloud.colors.data() + done));
        done += n;
    }
    return maxChannel;
}

bool ReadLas(const std::string& path, PointCloudData& cloud)
{
    const ReadOnlyFile file(path);
    const std::optional<std::uint64_t> fileSize = file.RegularFileSize();
    if (!fileSize)
        return false;
    const std::optional<HeaderImage> image = ReadHeaderImage(file);
    if (!image)
        return false;
    const LasHeader header = ParseHeader(*image);
    if (header.pointCount == 0 || header.recordLength < kMinimumRecordLength || !FileHoldsPoints(header, *fileSize))
        return false;

    const std::optional<std::size_t> colourOffset = ColourOffset(header);
    // Fits: the count is bounded by the file size above.
    const auto count = static_cast<std::size_t>(header.pointCount);
    cloud.origin = {header.minimum[0], header.minimum[1], header.minimum[2]};
    cloud.positions.resize(count);
    if (colourOffset)
        cloud.colors.resize(count);

    const std::optional<std::uint16_t> maxChannel = ReadPoints(file, header, colourOffset, cloud);
    if (!maxChannel)
        return false;
    if (colourOffset) {
        ScaleColours(cloud.colors, ColourFactor(*maxChannel));
        cloud.hasColors = true;
    }
    cloud.ComputeBounds();
    return true;
}

}  // namespace

bool LoadLas(const std::string& path, PointCloudData& pointCloud)
{
    pointCloud.Clear();
    try {
        if (ReadLas(path, pointCloud))
            return true;
    } catch (const std::exception&) {
        // Out of memory for a cloud the file really holds: a failed load like any other.
    }
    pointCloud = PointCloudData();  // nothing of a failed load survives, and its storage goes back
    return false;
}
