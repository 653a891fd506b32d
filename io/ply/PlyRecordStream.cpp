#include "io/ply/PlyRecordStream.h"

#include "io/core/LittleEndian.h"
#include "io/ply/PlyCloudColumns.h"
#include "io/ply/PlyFile.h"
#include "io/ply/PlyReadFailure.h"
#include "io/ply/PlyRecordReader.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace {

using plycloud::CloudColumns;
using plycloud::Column;
using plycloud::VertexValues;

constexpr ProgressSpan kExtentPass{0.0, 0.3};
constexpr ProgressSpan kRecordPass{0.3, 1.0};
constexpr double kDoubleScale = 1e-4;
constexpr const char* kComponent = "PlyRecordStream";
constexpr double kIntegerSpan = 4294967294.0;  // -2^31 + 1 to 2^31 - 1

struct AxisExtent {
    double minimum = std::numeric_limits<double>::infinity();
    double maximum = -std::numeric_limits<double>::infinity();
    bool finite = true;
};

double Value(const Column& column, const std::byte* records, std::size_t inBlock, std::size_t inFile)
{
    return column.codec->first(column.At(records, inBlock, inFile));
}

double ChosenScale(const Column& axis, const AxisExtent& extent)
{
    double scale = kDoubleScale;
    if (axis.codec->integral) {
        scale = 1.0;
    } else if (axis.codec->exactInFloat) {
        const double magnitude = std::max(std::abs(extent.minimum), std::abs(extent.maximum));
        const double halfSpacing = magnitude > 0 ? std::ldexp(1.0, std::ilogb(magnitude) - 24) : 1e-9;
        scale = std::pow(10.0, std::floor(std::log10(halfSpacing)));
    }
    while ((extent.maximum - extent.minimum) / scale > kIntegerSpan - 2)
        scale *= 10.0;
    return scale;
}

// 16-bit colour channels from what the file stores.
double ColourFactor(const Column& red, double largest)
{
    if (!red.codec->integral && largest <= 1.0)
        return 65535.0;
    return largest <= 255.0 ? 257.0 : 1.0;
}

class PlyRecords {
public:
    PlyRecords(const CloudColumns& columns, VertexValues& values, std::size_t count)
        : m_columns(columns), m_values(values), m_count(count)
    {
    }

