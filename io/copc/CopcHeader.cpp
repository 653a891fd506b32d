#include "io/copc/CopcHeader.h"

#include "io/core/LittleEndian.h"
#include "io/core/ReadOnlyFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace {

constexpr std::size_t kInfoVlrAt = 375;
constexpr std::size_t kInfoAt = kInfoVlrAt + 54;

bool AllFinite(std::span<const double> values)
{
    return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

}  // namespace

bool LooksLikeCopc(std::span<const std::uint8_t> prefix)
{
    return prefix.size() >= kCopcPrefixSize && std::memcmp(prefix.data(), "LASF", 4) == 0 &&
           (prefix[104] & 0x80) != 0 &&  // LAZ marks compressed point formats with the top bit
           std::memcmp(prefix.data() + kInfoVlrAt + 2, "copc", 4) == 0 && prefix[kInfoVlrAt + 18] == 1 &&
           prefix[kInfoVlrAt + 19] == 0;
}

ReadResult<CopcPrefix> ReadCopcPrefix(const ReadOnlyFile& file)
{
    const auto fileSize = file.RegularFileSize();
    if (!file.IsOpen() || !fileSize)
        return Fail(ReadError::CannotOpen, "COPC: the file cannot be opened as a regular file");
    std::array<std::uint8_t, kCopcPrefixSize> bytes{};
    if (*fileSize < bytes.size() || !file.ReadAt(0, bytes.data(), bytes.size()) || !LooksLikeCopc(bytes))
        return Fail(ReadError::NotRecognised, "COPC: no LAZ header followed by the copc info VLR");

    CopcPrefix prefix;
    CopcLasHeader& header = prefix.header;
    header.fileSize = *fileSize;
    const std::uint8_t versionMajor = bytes[24], versionMinor = bytes[25];
    const auto headerSize = LoadLE<std::uint16_t>(bytes.data() + 94);
    header.pointDataOffset = LoadLE<std::uint32_t>(bytes.data() + 96);
    header.pointFormat = bytes[104] & 0x3f;
    header.recordLength = LoadLE<std::uint16_t>(bytes.data() + 105);
    for (std::size_t axis = 0; axis < 3; ++axis) {
        header.scale[axis] = LoadLE<double>(bytes.data() + 131 + 8 * axis);
        header.offset[axis] = LoadLE<double>(bytes.data() + 155 + 8 * axis);
        header.maximum[axis] = LoadLE<double>(bytes.data() + 179 + 16 * axis);
        header.minimum[axis] = LoadLE<double>(bytes.data() + 187 + 16 * axis);
    }
    header.firstEvlrOffset = LoadLE<std::uint64_t>(bytes.data() + 235);
    header.evlrCount = LoadLE<std::uint32_t>(bytes.data() + 243);
    header.pointCount = LoadLE<std::uint64_t>(bytes.data() + 247);

    if (versionMajor != 1 || versionMinor != 4 || headerSize < 375)
        return Fail(ReadError::Malformed, "COPC: the header is not a LAS 1.4 header (version " +
                                              std::to_string(versionMajor) + "." + std::to_string(versionMinor) +
                                              ", size " + std::to_string(headerSize) + ")");
    if (header.pointFormat < 6 || header.pointFormat > 8)
        return Fail(ReadError::Malformed,
                    "COPC: point format " + std::to_string(header.pointFormat) + " is not one of 6, 7 and 8");
    if (header.pointDataOffset < kCopcPrefixSize || header.pointDataOffset > header.fileSize)
        return Fail(ReadError::Malformed, "COPC: the point data offset " + std::to_string(header.pointDataOffset) +
                                              " is outside the file");
    if (!AllFinite(header.scale) || !AllFinite(header.offset) ||
        std::any_of(header.scale.begin(), header.scale.end(), [](double s) { return s == 0; }))
        return Fail(ReadError::Malformed, "COPC: the header's scale or offset is zero or not finite");

    const auto vlrLength = LoadLE<std::uint16_t>(bytes.data() + kInfoVlrAt + 20);
    if (vlrLength < 160)
        return Fail(ReadError::Malformed,
                    "COPC: the info VLR holds " + std::to_string(vlrLength) + " bytes, not 160");
    CopcInfo& info = prefix.info;
    for (std::size_t axis = 0; axis < 3; ++axis)
        info.center[axis] = LoadLE<double>(bytes.data() + kInfoAt + 8 * axis);
    info.halfSize = LoadLE<double>(bytes.data() + kInfoAt + 24);
    info.spacing = LoadLE<double>(bytes.data() + kInfoAt + 32);
    info.rootPageOffset = LoadLE<std::uint64_t>(bytes.data() + kInfoAt + 40);
    info.rootPageSize = LoadLE<std::uint64_t>(bytes.data() + kInfoAt + 48);
    info.gpsTimeMinimum = LoadLE<double>(bytes.data() + kInfoAt + 56);
    info.gpsTimeMaximum = LoadLE<double>(bytes.data() + kInfoAt + 64);
    if (!AllFinite(info.center) || !std::isfinite(info.halfSize) || !(info.halfSize > 0) ||
        !std::isfinite(info.spacing) || info.spacing < 0)
        return Fail(ReadError::Malformed, "COPC: the info VLR's centre, half size or spacing is not a finite size");
    return prefix;
}
