#pragma once

// Test-side LAS writer and a point-by-point reference decoder, for the reader's tests.

#include "scene/PointCloudData.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lastest {

// The scale factors the reader must use, as 32-bit floats.
inline constexpr float kFactor8Bit = 0.003921569f;    // 1/255
inline constexpr float kFactor16Bit = 1.5259022e-05f;  // 1/65535

struct Point {
    std::int32_t x = 0, y = 0, z = 0;
    std::uint16_t red = 0, green = 0, blue = 0;
};

template <typename T>
void Put(std::vector<std::uint8_t>& bytes, std::size_t at, T value)
{
    // Fields that do not fit (a short header, a short record) are simply not written.
    if (at + sizeof value <= bytes.size())
        std::memcpy(bytes.data() + at, &value, sizeof value);
}

template <typename T>
T Get(std::string_view bytes, std::size_t at)
{
    T value;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

// The file's bytes with one field overwritten, for headers the writer would not produce.
template <typename T>
std::string Patched(std::string bytes, std::size_t at, T value)
{
    std::memcpy(bytes.data() + at, &value, sizeof value);
    return bytes;
}

// Everything the writer puts in a file; the defaults give a valid LAS 1.2 point format 0 file.
struct LasFile {
    std::array<char, 4> signature{'L', 'A', 'S', 'F'};
    std::uint8_t versionMajor = 1;
    std::uint8_t versionMinor = 2;
    std::uint16_t headerSize = 227;
    std::optional<std::uint32_t> pointDataOffset;  // default: right after the header
    std::uint8_t formatByte = 0;
    std::uint16_t recordLength = 20;
    std::optional<std::uint32_t> legacyCount;  // default: the number of points
    std::uint64_t count64 = 0;
    std::array<double, 3> scale{0.01, 0.01, 0.01};
    std::array<double, 3> offset{};
    std::array<double, 3> minimum{};
    std::optional<std::size_t> colourOffset;  // where red, green, blue go; none: not written
    std::vector<Point> points;

    std::string Bytes() const
    {
        std::vector<std::uint8_t> header(375, 0);
        std::memcpy(header.data(), signature.data(), 4);
        header[24] = versionMajor;
        header[25] = versionMinor;
        Put(header, 94, headerSize);
        Put(header, 96, pointDataOffset.value_or(headerSize));
        header[104] = formatByte;
        Put(header, 105, recordLength);
        Put(header, 107, legacyCount.value_or(static_cast<std::uint32_t>(points.size())));
        for (std::size_t axis = 0; axis < 3; ++axis) {
            Put(header, 131 + 8 * axis, scale[axis]);
            Put(header, 155 + 8 * axis, offset[axis]);
            Put(header, 179 + 16 * axis, minimum[axis] + 1000.0);  // max, unused by the reader
            Put(header, 187 + 16 * axis, minimum[axis]);
        }
        Put(header, 247, count64);
        header.resize(headerSize, 0);
        if (pointDataOffset && *pointDataOffset > header.size())
            header.resize(*pointDataOffset, 0);

        std::vector<std::uint8_t> file = header;
        for (const Point& point : points) {
            std::vector<std::uint8_t> record(recordLength, 0);
            Put(record, 0, point.x);
            Put(record, 4, point.y);
            Put(record, 8, point.z);
            if (colourOffset) {
                Put(record, *colourOffset, point.red);
                Put(record, *colourOffset + 2, point.green);
                Put(record, *colourOffset + 4, point.blue);
            }
            file.insert(file.end(), record.begin(), record.end());
        }
        return {file.begin(), file.end()};
    }
};

// Varied points with distinct colours whose channels stay at or below maxChannel.
inline std::vector<Point> MakePoints(std::size_t count, std::uint16_t maxChannel = 255)
{
    std::vector<Point> points(count);
    std::uint32_t state = 12345;
    auto next = [&state] { return state = state * 1664525u + 1013904223u; };
    for (Point& p : points) {
        p.x = static_cast<std::int32_t>(next()) / 8;
        p.y = static_cast<std::int32_t>(next()) / 8;
        p.z = static_cast<std::int32_t>(next() % 200000) - 100000;
        p.red = static_cast<std::uint16_t>(next() % (maxChannel + 1u));
        p.green = static_cast<std::uint16_t>(next() % (maxChannel + 1u));
        p.blue = static_cast<std::uint16_t>(next() % (maxChannel + 1u));
    }
    return points;
}

// Decodes count records one at a time, straight from the file's bytes, with the colour scale
// chosen from the largest channel in the file: what the reader must produce.
inline PointCloudData DecodePointByPoint(std::string_view file, std::size_t count,
                                         std::optional<std::size_t> colourOffset)
{
    const auto pointOffset = Get<std::uint32_t>(file, 96);
    const auto recordLength = Get<std::uint16_t>(file, 105);
    PointCloudData cloud;
    for (std::size_t axis = 0; axis < 3; ++axis)
        cloud.origin[axis] = Get<double>(file, 187 + 16 * axis);
    std::uint16_t maxChannel = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t record = pointOffset + i * recordLength;
        Eigen::Vector3f position;
        for (std::size_t axis = 0; axis < 3; ++axis) {
            const double world = Get<std::int32_t>(file, record + 4 * axis) * Get<double>(file, 131 + 8 * axis)
                               + Get<double>(file, 155 + 8 * axis);
            position[axis] = static_cast<float>(world - cloud.origin[axis]);
        }
        cloud.positions.push_back(position);
        if (colourOffset) {
            Eigen::Vector4f colour(1, 1, 1, 1);
            for (std::size_t channel = 0; channel < 3; ++channel) {
                const auto value = Get<std::uint16_t>(file, record + *colourOffset + 2 * channel);
                maxChannel = std::max(maxChannel, value);
                colour[channel] = value;
            }
            cloud.colors.push_back(colour);
        }
    }
    const float factor = maxChannel == 0 ? 1.0f : maxChannel > 255 ? kFactor16Bit : kFactor8Bit;
    for (Eigen::Vector4f& colour : cloud.colors)
        for (std::size_t channel = 0; channel < 3; ++channel)
            colour[channel] = colour[channel] * factor;
    cloud.hasColors = colourOffset.has_value();
    cloud.ComputeBounds();
    return cloud;
}

}  // namespace lastest
