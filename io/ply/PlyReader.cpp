#include "io/ply/PlyReader.h"

#include "io/core/SizeArrays.h"
#include "io/ply/PlyCloudColumns.h"
#include "io/ply/PlyFile.h"
#include "io/ply/PlyReadFailure.h"
#include "io/ply/PlyRecordReader.h"
#include "io/ply/PlyVertexValues.h"
#include "platform/MemoryHints.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <limits>
#include <optional>

// A binary file is read straight into the cloud, block by block, so its values are never held
// a second time (see FillCloud for when it is read once and when twice); ASCII files and
// files with list properties are read into a PlyFile first. Both roads give
// the same cloud: every stored type widens to double exactly, and the arithmetic below is
// the same for both.

namespace {

using plycloud::CloudColumns;
using plycloud::Column;
using plycloud::ExtremesInFileOrder;
using plycloud::StoredExtremes;
using plycloud::ValueRange;
using plycloud::VertexValues;

// Calls f(begin, count) for consecutive pieces of a range of `count` records, small enough
// that the points they fill stay in cache while every column is written into them.
template <typename F>
void ForEachPiece(std::size_t count, F&& f)
{
    constexpr std::size_t kPiece = 8192;
    for (std::size_t begin = 0; begin < count; begin += kPiece)
        f(begin, std::min(kPiece, count - begin));
}

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

// With the origin first, its pass reads a third of what the filling pass does.
constexpr ProgressSpan kScanPass{0.0, 0.25};
constexpr ProgressSpan kFillAfterScan{0.25, 1.0};
// Otherwise the one pass is nearly all of it; a second look at the colours, when their scale
// was guessed wrong, takes the rest.
constexpr ProgressSpan kOnlyPass{0.0, 0.95};
constexpr ProgressSpan kColorPass{0.95, 1.0};

ReadFailure Cancelled()
{
    return Fail(ReadError::Cancelled, "PLY: cancelled");
}

// The component the reader's notes name.
constexpr const char* kComponent = "CPlyLoader";

ReadFailure NoReadablePositions(ReadNotes& notes)
{
    notes.push_back({NoteLevel::Error, kComponent, "failed to read x/y/z properties."});
    return Fail(ReadError::Malformed, "PLY: the vertex element has no readable x, y and z properties");
}

// The scale colours of red's type most likely have, before their values are seen: 8-bit
// integers (the usual colour) are divided by 255, floating-point colours are kept.
double LikelyColorScale(const Column& red)
{
    return red.codec->integral ? 1.0 / 255.0 : 1.0;
}

// Writes the colours of `count` points; returns the largest red, green or blue value read,
// or `floor` when none is larger.
double WriteColors(const CloudColumns& columns, const std::byte* records, std::size_t begin, std::size_t point,
                   std::size_t count, double scale, double floor, PointCloudData& cloud)
{
    constexpr double kUnlimited = std::numeric_limits<double>::infinity();
    double largest = floor;
    for (std::size_t c = 0; c < 3; ++c) {
        const Column& channel = *columns.colors[c];
        largest = channel.codec->scaleTo(channel.At(records, begin, point), channel.stride, count, scale, kUnlimited,
                                         cloud.colors[point].data() + c, 4, largest);
    }
    if (const std::optional<Column>& alpha = columns.colors[3])
        alpha->codec->scaleTo(alpha->At(records, begin, point), alpha->stride, count, scale, 1.0,
                              cloud.colors[point].data() + 3, 4, 0.0);
    else
        for (std::size_t i = 0; i < count; ++i)
            cloud.colors[point + i][3] = 1.0f;
    return largest;
}

void SizeCloud(const CloudColumns& columns, std::size_t count, ThreadPool* pool, PointCloudData& cloud)
{
    SizeArraysOn(pool, {[&] {
                            cloud.positions.resize(count);
                            PrefaultForWriting(cloud.positions.data(), count * sizeof(Eigen::Vector3f));
                        },
                        [&] {
                            if (!columns.HasColors())
                                return;
                            cloud.colors.resize(count);
                            PrefaultForWriting(cloud.colors.data(), count * sizeof(Eigen::Vector4f));
                        },
                        [&] {
                            if (columns.intensity)
                                cloud.intensity.resize(count);
                            if (columns.classification)
                                cloud.classification.resize(count);
                        }});
}

// Moves positions written as stored by the origin, as the reading would have with the
// origin known: exact for values that float holds exactly.
void MovePositions(PointCloudData& cloud, const Eigen::Vector3d& origin, ThreadPool* pool)
{
    constexpr std::size_t kSlice = std::size_t{1} << 16;
    const std::size_t count = cloud.positions.size();
    ParallelFor(pool, (count + kSlice - 1) / kSlice, [&](std::size_t slice) {
        const std::size_t end = std::min(count, (slice + 1) * kSlice);
        for (std::size_t i = slice * kSlice; i < end; ++i)
            for (int a = 0; a < 3; ++a)
                cloud.positions[i][a] = static_cast<float>(static_cast<double>(cloud.positions[i][a]) - origin[a]);
    });
}

// Fills positions, origin, bounds and (when a colour family is complete and readable) colours
// from the vertex values. Ranges of records may be filled on several threads at once; the
// result is the same as in file order.
//
// Positions stored as float or narrower are written as stored in the one pass over the
// file, then moved by the origin; wider ones need the origin first, from a pass of their own.
// Colours are scaled in the same pass by the scale their type makes likely and read again
// in the rare file where their largest value says otherwise. The bounds follow from the
// extremes of the stored values: moving by a finite origin and rounding keep their order.
std::optional<ReadFailure> FillCloud(const orrisk::ply::PlyElement& vertex, VertexValues& values,
                                     const ReadOptions& options, PointCloudData& cloud, ReadNotes& notes)
{
    const auto count = static_cast<std::size_t>(vertex.recordCount);
    const std::optional<CloudColumns> found = FindColumns(vertex, values);
    if (count == 0 || !found)
        return NoReadablePositions(notes);
    const CloudColumns& columns = *found;

    const std::vector<std::byte> firstRecord = values.FirstRecord();
    std::array<double, 3> firstValues{};
    for (std::size_t a = 0; a < 3; ++a)
        firstValues[a] = columns.axes[a].codec->first(columns.axes[a].At(firstRecord.data(), 0, 0));
    ExtremesInFileOrder extremes(firstValues);

    const bool originFirst = std::any_of(columns.axes.begin(), columns.axes.end(),
                                         [](const Column& axis) { return !axis.codec->exactInFloat; });
    StoredExtremes extremesFound;
    if (originFirst) {
        const bool scanned = values.ForEachRange([&](const std::byte* records, std::size_t first, std::size_t n) {
            extremes.Scan(columns, records, first, n);
        }, options, kScanPass);
        if (!scanned)
            return Cancelled();
        extremesFound = extremes.Merged();
    }
    const Eigen::Vector3d offset = originFirst ? Eigen::Vector3d(extremesFound.axes[0].minimum, extremesFound.axes[1].minimum,
                                                                 extremesFound.axes[2].minimum)
                                               : Eigen::Vector3d::Zero();
    const double colorScale = !columns.HasColors() ? 1.0
                              : originFirst         ? ColorScale(extremesFound.colorMaximum)
                                                    : LikelyColorScale(*columns.colors[0]);

    SizeCloud(columns, count, options.pool, cloud);
    const bool filled = values.ForEachRange([&](const std::byte* records, std::size_t first, std::size_t n) {
        StoredExtremes range = extremes.Start();
        // A piece of points at a time, so each is written once while it is in cache.
        ForEachPiece(n, [&](std::size_t begin, std::size_t pieceCount) {
            const std::size_t point = first + begin;
            for (std::size_t a = 0; a < 3; ++a) {
                const Column& axis = columns.axes[a];
                float* out = cloud.positions[point].data() + a;
                if (originFirst)
                    axis.codec->offsetTo(axis.At(records, begin, point), axis.stride, pieceCount, offset[static_cast<int>(a)], out, 3);
                else
                    axis.codec->storeTo(axis.At(records, begin, point), axis.stride, pieceCount, out, 3, range.axes[a]);
            }
            if (columns.intensity)
                ConvertAttribute(*columns.intensity, columns.intensity->At(records, begin, point), pieceCount,
                                 cloud.intensity.data() + point);
            if (columns.classification)
                ConvertAttribute(*columns.classification, columns.classification->At(records, begin, point), pieceCount,
                                 cloud.classification.data() + point);
            if (columns.HasColors())
                range.colorMaximum = WriteColors(columns, records, begin, point, pieceCount, colorScale, range.colorMaximum, cloud);
        });
        if (!originFirst)
            extremes.Add(first, range);
    }, options, originFirst ? kFillAfterScan : kOnlyPass);
    if (!filled)
        return Cancelled();

    if (!originFirst) {
        extremesFound = extremes.Merged();
        MovePositions(cloud, {extremesFound.axes[0].minimum, extremesFound.axes[1].minimum, extremesFound.axes[2].minimum},
                      options.pool);
        const double scale = ColorScale(extremesFound.colorMaximum);
        const bool recolored = !columns.HasColors() || scale == colorScale ||
                               values.ForEachRange([&](const std::byte* records, std::size_t first, std::size_t n) {
                                   WriteColors(columns, records, 0, first, n, scale, 0.0, cloud);
                               }, options, kColorPass);
        if (!recolored || !ReportProgress(options, 1.0))
            return Cancelled();
    }
    cloud.origin = {extremesFound.axes[0].minimum, extremesFound.axes[1].minimum, extremesFound.axes[2].minimum};
    cloud.hasColors = columns.HasColors();
    cloud.upAxis = 1;

    if (cloud.origin.allFinite()) {
        Eigen::Vector3f lo;
        Eigen::Vector3f hi;
        for (int a = 0; a < 3; ++a) {
            const ValueRange& axis = extremesFound.axes[static_cast<std::size_t>(a)];
            lo[a] = static_cast<float>(axis.minimum - cloud.origin[a]);
            hi[a] = static_cast<float>(axis.maximum - cloud.origin[a]);
        }
        cloud.SetBounds(lo, hi);
    } else {
        cloud.ComputeBounds();  // an infinite origin moves values out of order
    }
    return std::nullopt;
}

ReadFailure NoVertexElement()
{
    return Fail(ReadError::Malformed, "PLY: the file has no vertex element");
}

std::optional<ReadFailure> ReadAnyEncoding(const std::string& path, const ReadOptions& options, PointCloudData& cloud,
                                           ReadNotes& notes)
{
    {
        orrisk::ply::PlyRecordReader reader(path);
        if (reader.HasFixedSizeRecords()) {
            reader.RequireCompleteBody();
            const orrisk::ply::PlyElement* vertex = FindVertex(reader.Header(), kComponent, notes);
            if (!vertex)
                return NoVertexElement();
            return FillCloud(*vertex, *plycloud::StreamedVertexValues(reader, *vertex), options, cloud, notes);
        }
    }
    const orrisk::ply::PlyFile ply(path);
    const orrisk::ply::PlyElement* vertex = FindVertex(ply, kComponent, notes);
    if (!vertex)
        return NoVertexElement();
    return FillCloud(*vertex, *plycloud::StoredVertexValues(*vertex), options, cloud, notes);
}

ReadResult<PointCloudData> ReadNoted(const std::string& path, const ReadOptions& options, ReadNotes& notes)
{
    try {
        PointCloudData cloud;
        if (std::optional<ReadFailure> failure = ReadAnyEncoding(path, options, cloud, notes))
            return *std::move(failure);
        return cloud;
    } catch (...) {
        return FailureOfCurrentException(kComponent, "PLY", notes);
    }
}

}  // namespace

std::vector<double> ReadPropertyAsDouble(const orrisk::ply::PlyElement& element, const std::string& name)
{
    std::vector<double> result;
    try {
        plycloud::WithScalarValues(element, name, [&](const auto& values) { result.assign(values.begin(), values.end()); });
    } catch (...) {
        result.clear();  // a failed read is an empty result, never an exception
    }
    return result;
}

ReadResult<PointCloudData> ReadPly(const std::string& path, const ReadOptions& options)
{
    if (!ReportProgress(options, 0.0))
        return Cancelled();
    ReadNotes notes;
    ReadResult<PointCloudData> result = ReadNoted(path, options, notes);
    result.AddNotes(std::move(notes));
    return result;
}
