#include "io/PlyLoader.h"

#include "io/ply/PlyByteOrder.h"
#include "io/ply/PlyFile.h"
#include "io/ply/PlyRecordReader.h"
#include "platform/DebugOutput.h"
#include "platform/MemoryHints.h"

#include <algorithm>
#include <array>
#include <exception>
#include <functional>
#include <limits>
#include <optional>
#include <type_traits>

// A binary file is read straight into the cloud, block by block (twice: once for the origin
// and the colour scale, once for the values), so its values are never held a second time;
// ASCII files and files with list properties are read into a PlyFile first. Both roads give
// the same cloud: every stored type widens to double exactly, and the arithmetic below is
// the same for both.

namespace {

// Calls f(values) with the stored values (a const std::vector<T>&) of the element's first
// property named `name`; false, without calling f, when there is none or it is a list.
template <typename F>
bool WithScalarValues(const happly::PlyElement& element, const std::string& name, F&& f)
{
    if (!element.ContainsProperty(name))
        return false;
    bool scalar = false;
    happly::VisitProperty(*element.PropertyNamed(name), [&](const auto& typed) {
        if constexpr (!std::remove_cvref_t<decltype(typed)>::isList) {
            f(typed.values);
            scalar = true;
        }
    });
    return scalar;
}

// What the loader does with one property's values, for its stored type and byte order.
// Values lie `stride` bytes apart; converted values are written `outStride` floats apart.
// The running minimum and maximum start from `start` and follow plain comparisons: a NaN
// never replaces, a NaN start stays.
struct ColumnCodec {
    double (*first)(const std::byte* values);
    double (*minimum)(const std::byte* values, std::size_t stride, std::size_t count, double start);
    double (*maximum)(const std::byte* values, std::size_t stride, std::size_t count, double start);
    // out = value - offset, in double, rounded once.
    void (*offsetTo)(const std::byte* values, std::size_t stride, std::size_t count, double offset, float* out,
                     std::size_t outStride);
    // out = min(value * scale, upper), in double, rounded once.
    void (*scaleTo)(const std::byte* values, std::size_t stride, std::size_t count, double scale, double upper,
                    float* out, std::size_t outStride);
};

template <typename T, bool Swap>
struct CodecFor {
    static T At(const std::byte* values, std::size_t stride, std::size_t i)
    {
        return happly::LoadValue<T, Swap>(values + i * stride);
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
    static void ScaleTo(const std::byte* values, std::size_t stride, std::size_t count, double scale, double upper,
                        float* out, std::size_t outStride)
    {
        for (std::size_t i = 0; i < count; ++i)
            out[i * outStride] = static_cast<float>(std::min(static_cast<double>(At(values, stride, i)) * scale, upper));
    }
    static constexpr ColumnCodec codec = {&First, &Minimum, &Maximum, &OffsetTo, &ScaleTo};
};

template <typename T>
const ColumnCodec* CodecOf(bool swap)
{
    return swap ? &CodecFor<T, true>::codec : &CodecFor<T, false>::codec;
}

// One scalar property's values: a stored array, or a field of the file's records.
struct Column {
    const ColumnCodec* codec = nullptr;
    const std::byte* array = nullptr;  // the stored values; null for a field of the records
    std::size_t offset = 0;            // of the field within a record
    std::size_t stride = 0;

    // The value of a record, found in the block of records read from the file or in the
    // stored array.
    const std::byte* At(const std::byte* records, std::size_t recordInBlock, std::size_t recordInFile) const
    {
        return array ? array + recordInFile * stride : records + recordInBlock * stride + offset;
    }
};

// Where the "vertex" element's values come from.
class VertexValues {
public:
    using RangeVisitor = std::function<void(const std::byte* records, std::size_t first, std::size_t count)>;

    virtual ~VertexValues() = default;
    // The first property of that name, when it is a scalar property.
    virtual std::optional<Column> ColumnOf(const std::string& name) const = 0;
    // Calls visit for consecutive ranges of records from the first to the last; `records`
    // is the block holding the range (null for stored arrays).
    virtual void ForEachRange(const RangeVisitor& visit) = 0;
};

class StoredVertexValues final : public VertexValues {
public:
    explicit StoredVertexValues(const happly::PlyElement& vertex) : m_vertex(vertex) {}

    std::optional<Column> ColumnOf(const std::string& name) const override
    {
        std::optional<Column> column;
        WithScalarValues(m_vertex, name, [&]<typename T>(const std::vector<T>& values) {
            column = Column{CodecOf<T>(false), reinterpret_cast<const std::byte*>(values.data()), 0, sizeof(T)};
        });
        return column;
    }

    void ForEachRange(const RangeVisitor& visit) override { visit(nullptr, 0, m_vertex.recordCount); }

private:
    const happly::PlyElement& m_vertex;
};

class StreamedVertexValues final : public VertexValues {
public:
    StreamedVertexValues(happly::PlyRecordReader& reader, const happly::PlyElement& vertex)
        : m_reader(reader), m_vertex(vertex)
    {
    }

    std::optional<Column> ColumnOf(const std::string& name) const override
    {
        std::optional<Column> column;
        if (!m_vertex.ContainsProperty(name))
            return column;
        happly::VisitProperty(*m_vertex.PropertyNamed(name), [&](const auto& typed) {
            using Typed = std::remove_cvref_t<decltype(typed)>;
            if constexpr (!Typed::isList)
                column = Column{CodecOf<typename Typed::ValueType>(m_reader.SwapsBytes()), nullptr,
                                m_reader.OffsetOf(m_vertex, name), m_reader.RecordBytes(m_vertex)};
        });
        return column;
    }

