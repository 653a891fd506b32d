#include "io/LasReader.h"

#include "scene/PointCloudData.h"
#include "io/ReadOnlyFile.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <vector>

static_assert(std::endian::native == std::endian::little, "LAS fields are copied straight into host integers");

namespace {

// The LAS 1.4 public header block; older, shorter headers leave zeros past their end.
constexpr std::size_t kHeaderImageSize = 375;
// Enough to check the signature and find the header size field.
constexpr std::size_t kHeaderProbeSize = 96;
// X, Y and Z as 32-bit integers: the least a point record holds.
constexpr std::uint16_t kMinimumRecordLength = 12;
constexpr std::size_t kRecordsPerChunk = 65536;
// Records may be up to 64 KiB long; this keeps one chunk of them from needing gigabytes.
constexpr std::size_t kMaxChunkBytes = std::size_t{64} << 20;

using HeaderImage = std::array<unsigned char, kHeaderImageSize>;

template <typename T>
T ReadField(const unsigned char* bytes)
{
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

struct LasHeader {
    std::uint64_t pointCount = 0;
    std::uint32_t pointDataOffset = 0;
    std::uint16_t recordLength = 0;
    std::uint8_t format = 0;
    std::array<double, 3> scale{};
    std::array<double, 3> offset{};
    std::array<double, 3> minimum{};
};

ReadResult<HeaderImage> ReadHeaderImage(const ReadOnlyFile& file)
{
    HeaderImage image{};
    if (!file.ReadAt(0, image.data(), kHeaderProbeSize))
        return Fail(ReadError::Truncated, "LAS: the file ends inside its header");
    if (std::memcmp(image.data(), "LASF", 4) != 0)
        return Fail(ReadError::NotRecognised, "LAS: no LASF signature");
    const std::size_t headerSize = std::min<std::size_t>(ReadField<std::uint16_t>(&image[94]), kHeaderImageSize);
    if (!file.ReadAt(0, image.data(), headerSize))
        return Fail(ReadError::Truncated, "LAS: the file ends inside its header");
    return image;
}

LasHeader ParseHeader(const HeaderImage& image)
{
    LasHeader header;
    const std::uint8_t versionMajor = image[24];
    const std::uint8_t versionMinor = image[25];
    header.pointCount = ReadField<std::uint32_t>(&image[107]);
    // LAS 1.4 added a 64-bit count and lets writers leave the legacy 32-bit one at 0.
    if (header.pointCount == 0 && versionMajor == 1 && versionMinor >= 4)
        header.pointCount = ReadField<std::uint64_t>(&image[247]);
    header.pointDataOffset = ReadField<std::uint32_t>(&image[96]);
    // The top two bits flag compressed data in some writers; the format is in the low six.
    header.format = image[104] & 0x3F;
    header.recordLength = ReadField<std::uint16_t>(&image[105]);
    for (std::size_t axis = 0; axis < 3; ++axis) {
        header.scale[axis] = ReadField<double>(&image[131 + 8 * axis]);
        header.offset[axis] = ReadField<double>(&image[155 + 8 * axis]);
        header.minimum[axis] = ReadField<double>(&image[187 + 16 * axis]);  // max and min alternate
    }
    return header;
}

// A header may claim up to 2^64 - 1 points; nothing is sized before the file is known to hold them.
bool FileHoldsPoints(const LasHeader& header, std::uint64_t fileSize)
{
    return header.pointDataOffset <= fileSize
        && header.pointCount <= (fileSize - header.pointDataOffset) / header.recordLength;
}

// Where the 16-bit red, green and blue sit in the record, when the format has them and the
// record is long enough to hold all three.
std::optional<std::size_t> ColourOffset(const LasHeader& header)
{
    std::size_t offset = 0;
    switch (header.format) {
    case 2: offset = 20; break;
    case 3: case 5: offset = 28; break;
    case 7: case 8: case 10: offset = 30; break;
    default: return std::nullopt;
    }
    if (offset + 3 * sizeof(std::uint16_t) > header.recordLength)
        return std::nullopt;
    return offset;
}

// Coordinates go to float only after the offset from the minimum corner is taken in double,
// so large world coordinates keep their precision.
void DecodePositions(const unsigned char* records, std::size_t count, const LasHeader& header, Eigen::Vector3f* out)
{
    for (std::size_t i = 0; i < count; ++i, records += header.recordLength) {
        for (std::size_t axis = 0; axis < 3; ++axis) {
            const double stored = ReadField<std::int32_t>(records + 4 * axis);
            out[i][axis] = static_cast<float>(stored * header.scale[axis] + header.offset[axis] - header.minimum[axis]);
        }
    }
}

// Stores the raw channel values (the scale depends on the largest channel of the whole file)
// and returns the largest channel seen.
std::uint16_t DecodeRawColours(const unsigned char* records, std::size_t count, std::size_t recordLength,
                               std::size_t colourOffset, Eigen::Vector4f* out)
{
    std::uint16_t maxChannel = 0;
    records += colourOffset;
    for (std::size_t i = 0; i < count; ++i, records += recordLength) {
        const auto red = ReadField<std::uint16_t>(records);
        const auto green = ReadField<std::uint16_t>(records + 2);
        const auto blue = ReadField<std::uint16_t>(records + 4);
        maxChannel = std::max({maxChannel, red, green, blue});
        out[i] = Eigen::Vector4f(red, green, blue, 1.0f);
    }
    return maxChannel;
}

// Many writers store 8-bit colours in the 16-bit fields, so a file whose channels never
// exceed 255 is taken as 8-bit; an all-black file keeps its zeros.
float ColourFactor(std::uint16_t maxChannel)
{
    if (maxChannel == 0)
        return 1.0f;
    return maxChannel > 255 ? 1.0f / 65535.0f : 1.0f / 255.0f;
}

void ScaleColours(std::vector<Eigen::Vector4f>& colours, float factor)
{
    if (factor == 1.0f)
        return;
    for (Eigen::Vector4f& colour : colours)
        colour.head<3>() *= factor;
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
