#include "io/las/LasRecords.h"

#include "io/core/LittleEndian.h"
#include "scene/PointCloudData.h"

#include <algorithm>
#include <cstring>

namespace las {
namespace {

// Enough to check the signature and find the header size field.
constexpr std::size_t kHeaderProbeSize = 96;

}  // namespace

ReadResult<HeaderImage> ReadHeaderImage(const ReadOnlyFile& file)
{
    HeaderImage image{};
    // The signature first: a short file of some other kind is not a LAS file cut short.
    if (!file.ReadAt(0, image.data(), 4))
        return Fail(ReadError::Truncated, "LAS: the file ends inside its header");
    if (std::memcmp(image.data(), "LASF", 4) != 0)
        return Fail(ReadError::NotRecognised, "LAS: not a LAS file (it does not start with LASF)");
    if (!file.ReadAt(0, image.data(), kHeaderProbeSize))
        return Fail(ReadError::Truncated, "LAS: the file ends inside its header");
    const std::size_t headerSize = std::min<std::size_t>(LoadLE<std::uint16_t>(&image[94]), kHeaderImageSize);
    if (!file.ReadAt(0, image.data(), headerSize))
        return Fail(ReadError::Truncated, "LAS: the file ends inside its header");
    return image;
}

LasHeader ParseHeader(const HeaderImage& image)
{
    LasHeader header;
    const std::uint8_t versionMajor = image[24];
    const std::uint8_t versionMinor = image[25];
    header.pointCount = LoadLE<std::uint32_t>(&image[107]);
    // LAS 1.4 added a 64-bit count and lets writers leave the legacy 32-bit one at 0.
    if (header.pointCount == 0 && versionMajor == 1 && versionMinor >= 4)
        header.pointCount = LoadLE<std::uint64_t>(&image[247]);
    header.headerSize = LoadLE<std::uint16_t>(&image[94]);
    header.pointDataOffset = LoadLE<std::uint32_t>(&image[96]);
    header.vlrCount = LoadLE<std::uint32_t>(&image[100]);
    // The top two bits flag compressed data in some writers; the format is in the low six.
    header.formatByte = image[104];
    header.format = image[104] & 0x3F;
    header.recordLength = LoadLE<std::uint16_t>(&image[105]);
    for (std::size_t axis = 0; axis < 3; ++axis) {
        header.scale[axis] = LoadLE<double>(&image[131 + 8 * axis]);
        header.offset[axis] = LoadLE<double>(&image[155 + 8 * axis]);
        header.minimum[axis] = LoadLE<double>(&image[187 + 16 * axis]);  // max and min alternate
    }
    return header;
}

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

namespace {

constexpr std::uint8_t kLastLegacyFormat = 5;
constexpr std::uint8_t kLastStandardFormat = 10;

bool ExtendedFormat(const LasHeader& header)
{
    return header.format > kLastLegacyFormat;
}

}  // namespace

bool HasPointAttributes(const LasHeader& header)
{
    const std::size_t needed = ExtendedFormat(header) ? 17 : 16;
    return header.format <= kLastStandardFormat && header.recordLength >= needed;
}

void ResizePointAttributes(PointCloudData& cloud, std::size_t count)
{
    cloud.intensity.resize(count);
    cloud.classification.resize(count);
    cloud.returnNumber.resize(count);
    cloud.numberOfReturns.resize(count);
}

PointAttributesOut PointAttributesAt(PointCloudData& cloud, std::size_t first)
{
    return {cloud.intensity.data() + first, cloud.classification.data() + first, cloud.returnNumber.data() + first,
            cloud.numberOfReturns.data() + first};
}

void DecodePointAttributes(const unsigned char* records, std::size_t count, const LasHeader& header,
                           const PointAttributesOut& out)
{
    const std::size_t recordLength = header.recordLength;
    if (ExtendedFormat(header)) {
        for (std::size_t i = 0; i < count; ++i, records += recordLength) {
            out.intensity[i] = LoadLE<std::uint16_t>(records + 12);
            out.returnNumber[i] = records[14] & 15;
            out.numberOfReturns[i] = records[14] >> 4;
            out.classification[i] = records[16];
        }
        return;
    }
    for (std::size_t i = 0; i < count; ++i, records += recordLength) {
        out.intensity[i] = LoadLE<std::uint16_t>(records + 12);
        out.returnNumber[i] = records[14] & 7;
        out.numberOfReturns[i] = (records[14] >> 3) & 7;
        out.classification[i] = records[15] & 31;
    }
}

void DecodePositions(const unsigned char* records, std::size_t count, const LasHeader& header, Eigen::Vector3f* out)
{
    for (std::size_t i = 0; i < count; ++i, records += header.recordLength) {
        for (std::size_t axis = 0; axis < 3; ++axis) {
            const double stored = LoadLE<std::int32_t>(records + 4 * axis);
            out[i][axis] = static_cast<float>(stored * header.scale[axis] + header.offset[axis] - header.minimum[axis]);
        }
    }
}

std::uint16_t DecodeRawColours(const unsigned char* records, std::size_t count, std::size_t recordLength,
                               std::size_t colourOffset, Eigen::Vector4f* out)
{
    std::uint16_t maxChannel = 0;
    records += colourOffset;
    for (std::size_t i = 0; i < count; ++i, records += recordLength) {
        const auto red = LoadLE<std::uint16_t>(records);
        const auto green = LoadLE<std::uint16_t>(records + 2);
        const auto blue = LoadLE<std::uint16_t>(records + 4);
        maxChannel = std::max({maxChannel, red, green, blue});
        out[i] = Eigen::Vector4f(red, green, blue, 1.0f);
    }
    return maxChannel;
}

float ColourFactor(std::uint16_t maxChannel)
{
    if (maxChannel == 0)
        return 1.0f;
    return maxChannel > 255 ? 1.0f / 65535.0f : 1.0f / 255.0f;
}

void ScaleColours(std::span<Eigen::Vector4f> colours, float factor)
{
    if (factor == 1.0f)
        return;
    for (Eigen::Vector4f& colour : colours)
        colour.head<3>() *= factor;
}

}  // namespace las
