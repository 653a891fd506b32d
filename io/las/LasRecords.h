#pragma once

#include "io/core/ReadOnlyFile.h"
#include "io/core/ReadResult.h"

#include <Eigen/Core>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

struct PointCloudData;

// The LAS public header and the conversion of raw point records into positions and colours,
// shared by the uncompressed reader and the LAZ decoder so that both yield the same arrays.
namespace las {

// The LAS 1.4 public header block; older, shorter headers leave zeros past their end.
inline constexpr std::size_t kHeaderImageSize = 375;
using HeaderImage = std::array<unsigned char, kHeaderImageSize>;

struct LasHeader {
    std::uint64_t pointCount = 0;
    std::uint32_t pointDataOffset = 0;
    std::uint16_t recordLength = 0;
    std::uint8_t format = 0;
    std::uint8_t formatByte = 0;  // with the compression bits some writers set
    std::uint16_t headerSize = 0;
    std::uint32_t vlrCount = 0;
    std::array<double, 3> scale{};
    std::array<double, 3> offset{};
    std::array<double, 3> minimum{};
};

// The header bytes, or why the file does not start like a LAS file.
ReadResult<HeaderImage> ReadHeaderImage(const ReadOnlyFile& file);
LasHeader ParseHeader(const HeaderImage& image);

// Where the 16-bit red, green and blue sit in the record, when the format has them and the
// record is long enough to hold all three.
std::optional<std::size_t> ColourOffset(const LasHeader& header);

// Intensity, return number, number of returns and classification, which every standard
// format holds at fixed places when the record is long enough. Formats 0 to 5 pack the
// returns in 3 bits each and the class in the low 5 bits of byte 15; formats 6 to 10 give
// the returns 4 bits each and the class a byte of its own at 16.
bool HasPointAttributes(const LasHeader& header);

struct PointAttributesOut {
    std::uint16_t* intensity;
    std::uint8_t* classification;
    std::uint8_t* returnNumber;
    std::uint8_t* numberOfReturns;
};
// Sizes the cloud's four attribute arrays to `count` points; where point `first` goes in them.
void ResizePointAttributes(PointCloudData& cloud, std::size_t count);
PointAttributesOut PointAttributesAt(PointCloudData& cloud, std::size_t first);
// Only for headers with HasPointAttributes.
void DecodePointAttributes(const unsigned char* records, std::size_t count, const LasHeader& header,
                           const PointAttributesOut& out);

// Coordinates go to float only after the offset from the minimum corner is taken in double,
// so large world coordinates keep their precision.
void DecodePositions(const unsigned char* records, std::size_t count, const LasHeader& header, Eigen::Vector3f* out);

// Stores the raw channel values (the scale depends on the largest channel of the whole file)
// and returns the largest channel seen.
std::uint16_t DecodeRawColours(const unsigned char* records, std::size_t count, std::size_t recordLength,
                               std::size_t colourOffset, Eigen::Vector4f* out);

// Many writers store 8-bit colours in the 16-bit fields, so a file whose channels never
// exceed 255 is taken as 8-bit; an all-black file keeps its zeros.
float ColourFactor(std::uint16_t maxChannel);
void ScaleColours(std::span<Eigen::Vector4f> colours, float factor);

}  // namespace las
