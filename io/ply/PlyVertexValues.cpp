#include "io/ply/PlyVertexValues.h"

#include "io/ply/PlyByteOrder.h"
#include "io/ply/PlyError.h"

#include <algorithm>
#include <limits>
#include <type_traits>

namespace plycloud {
namespace {

template <typename T, bool Swap>
struct CodecFor {
    static T At(const std::byte* values, std::size_t stride, std::size_t i)
    {
        return orrisk::ply::LoadValue<T, Swap>(values + i * stride);
    }
    static double First(const std::byte* values) { return static_cast<double>(At(values, 0, 0)); }
    static double Minimum(const std::byte* values, std::size_t stride, std::size_t count, double start)
    {
        auto minimum = static_cast<T>(start);  // exact: start is one of these values
        for (std::size_t i = 0; i < count; ++i)
            if (const T value = At(values, stride, i); value < minimum)
                minimum = value;
        return static_cast<double>(minimum);
    }
    static double Maximum(const std::byte* values, std::size_t stride, std::size_t count, double start)
    {
        auto maximum = static_cast<T>(start);
        for (std::size_t i = 0; i < count; ++i) {
            if (const T value = At(values, stride, i); value > maximum)
                maximum = value;
            if constexpr (std::is_integral_v<T>)
                if (maximum == std::numeric_limits<T>::max())
                    break;  // nothing can exceed it
        }
        return static_cast<double>(maximum);
    }
    static void OffsetTo(const std::byte* values, std::size_t stride, std::size_t count, double offset, float* out,
                         std::size_t outStride)
    {
        for (std::size_t i = 0; i < count; ++i)
            out[i * outStride] = static_cast<float>(static_cast<double>(At(values, stride, i)) - offset);
    }
    static void StoreTo(const std::byte* values, std::size_t stride, std::size_t count, float* out,
                        std::size_t outStride, ValueRange& range)
    {
        auto minimum = static_cast<T>(range.minimum);  // exact: the range holds values of T
        auto maximum = static_cast<T>(range.maximum);
        for (std::size_t i = 0; i < count; ++i) {
            const T value = At(values, stride, i);
            minimum = value < minimum ? value : minimum;
            maximum = value > maximum ? value : maximum;
            out[i * outStride] = static_cast<float>(value);
        }
        range = {static_cast<double>(minimum), static_cast<double>(maximum)};
    }
    static double ScaleTo(const std::byte* values, std::size_t stride, std::size_t count, double scale, double upper,
                          float* out, std::size_t outStride, double floor)
    {
        double largest = floor;
        for (std::size_t i = 0; i < count; ++i) {
            const auto value = static_cast<double>(At(values, stride, i));
            largest = value > largest ? value : largest;
            out[i * outStride] = static_cast<float>(std::min(value * scale, upper));  // a NaN stays
        }
        return largest;
    }
    static constexpr bool kExactInFloat = std::is_same_v<T, float> || (std::is_integral_v<T> && sizeof(T) <= 2);
    static constexpr ColumnCodec codec = {kExactInFloat, std::is_integral_v<T>, &First, &Minimum, &Maximum, &OffsetTo, &StoreTo, &ScaleTo};
};

template <typename T>
const ColumnCodec* CodecOf(bool swap)
{
    return swap ? &CodecFor<T, true>::codec : &CodecFor<T, false>::codec;
}

class StoredValues final : public VertexValues {
public:
    explicit StoredValues(const orrisk::ply::PlyElement& vertex) : m_vertex(vertex) {}

    std::optional<Column> ColumnOf(const std::string& name) const override
    {
        std::optional<Column> column;
        WithScalarValues(m_vertex, name, [&]<typename T>(const std::vector<T>& values) {
            column = Column{CodecOf<T>(false), reinterpret_cast<const std::byte*>(values.data()), 0, sizeof(T)};
        });
        return column;
    }

    std::vector<std::byte> FirstRecord() const override { return {}; }  // the stored arrays hold it

    bool ForEachRange(const RangeVisitor& visit, const ReadOptions& options, ProgressSpan span) override
    {
        visit(nullptr, 0, m_vertex.recordCount);
        return ReportProgress(options, span.to);
    }

private:
    const orrisk::ply::PlyElement& m_vertex;
};

class StreamedValues final : public VertexValues {
public:
    StreamedValues(orrisk::ply::PlyRecordReader& reader, const orrisk::ply::PlyElement& vertex)
        : m_reader(reader), m_vertex(vertex), m_file(reader.Path())
    {
    }

    std::optional<Column> ColumnOf(const std::string& name) const override
    {
        std::optional<Column> column;
        if (!m_vertex.ContainsProperty(name))
            return column;
        orrisk::ply::VisitProperty(*m_vertex.PropertyNamed(name), [&](const auto& typed) {
            using Typed = std::remove_cvref_t<decltype(typed)>;
            if constexpr (!Typed::isList)
                column = Column{CodecOf<typename Typed::ValueType>(m_reader.SwapsBytes()), nullptr,
                                m_reader.OffsetOf(m_vertex, name), m_reader.RecordBytes(m_vertex)};
        });
        return column;
    }

    std::vector<std::byte> FirstRecord() const override
    {
        const FixedRecords layout = m_reader.Layout(m_vertex);
        std::vector<std::byte> record(layout.recordBytes);
        if (!m_file.ReadAt(layout.offset, record.data(), record.size()))
            throw orrisk::ply::UnexpectedEndOfFile("element " + m_vertex.name);
        return record;
    }

    bool ForEachRange(const RangeVisitor& visit, const ReadOptions& options, ProgressSpan span) override
    {
        const FixedRecordsRead read = ReadFixedRecords(m_file, m_reader.Layout(m_vertex), options, span, visit);
        if (read.outcome == FixedRecordsRead::Outcome::FileEnded)
            throw orrisk::ply::UnexpectedEndOfFile("element " + m_vertex.name);
        return read.outcome == FixedRecordsRead::Outcome::Complete;
    }

private:
    orrisk::ply::PlyRecordReader& m_reader;
    const orrisk::ply::PlyElement& m_vertex;
    ReadOnlyFile m_file;  // positioned reads, shared by the threads of a range read
};

}  // namespace

std::unique_ptr<VertexValues> StoredVertexValues(const orrisk::ply::PlyElement& vertex)
{
    return std::make_unique<StoredValues>(vertex);
}

std::unique_ptr<VertexValues> StreamedVertexValues(orrisk::ply::PlyRecordReader& reader, const orrisk::ply::PlyElement& vertex)
{
    return std::make_unique<StreamedValues>(reader, vertex);
}

}  // namespace plycloud
