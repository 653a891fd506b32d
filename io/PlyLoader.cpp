#include "io/PlyLoader.h"

#include "io/PlyVertexValues.h"
#include "io/PlyReadFailure.h"
#include "io/SizeArrays.h"
#include "io/ply/PlyFile.h"
#include "io/ply/PlyRecordReader.h"
#include "platform/Log.h"
#include "platform/MemoryHints.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>
#include <exception>
#include <limits>
#include <mutex>
#include <optional>

// A binary file is read straight into the cloud, block by block (twice: once for the origin
// and the colour scale, once for the values), so its values are never held a second time;
// ASCII files and files with list properties are read into a PlyFile first. Both roads give
// the same cloud: every stored type widens to double exactly, and the arithmetic below is
// the same for both.

namespace {

using plyloader::Column;
using plyloader::VertexValues;

// Calls f(begin, count) for consecutive pieces of a range of `count` records, small enough
// that the points they fill stay in cache while every column is written into them.
template <typename F>
void ForEachPiece(std::size_t count, F&& f)
{
    constexpr std::size_t kPiece = 8192;
    for (std::size_t begin = 0; begin < count; begin += kPiece)
        f(begin, std::min(kPiece, count - begin));
}

struct ColorFamily {
    const char* red;
    const char* green;
    const char* blue;
    const char* alpha;
};

constexpr std::array<ColorFamily, 3> kColorFamilies = {{
    {"red", "green", "blue", "alpha"},
    {"r", "g", "b", "a"},
    {"diffuse_red", "diffuse_green", "diffuse_blue", "diffuse_alpha"},
}};

// 8-bit colours (largest channel above 1.001 and at most 256) are divided by 255, colours
// already within 0..1.001 are kept, wider ones are normalised by their largest channel.
double ColorScale(double maxChannel)
{
    if (maxChannel <= 1.001)
        return 1.0;
    if (maxChannel <= 256.0)
        return 1.0 / 255.0;
    return 1.0 / maxChannel;
}

// The first of the names the vertex element has as a scalar property.
std::optional<Column> FirstColumnOf(VertexValues& values, std::initializer_list<const char*> names)
{
    for (const char* name : names)
        if (std::optional<Column> column = values.ColumnOf(name))
            return column;
    return std::nullopt;
}

// An attribute stored as any numeric type, rounded to the nearest integer of T and held to
// T's range; NaN gives 0.
template <typename T>
void ConvertAttribute(const Column& column, const std::byte* at, std::size_t count, T* out)
{
    constexpr double kHighest = std::numeric_limits<T>::max();
    for (std::size_t i = 0; i < count; ++i) {
        const double value = column.codec->first(at + i * column.stride);
        out[i] = value > 0.0 ? static_cast<T>(std::nearbyint(std::min(value, kHighest))) : T{0};
    }
}

// The first pass reads a third of what the second does.
constexpr ProgressSpan kScanPass{0.0, 0.25};
constexpr ProgressSpan kFillPass{0.25, 1.0};

ReadFailure Cancelled()
{
    return Fail(ReadError::Cancelled, "PLY: cancelled");
}

ReadFailure NoReadablePositions()
{
    Log(LogLevel::Error, "CPlyLoader", "failed to read x/y/z properties.");
    return Fail(ReadError::Malformed, "PLY: the vertex element has no readable x, y and z properties");
}

// Fills positions, origin and (when a colour family is complete and readable) colours from
// the vertex values. Ranges of records may be filled on several threads at once; the result
// is the same as in file order.
std::optional<ReadFailure> FillCloud(const orrisk::ply::PlyElement& vertex, VertexValues& values,
                                     const ReadOptions& options, PointCloudData& cloud)
{
    const auto count = static_cast<std::size_t>(vertex.recordCount);
    const std::array<std::optional<Column>, 3> axes = {values.ColumnOf("x"), values.ColumnOf("y"), values.ColumnOf("z")};
    if (count == 0 || !axes[0] || !axes[1] || !axes[2])
        return NoReadablePositions();

    std::array<std::optional<Column>, 4> colors;  // red, green, blue, alpha
    const auto family = std::find_if(kColorFamilies.begin(), kColorFamilies.end(), [&](const ColorFamily& f) {
        return vertex.ContainsProperty(f.red) && vertex.ContainsProperty(f.green) && vertex.ContainsProperty(f.blue);
    });
    if (family != kColorFamilies.end())
        colors = {values.ColumnOf(family->red), values.ColumnOf(family->green), values.ColumnOf(family->blue),
                  values.ColumnOf(family->alpha)};
    const bool hasColors = colors[0] && colors[1] && colors[2];
    const std::optional<Column> intensity = FirstColumnOf(values, {"intensity", "scalar_intensity"});
    const std::optional<Column> classification = FirstColumnOf(values, {"classification", "scalar_classification"});

    // First pass: the origin (per-axis minimum) and the largest colour channel. Every range
    // starts its minimum from the first record's value, so the ranges merge to what one scan
    // in file order finds: a NaN never replaces a minimum, a NaN in the first record stays.
    const std::vector<std::byte> firstRecord = values.FirstRecord();
    std::array<double, 3> minimum{};
    for (std::size_t a = 0; a < 3; ++a)
        minimum[a] = axes[a]->codec->first(axes[a]->At(firstRecord.data(), 0, 0));
    const std::array<double, 3> firstValues = minimum;
    std::array<double, 3> maximum{};
    std::mutex merge;
    const bool scanned = values.ForEachRange([&](const std::byte* records, std::size_t first, std::size_t n) {
        std::array<double, 3> rangeMinimum{};
        std::array<double, 3> rangeMaximum{};
        for (std::size_t a = 0; a < 3; ++a)
            rangeMinimum[a] = axes[a]->codec->minimum(axes[a]->At(records, 0, first), axes[a]->stride, n, firstValues[a]);
        for (std::size_t c = 0; hasColors && c < 3; ++c)
            rangeMaximum[c] = colors[c]->codec->maximum(colors[c]->At(records, 0, first), colors[c]->stride, n, 0.0);
        std::lock_guard lock(merge);
        for (std::size_t a = 0; a < 3; ++a)
            minimum[a] = rangeMinimum[a] < minimum[a] ? rangeMinimum[a] : minimum[a];
        for (std::size_t c = 0; c < 3; ++c)
            maximum[c] = std::max(maximum[c], rangeMaximum[c]);
    }, options, kScanPass);
    if (!scanned)
        return Cancelled();
    cloud.origin = {minimum[0], minimum[1], minimum[2]};
    const double scale = ColorScale(std::max({0.0, maximum[0], maximum[1], maximum[2]}));
    constexpr double kUnlimited = std::numeric_limits<double>::infinity();

    // Second pass: the values, a piece of points at a time so each is written once.
    SizeArraysOn(options.pool, {[&] {
                                     cloud.positions.resize(count);
                                     PrefaultForWriting(cloud.positions.data(), count * sizeof(Eigen::Vector3f));
                                 },
                                 [&] {
                                     if (!hasColors)
                                         return;
                                     cloud.colors.resize(count);
                                     PrefaultForWriting(cloud.colors.data(), count * sizeof(Eigen::Vector4f));
                                 },
                                 [&] {
                                     if (intensity)
                                         cloud.intensity.resize(count);
                                     if (classification)
                                         cloud.classification.resize(count);
                                 }});
    const bool filled = values.ForEachRange([&](const std::byte* records, std::size_t first, std::size_t n) {
        ForEachPiece(n, [&](std::size_t begin, std::size_t pieceCount) {
            const std::size_t point = first + begin;
            for (std::size_t a = 0; a < 3; ++a)
                axes[a]->codec->offsetTo(axes[a]->At(records, begin, point), axes[a]->stride, pieceCount,
                                         cloud.origin[static_cast<int>(a)], cloud.positions[point].data() + a, 3);
            if (intensity)
                ConvertAttribute(*intensity, intensity->At(records, begin, point), pieceCount, cloud.intensity.data() + point);
            if (classification)
                ConvertAttribute(*classification, classification->At(records, begin, point), pieceCount,
                                 cloud.classification.data() + point);
            if (!hasColors)
                return;
            for (std::size_t c = 0; c < 3; ++c)
                colors[c]->codec->scaleTo(colors[c]->At(records, begin, point), colors[c]->stride, pieceCount, scale,
                                          kUnlimited, cloud.colors[point].data() + c, 4);
            if (colors[3])
                colors[3]->codec->scaleTo(colors[3]->At(records, begin, point), colors[3]->stride, pieceCount, scale,
                                          1.0, cloud.colors[point].data() + 3, 4);
            else
                for (std::size_t i = 0; i < pieceCount; ++i)
                    cloud.colors[point + i][3] = 1.0f;
        });
    }, options, kFillPass);
    if (!filled)
        return Cancelled();
    cloud.hasColors = hasColors;
    cloud.upAxis = 1;
    return std::nullopt;
}

// The "vertex" element, or null after logging that there is none.
const orrisk::ply::PlyElement* FindVertex(const orrisk::ply::PlyFile& file)
{
    if (file.ContainsElement("vertex"))
        return &file.ElementNamed("vertex");
    Log(LogLevel::Error, "CPlyLoader", "no 'vertex' element.");
    return nullptr;
}

ReadFailure NoVertexElement()
{
    return Fail(ReadError::Malformed, "PLY: the file has no vertex element");
}

std::optional<ReadFailure> LoadVertices(const orrisk::ply::PlyElement& vertex, VertexValues& values,
                                        const ReadOptions& options, PointCloudData& cloud)
{
    if (std::optional<ReadFailure> failure = FillCloud(vertex, values, options, cloud))
        return failure;
    cloud.ComputeBounds();
    return std::nullopt;
}

std::optional<ReadFailure> LoadAnyEncoding(const std::string& path, const ReadOptions& options, PointCloudData& cloud)
{
    {
        orrisk::ply::PlyRecordReader reader(path);
        if (reader.HasFixedSizeRecords()) {
            reader.RequireCompleteBody();
            const orrisk::ply::PlyElement* vertex = FindVertex(reader.Header());
            if (!vertex)
                return NoVertexElement();
            return LoadVertices(*vertex, *plyloader::StreamedVertexValues(reader, *vertex), options, cloud);
        }
    }
    const orrisk::ply::PlyFile ply(path);
    const orrisk::ply::PlyElement* vertex = FindVertex(ply);
    if (!vertex)
        return NoVertexElement();
    return LoadVertices(*vertex, *plyloader::StoredVertexValues(*vertex), options, cloud);
}

}  // namespace

std::vector<double> ReadPropertyAsDouble(const orrisk::ply::PlyElement& element, const std::string& name)
{
    std::vector<double> result;
    try {
        plyloader::WithScalarValues(element, name, [&](const auto& values) { result.assign(values.begin(), values.end()); });
    } catch (...) {
        result.clear();  // a failed read is an empty result, never an exception
    }
    return result;
}

ReadResult<PointCloudData> ReadPly(const std::string& path, const ReadOptions& options)
{
    if (!ReportProgress(options, 0.0))
        return Cancelled();
    try {
        PointCloudData cloud;
        if (std::optional<ReadFailure> failure = LoadAnyEncoding(path, options, cloud))
            return *std::move(failure);
        return cloud;
    } catch (...) {
        return FailureOfCurrentException("CPlyLoader", "PLY");
    }
}