    void ForEachRange(const RangeVisitor& visit) override
    {
        std::size_t first = 0;
        m_reader.ReadRecords(m_vertex, [&](const std::byte* records, std::size_t count) {
            visit(records, first, count);
            first += count;
        });
    }

private:
    happly::PlyRecordReader& m_reader;
    const happly::PlyElement& m_vertex;
};

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

// Fills positions, origin and (when a colour family is complete and readable) colours from
// the vertex values; false when x, y or z is missing or unreadable or there are no points.
bool FillCloud(const happly::PlyElement& vertex, VertexValues& values, PointCloudData& cloud)
{
    const auto count = static_cast<std::size_t>(vertex.recordCount);
    const std::array<std::optional<Column>, 3> axes = {values.ColumnOf("x"), values.ColumnOf("y"), values.ColumnOf("z")};
    if (count == 0 || !axes[0] || !axes[1] || !axes[2])
        return false;

    std::array<std::optional<Column>, 4> colors;  // red, green, blue, alpha
    const auto family = std::find_if(kColorFamilies.begin(), kColorFamilies.end(), [&](const ColorFamily& f) {
        return vertex.ContainsProperty(f.red) && vertex.ContainsProperty(f.green) && vertex.ContainsProperty(f.blue);
    });
    if (family != kColorFamilies.end())
        colors = {values.ColumnOf(family->red), values.ColumnOf(family->green), values.ColumnOf(family->blue),
                  values.ColumnOf(family->alpha)};
    const bool hasColors = colors[0] && colors[1] && colors[2];

    // First pass: the origin (per-axis minimum) and the largest colour channel.
    std::array<double, 3> minimum{};
    std::array<double, 3> maximum{};
    values.ForEachRange([&](const std::byte* records, std::size_t first, std::size_t n) {
        for (std::size_t a = 0; a < 3; ++a) {
            const std::byte* at = axes[a]->At(records, 0, first);
            const double start = first == 0 ? axes[a]->codec->first(at) : minimum[a];
            minimum[a] = axes[a]->codec->minimum(at, axes[a]->stride, n, start);
        }
        for (std::size_t c = 0; hasColors && c < 3; ++c)
            maximum[c] = colors[c]->codec->maximum(colors[c]->At(records, 0, first), colors[c]->stride, n, maximum[c]);
    });
    cloud.origin = {minimum[0], minimum[1], minimum[2]};
    const double scale = ColorScale(std::max({0.0, maximum[0], maximum[1], maximum[2]}));
    constexpr double kUnlimited = std::numeric_limits<double>::infinity();

    // Second pass: the values, a piece of points at a time so each is written once.
    cloud.positions.resize(count);
    PrefaultForWriting(cloud.positions.data(), count * sizeof(Eigen::Vector3f));
    if (hasColors) {
        cloud.colors.resize(count);
        PrefaultForWriting(cloud.colors.data(), count * sizeof(Eigen::Vector4f));
    }
    values.ForEachRange([&](const std::byte* records, std::size_t first, std::size_t n) {
        ForEachPiece(n, [&](std::size_t begin, std::size_t pieceCount) {
            const std::size_t point = first + begin;
            for (std::size_t a = 0; a < 3; ++a)
                axes[a]->codec->offsetTo(axes[a]->At(records, begin, point), axes[a]->stride, pieceCount,
                                         cloud.origin[static_cast<int>(a)], cloud.positions[point].data() + a, 3);
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
    });
    cloud.hasColors = hasColors;
    return true;
}

// The "vertex" element, or null after logging that there is none.
const happly::PlyElement* FindVertex(const happly::PlyFile& file)
{
    if (file.ContainsElement("vertex"))
        return &file.ElementNamed("vertex");
    DebugOutput("[CPlyLoader] no 'vertex' element.\n");
    return nullptr;
}

bool LoadVertices(const happly::PlyElement& vertex, VertexValues& values, PointCloudData& cloud)
{
    if (!FillCloud(vertex, values, cloud)) {
        DebugOutput("[CPlyLoader] failed to read x/y/z properties.\n");
        cloud.Clear();
        return false;
    }
    cloud.ComputeBounds();
    return true;
}

}  // namespace

std::vector<double> ReadPropertyAsDouble(const happly::PlyElement& element, const std::string& name)
{
    std::vector<double> result;
    WithScalarValues(element, name, [&](const auto& values) { result.assign(values.begin(), values.end()); });
    return result;
}

bool CPlyLoader::LoadPly(const std::string& path, PointCloudData& pointCloud)
{
    try {
        pointCloud.Clear();
        {
            happly::PlyRecordReader reader(path);
            if (reader.HasFixedSizeRecords()) {
                reader.RequireCompleteBody();
                const happly::PlyElement* vertex = FindVertex(reader.Header());
                if (!vertex)
                    return false;
                StreamedVertexValues values(reader, *vertex);
                return LoadVertices(*vertex, values, pointCloud);
            }
        }
        const happly::PlyFile ply(path);
        const happly::PlyElement* vertex = FindVertex(ply);
        if (!vertex)
            return false;
        StoredVertexValues values(*vertex);
        return LoadVertices(*vertex, values, pointCloud);
    } catch (const std::exception& error) {
        DebugOutput("[CPlyLoader] exception: ");
        DebugOutput(error.what());
        DebugOutput("\n");
    } catch (...) {
        DebugOutput("[CPlyLoader] unknown exception.\n");
    }
    pointCloud.Clear();
    return false;
}
