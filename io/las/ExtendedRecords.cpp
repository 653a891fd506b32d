#include "io/las/ExtendedRecords.h"

#include "io/core/LittleEndian.h"
#include "io/core/PointRecords.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace las {
namespace {

constexpr std::uint8_t kLegacyOverlapClass = 12;
constexpr std::uint8_t kUnclassified = 1;

// Where the legacy formats keep GPS time and RGB; 0: not at all.
constexpr std::array<std::uint8_t, 6> kLegacyGpsTime{0, 20, 0, 20, 20, 20};
constexpr std::array<std::uint8_t, 6> kLegacyRgb{0, 0, 20, 28, 0, 28};

std::uint8_t TargetFormat(std::uint8_t format)
{
    switch (format) {
    case 2: case 3: case 5: case 7: return 7;
    case 8: case 10: return 8;
    default: return 6;
    }
}

// A scan angle rank in whole degrees as a count of 0.006 degree steps, rounded to the nearest
// (1000 r / 6 is never halfway between two integers).
std::int16_t ScanAngleSteps(std::int8_t rank)
{
    const int thousandths = rank * 1000;
    return static_cast<std::int16_t>((thousandths + (thousandths >= 0 ? 3 : -3)) / 6);
}

void MapLegacy(std::uint8_t format, const unsigned char* in, unsigned char* out, std::uint16_t targetLength)
{
    std::memset(out, 0, targetLength);
    std::memcpy(out, in, 14);  // X, Y, Z, intensity
    const unsigned char returns = in[14];
    const unsigned char classByte = in[15];
    const std::uint8_t returnNumber = returns & 0x07;
    const std::uint8_t numberOfReturns = (returns >> 3) & 0x07;
    std::uint8_t classification = classByte & 0x1F;
    std::uint8_t classFlags = (classByte >> 5) & 0x07;  // synthetic, key-point, withheld
    if (classification == kLegacyOverlapClass) {
        classification = kUnclassified;
        classFlags |= 0x08;
    }
    out[14] = static_cast<unsigned char>(returnNumber | (numberOfReturns << 4));
    out[15] = static_cast<unsigned char>(classFlags | (returns & 0xC0));  // scan direction, edge of flight line
    out[16] = classification;
    out[17] = in[17];
    StoreLE(out + 18, ScanAngleSteps(static_cast<std::int8_t>(in[16])));
    std::memcpy(out + 20, in + 18, 2);  // point source id
    if (kLegacyGpsTime[format] != 0)
        std::memcpy(out + 22, in + kLegacyGpsTime[format], 8);
    if (kLegacyRgb[format] != 0)
        std::memcpy(out + 30, in + kLegacyRgb[format], 6);
}

}  // namespace

std::optional<ExtendedMapping> PlanExtendedMapping(std::uint8_t format, std::uint16_t recordLength)
{
    if (format > 10)
        return std::nullopt;
    ExtendedMapping mapping;
    mapping.sourceFormat = format;
    mapping.sourceLength = recordLength;
    mapping.targetFormat = TargetFormat(format);
    const std::uint16_t standard = StandardRecordLength(format);
    mapping.extraBytes = static_cast<std::uint16_t>(recordLength > standard ? recordLength - standard : 0);
    mapping.targetLength = static_cast<std::uint16_t>(StandardRecordLength(mapping.targetFormat) + mapping.extraBytes);
    mapping.dropsWavePackets = format == 4 || format == 5 || format == 9 || format == 10;
    return mapping;
}

void MapToExtended(const ExtendedMapping& mapping, const unsigned char* in, std::size_t count, unsigned char* out)
{
    const std::uint16_t standard = StandardRecordLength(mapping.sourceFormat);
    const std::uint16_t targetStandard = StandardRecordLength(mapping.targetFormat);
    // A short record is read through a zeroed copy of the standard size.
    std::array<unsigned char, 67> padded{};
    const bool isShort = mapping.sourceLength < standard;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* record = in + i * mapping.sourceLength;
        unsigned char* target = out + i * mapping.targetLength;
        if (isShort) {
            std::fill(padded.begin(), padded.end(), 0);
            std::memcpy(padded.data(), record, mapping.sourceLength);
            record = padded.data();
        }
        if (mapping.sourceFormat < 6)
            MapLegacy(mapping.sourceFormat, record, target, targetStandard);
        else
            std::memcpy(target, record, targetStandard);  // 9 and 10 lose only their wave packet at the end
        if (mapping.extraBytes != 0)
            std::memcpy(target + targetStandard, record + standard, mapping.extraBytes);
    }
}

}  // namespace las