    ReadResult<PointRecordFormat> Stream(PointRecordSink& sink, const ReadOptions& options, const PlyQuantisation& quantisation)
    {
        if (!m_values.ForEachRange([&](const std::byte* records, std::size_t first, std::size_t n) { Scan(records, first, n); },
                                   ReadOptions{options.progress, nullptr}, kExtentPass))
            return Fail(ReadError::Cancelled, "PLY: cancelled");
        for (const AxisExtent& extent : m_extents)
            if (!extent.finite)
                return Fail(ReadError::Malformed, "PLY: a coordinate is not a finite number");

        PointRecordFormat format;
        format.versionMinor = 2;
        format.format = m_columns.HasColors() ? 2 : 0;
        format.recordLength = StandardRecordLength(format.format);
        format.pointCount = m_count;
        format.systemIdentifier = "PLY";
        for (std::size_t a = 0; a < 3; ++a) {
            const AxisExtent& extent = m_extents[a];
            format.scale[a] = quantisation.scale ? (*quantisation.scale)[a] : ChosenScale(m_columns.axes[a], extent);
            const double middle = (extent.minimum + extent.maximum) / 2;
            format.offset[a] = quantisation.offset ? (*quantisation.offset)[a] : std::round(middle / format.scale[a]) * format.scale[a];
            if (!(format.scale[a] > 0) || !std::isfinite(format.offset[a]))
                return Fail(ReadError::Malformed, "PLY: the scale must be a positive number");
        }
        m_format = format;
        m_colourFactor = m_columns.HasColors() ? ColourFactor(*m_columns.colors[0], m_colourMaximum) : 1.0;
        if (!sink.Begin(format))
            return Fail(ReadError::Cancelled, "PLY: cancelled");

        std::optional<ReadFailure> failure;
        const bool complete = m_values.ForEachRange(
            [&](const std::byte* records, std::size_t first, std::size_t n) {
                if (!failure)
                    failure = Convert(records, first, n, sink);
            },
            ReadOptions{[&](double fraction) { return !failure && ReportProgress(options, fraction); }, nullptr}, kRecordPass);
        if (failure)
            return *failure;
        if (!complete)
            return Fail(ReadError::Cancelled, "PLY: cancelled");
        return format;
    }

private:
    void Scan(const std::byte* records, std::size_t first, std::size_t n)
    {
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t a = 0; a < 3; ++a) {
                const double v = Value(m_columns.axes[a], records, i, first + i);
                AxisExtent& extent = m_extents[a];
                extent.finite = extent.finite && std::isfinite(v);
                extent.minimum = std::min(extent.minimum, v);
                extent.maximum = std::max(extent.maximum, v);
            }
            if (m_columns.HasColors())
                for (std::size_t c = 0; c < 3; ++c)
                    m_colourMaximum = std::max(m_colourMaximum, Value(*m_columns.colors[c], records, i, first + i));
        }
    }

    std::optional<ReadFailure> Convert(const std::byte* records, std::size_t first, std::size_t n, PointRecordSink& sink)
    {
        const std::size_t length = m_format.recordLength;
        m_block.assign(n * length, 0);
        for (std::size_t i = 0; i < n; ++i) {
            unsigned char* record = m_block.data() + i * length;
            for (std::size_t a = 0; a < 3; ++a) {
                const double v = Value(m_columns.axes[a], records, i, first + i);
                const double steps = std::round((v - m_format.offset[a]) / m_format.scale[a]);
                if (!(steps >= std::numeric_limits<std::int32_t>::min() && steps <= std::numeric_limits<std::int32_t>::max()))
                    return Fail(ReadError::TooLarge, "PLY: point " + std::to_string(first + i) + " has " + "xyz"[a] + " = "
                                                         + std::to_string(v) + ", which does not fit 32-bit integers at scale "
                                                         + std::to_string(m_format.scale[a]) + " and offset "
                                                         + std::to_string(m_format.offset[a]));
                StoreLE(record + 4 * a, static_cast<std::int32_t>(steps));
            }
            if (m_columns.intensity) {
                const double v = Value(*m_columns.intensity, records, i, first + i);
                StoreLE(record + 12, static_cast<std::uint16_t>(std::clamp(std::isfinite(v) ? std::round(v) : 0.0, 0.0, 65535.0)));
            }
            record[14] = 0x09;  // return 1 of 1
            if (m_columns.classification) {
                const double v = Value(*m_columns.classification, records, i, first + i);
                record[15] = v >= 0 && v <= 31 ? static_cast<unsigned char>(v) : 0;
            }
            if (m_columns.HasColors())
                for (std::size_t c = 0; c < 3; ++c) {
                    const double v = Value(*m_columns.colors[c], records, i, first + i) * m_colourFactor;
                    StoreLE(record + 20 + 2 * c,
                            static_cast<std::uint16_t>(std::clamp(std::isfinite(v) ? std::round(v) : 0.0, 0.0, 65535.0)));
                }
        }
        if (!sink.Take(m_block.data(), n))
            return Fail(ReadError::Cancelled, "PLY: cancelled");
        return std::nullopt;
    }

    const CloudColumns& m_columns;
    VertexValues& m_values;
    std::size_t m_count;
    std::array<AxisExtent, 3> m_extents{};
    double m_colourMaximum = 0;
    double m_colourFactor = 1;
    PointRecordFormat m_format;
    std::vector<unsigned char> m_block;
};

ReadResult<PointRecordFormat> StreamVertex(const orrisk::ply::PlyElement* vertex, VertexValues* values, PointRecordSink& sink,
                                           const ReadOptions& options, const PlyQuantisation& quantisation)
{
    if (!vertex)
        return Fail(ReadError::Malformed, "PLY: the file has no vertex element");
    const std::optional<CloudColumns> columns = plycloud::FindColumns(*vertex, *values);
    if (!columns || vertex->recordCount == 0)
        return Fail(ReadError::Malformed, "PLY: the vertex element has no readable x, y and z");
    PlyRecords records(*columns, *values, static_cast<std::size_t>(vertex->recordCount));
    return records.Stream(sink, options, quantisation);
}

}  // namespace

ReadResult<PointRecordFormat> StreamPlyRecords(const std::string& path, PointRecordSink& sink, const ReadOptions& options,
                                               const PlyQuantisation& quantisation)
{
    ReadNotes notes;  // the reason says it all; there is no log to note it in here
    try {
        {
            orrisk::ply::PlyRecordReader reader(path);
            if (reader.HasFixedSizeRecords()) {
                reader.RequireCompleteBody();
                const orrisk::ply::PlyElement* vertex = FindVertex(reader.Header(), kComponent, notes);
                std::unique_ptr<VertexValues> values = vertex ? plycloud::StreamedVertexValues(reader, *vertex) : nullptr;
                return StreamVertex(vertex, values.get(), sink, options, quantisation);
            }
        }
        const orrisk::ply::PlyFile ply(path);
        const orrisk::ply::PlyElement* vertex = FindVertex(ply, kComponent, notes);
        std::unique_ptr<VertexValues> values = vertex ? plycloud::StoredVertexValues(*vertex) : nullptr;
        return StreamVertex(vertex, values.get(), sink, options, quantisation);
    } catch (...) {
        return FailureOfCurrentException(kComponent, "PLY", notes);
    }
}
