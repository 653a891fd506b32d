#include "io/splat/SplatReader.h"

#include "io/core/FixedRecordRead.h"
#include "io/core/SizeArrays.h"
#include "io/ply/PlyError.h"
#include "io/ply/PlyFile.h"
#include "io/ply/PlyReadFailure.h"
#include "io/ply/PlyRecordReader.h"
#include "io/splat/GaussianPlyColumns.h"
#include "io/splat/SplatActivation.h"
#include "platform/MemoryHints.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <exception>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>

// A binary file is streamed block by block straight into the scene, so the file's values are
// never held a second time; ASCII files and files with list properties are read into a
// PlyFile first and taken from its stored arrays. Every property is checked before anything
// is converted, so a file that fails does not cost a full conversion first.

namespace {

constexpr float kShC0 = 0.2820948f;  // degree-0 SH constant, rounded to float
// The component the reader's notes name.
constexpr const char* kComponent = "CGaussianPlyLoader";

// The element's properties by name (the first of each name wins) with where each lies in a
// binary record. The reader asks for every f_rest_* and mask_* by name, which must not cost
// a scan of a header that may list tens of thousands of properties.
class PropertiesByName {
public:
    struct Entry {
        const orrisk::ply::Property* property;
        std::size_t offset;  // within a record of fixed size
    };

    explicit PropertiesByName(const orrisk::ply::PlyElement& element)
    {
        for (const auto& property : element.properties) {
            m_entries.try_emplace(property->name, Entry{property.get(), m_recordBytes});
            orrisk::ply::VisitProperty(*property, [&](const auto& typed) {
                m_recordBytes += sizeof(typename std::remove_cvref_t<decltype(typed)>::ValueType);
            });
        }
    }

    const Entry* Find(const std::string& name) const
    {
        const auto it = m_entries.find(name);
        return it == m_entries.end() ? nullptr : &it->second;
    }
    // The size of a record, when no property is a list.
    std::size_t RecordBytes() const { return m_recordBytes; }

private:
    std::unordered_map<std::string_view, Entry> m_entries;
    std::size_t m_recordBytes = 0;
};

// Where the "vertex" element's values come from.
struct VertexSource {
    using BlockVisitor = std::function<void(const std::byte* records, std::size_t first, std::size_t count)>;

    const orrisk::ply::PlyElement& element;
    PropertiesByName properties;
    // The property as a column of records `recordBytes` long; nothing when it is a list
    // property.
    std::function<std::optional<SplatColumn>(const PropertiesByName::Entry& entry, std::size_t recordBytes)> columnOf;
    // Calls visit for blocks of records that together cover every record once; `records`
    // holds the block's records (null when the values are stored arrays). Blocks may be
    // visited on several threads at once, in no set order. False when the progress callback
    // asked to stop.
    std::function<bool(const BlockVisitor& visit)> forEachBlock;

    bool Has(const std::string& name) const { return properties.Find(name) != nullptr; }
    // The first property of that name when it is a scalar property.
    std::optional<SplatColumn> column(const std::string& name) const
    {
        const PropertiesByName::Entry* entry = properties.Find(name);
        return entry ? columnOf(*entry, properties.RecordBytes()) : std::nullopt;
    }
};

// The columns a scene is made of, chosen and checked in the reader's order.
struct SplatPlan {
    std::size_t count = 0;
    std::array<SplatColumn, 3> position;
    std::array<SplatColumn, 3> baseColor;
    bool baseColorIsRgb = false;  // red/green/blue (0..255) rather than f_dc_*
    std::vector<SplatColumn> rest;
    SplatColumn opacity;
    std::array<SplatColumn, 3> scale;
    std::array<SplatColumn, 4> rotation;
    std::optional<SplatColumn> objectId;
    std::vector<SplatColumn> masks;  // used only without objectId
    const char* segmentationNote = nullptr;
};

// The columns, when every one of them reads as float.
template <std::size_t N>
std::optional<std::array<SplatColumn, N>> FloatColumns(const VertexSource& source,
                                                       const std::array<const char*, N>& names)
{
    std::array<SplatColumn, N> columns;
    for (std::size_t i = 0; i < N; ++i) {
        std::optional<SplatColumn> column = source.column(names[i]);
        if (!column || !column->toFloat)
            return std::nullopt;
        columns[i] = *column;
    }
    return columns;
}

std::optional<SplatColumn> FloatColumn(const VertexSource& source, const std::string& name)
{
    if (const auto columns = FloatColumns<1>(source, {name.c_str()}))
        return (*columns)[0];
    return std::nullopt;
}

void PlanSegmentation(const VertexSource& source, SplatPlan& plan)
{
    for (const char* name : {"object_id", "obj_id", "segment_id"}) {
        if (!source.Has(name))
            continue;
        plan.objectId = source.column(name);  // every scalar type reads as uint32
        if (!plan.objectId)
            plan.segmentationNote = "object_id size mismatch; ignored.";
        return;
    }
    for (std::size_t k = 0; source.Has("mask_" + std::to_string(k)); ++k) {
        const std::optional<SplatColumn> mask = FloatColumn(source, "mask_" + std::to_string(k));
        if (!mask) {
            // A mask that cannot be read spoils the set, but only once some were collected.
            if (!plan.masks.empty())
                plan.segmentationNote = "mask_* size mismatch; ignored.";
            plan.masks.clear();
            return;
        }
        plan.masks.push_back(*mask);
    }
}

// Chooses the columns; on failure returns the note's text.
const char* PlanSplats(const VertexSource& source, SplatPlan& plan)
{
    plan.count = static_cast<std::size_t>(source.element.recordCount);
    const auto position = FloatColumns<3>(source, {"x", "y", "z"});
    if (plan.count == 0 || !position)
        return "failed to read x/y/z.";
    plan.position = *position;

    if (const auto dc = FloatColumns<3>(source, {"f_dc_0", "f_dc_1", "f_dc_2"})) {
        plan.baseColor = *dc;
    } else {
        if (!source.Has("red") || !source.Has("green") || !source.Has("blue"))
            return "no f_dc_* or red/green/blue.";
        const auto rgb = FloatColumns<3>(source, {"red", "green", "blue"});
        if (!rgb)
            return "failed to read base color.";
        plan.baseColor = *rgb;
        plan.baseColorIsRgb = true;
    }

    for (std::size_t j = 0; source.Has("f_rest_" + std::to_string(j)); ++j) {
        const std::optional<SplatColumn> rest = FloatColumn(source, "f_rest_" + std::to_string(j));
        if (!rest)
            return "f_rest_* size mismatch.";
        plan.rest.push_back(*rest);
    }

    const auto opacity = FloatColumn(source, "opacity");
    if (!opacity)
        return "failed to read opacity.";
    plan.opacity = *opacity;

    const auto scale = FloatColumns<3>(source, {"scale_0", "scale_1", "scale_2"});
    if (!scale)
        return "failed to read scale_*.";
    plan.scale = *scale;

    const auto rotation = FloatColumns<4>(source, {"rot_0", "rot_1", "rot_2", "rot_3"});
    if (!rotation)
        return "failed to read rot_*.";
    plan.rotation = *rotation;

    PlanSegmentation(source, plan);
    return nullptr;
}

// Sizes an array for filling at any index and maps its pages up front. Eigen vectors are
// left unwritten (their default constructor does nothing); numbers are zeroed once, the
// price of letting blocks be filled out of order.
template <typename T>
void SizeForFilling(LargeArray<T>& array, std::size_t count)
{
    array.resize(count);
    PrefaultForWriting(array.data(), count * sizeof(T));
}

// True when the columns are consecutive native floats within each streamed record, so a
// record's values can be copied as they are.
bool IsPackedFloatRun(const SplatColumn* columns, std::size_t n)
{
    for (std::size_t c = 0; c < n; ++c)
        if (!columns[c].isNativeFloat || columns[c].array || columns[c].stride != columns[0].stride ||
            columns[c].offset != columns[0].offset + c * sizeof(float))
            return false;
    return true;
}

// Converts n columns of a block into n consecutive floats per splat, `outStride` floats apart.
void ConvertRun(const SplatColumn* columns, std::size_t n, const std::byte* records, std::size_t first,
                std::size_t count, float* out, std::size_t outStride)
{
    if (n != 0 && IsPackedFloatRun(columns, n)) {
        const std::byte* values = columns[0].ValuesFrom(records, first);
        for (std::size_t i = 0; i < count; ++i)
            std::memcpy(out + i * outStride, values + i * columns[0].stride, n * sizeof(float));
        return;
    }
    for (std::size_t c = 0; c < n; ++c)
        columns[c].toFloat(columns[c].ValuesFrom(records, first), columns[c].stride, count, out + c, outStride);
}

template <typename Vector, std::size_t N>
void ConvertComponents(const std::array<SplatColumn, N>& columns, const std::byte* records, std::size_t first,
                       std::size_t count, Vector* out)
{
    static_assert(sizeof(Vector) == N * sizeof(float));
    ConvertRun(columns.data(), N, records, first, count, out->data(), N);
}

// Fills the scene from the planned columns, one block of records at a time; blocks may be
// filled on several threads at once, each writing only its own splats. Positions are first
// stored as read and moved to the origin once it is known.
class SplatFiller {
public:
    // The arrays are sized side by side on the pool when there is one.
    SplatFiller(const SplatPlan& plan, GaussianData& data, ThreadPool* pool) : m_plan(plan), m_data(data)
    {
        const std::size_t n = plan.count;
        SizeArraysOn(pool, {[&] { SizeForFilling(data.shRest, n * plan.rest.size()); },
                            [&] {
                                SizeForFilling(data.positions, n);
                                SizeForFilling(data.shDc, n);
                                SizeForFilling(data.scales, n);
                            },
                            [&] {
                                SizeForFilling(data.rotations, n);
                                SizeForFilling(data.opacities, n);
                                if (plan.objectId || !plan.masks.empty())
                                    SizeForFilling(data.objectIds, n);
                            }});
    }

    void Block(const std::byte* records, std::size_t first, std::size_t count) const
    {
        ConvertComponents(m_plan.position, records, first, count, &m_data.positions[first]);
        ConvertComponents(m_plan.baseColor, records, first, count, &m_data.shDc[first]);
        if (m_plan.baseColorIsRgb)
            for (std::size_t i = first; i < first + count; ++i)
                for (float& c : m_data.shDc[i])
                    c = (c / 255.0f - 0.5f) / kShC0;

        if (!m_plan.rest.empty())
            ConvertRun(m_plan.rest.data(), m_plan.rest.size(), records, first, count,
                       &m_data.shRest[first * m_plan.rest.size()], m_plan.rest.size());

        float* opacities = &m_data.opacities[first];
        m_plan.opacity.toFloat(m_plan.opacity.ValuesFrom(records, first), m_plan.opacity.stride, count, opacities, 1);
        for (std::size_t i = 0; i < count; ++i)
            opacities[i] = SplatOpacityFromLogit(opacities[i]);

        ConvertComponents(m_plan.scale, records, first, count, &m_data.scales[first]);
        for (std::size_t i = first; i < first + count; ++i)
            for (float& s : m_data.scales[i])
                s = SplatScaleFromLog(s);

        ConvertComponents(m_plan.rotation, records, first, count, &m_data.rotations[first]);
        for (std::size_t i = first; i < first + count; ++i)
            NormaliseSplatRotation(m_data.rotations[i]);

        if (m_plan.objectId)
            m_plan.objectId->toUInt32(m_plan.objectId->ValuesFrom(records, first), m_plan.objectId->stride, count,
                                      &m_data.objectIds[first]);
        else if (!m_plan.masks.empty())
            MaskArgMax(records, first, count, &m_data.objectIds[first]);
    }

    // After the last block: moves the positions to the origin and completes the record.
    void Finish()
    {
        m_data.origin = Minimum().cast<double>();
        for (Eigen::Vector3f& p : m_data.positions)
            for (int a = 0; a < 3; ++a)
                p[a] = static_cast<float>(static_cast<double>(p[a]) - m_data.origin[a]);
        m_data.shRestCount = static_cast<std::int32_t>(m_plan.rest.size());
        m_data.shDegree = ShDegreeForRestCount(m_data.shRestCount);
        m_data.hasObjectIds = m_plan.objectId || !m_plan.masks.empty();
    }

private:
    // The per-axis minimum of the positions as read: a NaN never becomes the minimum, but a
    // NaN in the first splat stays.
    Eigen::Vector3f Minimum() const
    {
        Eigen::Vector3f minimum = m_data.positions[0];
        for (const Eigen::Vector3f& p : m_data.positions)
            for (int a = 0; a < 3; ++a)
                if (p[a] < minimum[a])
                    minimum[a] = p[a];
        return minimum;
    }

    // Id = index of the largest mask, the lowest index on ties; a NaN never wins.
    void MaskArgMax(const std::byte* records, std::size_t first, std::size_t count, std::uint32_t* ids) const
    {
        std::fill_n(ids, count, 0u);
        std::vector<float> best(count, -std::numeric_limits<float>::infinity());
        std::vector<float> values(count);
        for (std::size_t k = 0; k < m_plan.masks.size(); ++k) {
            const SplatColumn& mask = m_plan.masks[k];
            mask.toFloat(mask.ValuesFrom(records, first), mask.stride, count, values.data(), 1);
            for (std::size_t i = 0; i < count; ++i) {
                if (values[i] > best[i]) {
                    best[i] = values[i];
                    ids[i] = static_cast<std::uint32_t>(k);
                }
            }
        }
    }

    const SplatPlan& m_plan;
    GaussianData& m_data;
};

// The reason a person is given: the note's text without its final full stop.
ReadFailure SplatFailure(ReadError code, std::string_view text)
{
    if (!text.empty() && text.back() == '.')
        text.remove_suffix(1);
    return Fail(code, "Gaussian splat PLY: " + std::string(text));
}

ReadFailure Cancelled()
{
    return Fail(ReadError::Cancelled, "Gaussian splat PLY: cancelled");
}

std::optional<ReadFailure> ReadSplats(VertexSource& source, ThreadPool* pool, GaussianData& data, ReadNotes& notes)
{
    SplatPlan plan;
    if (const char* failure = PlanSplats(source, plan)) {
        notes.push_back({NoteLevel::Error, kComponent, failure});
        return SplatFailure(ReadError::Malformed, failure);
    }
    SplatFiller filler(plan, data, pool);
    if (!source.forEachBlock(
            [&](const std::byte* records, std::size_t first, std::size_t count) { filler.Block(records, first, count); }))
        return Cancelled();
    filler.Finish();

    if (plan.segmentationNote)
        notes.push_back({NoteLevel::Warning, kComponent, plan.segmentationNote});
    if (!plan.masks.empty())
        notes.push_back({NoteLevel::Info, kComponent,
                         "segmentation from " + std::to_string(plan.masks.size()) + " masks (argmax)."});
    data.ComputeBounds(pool);
    return std::nullopt;
}

ReadFailure NoVertexElement()
{
    return SplatFailure(ReadError::Malformed, "no 'vertex' element.");
}

std::optional<ReadFailure> ReadStreamed(orrisk::ply::PlyRecordReader& reader, const ReadOptions& options,
                                        GaussianData& data, ReadNotes& notes)
{
    reader.RequireCompleteBody();  // a short body fails before anything else is looked at
    const orrisk::ply::PlyElement* vertex = FindVertex(reader.Header(), kComponent, notes);
    if (!vertex)
        return NoVertexElement();
    const bool swapsBytes = reader.SwapsBytes();
    VertexSource source{
        *vertex,
        PropertiesByName(*vertex),
        [&](const PropertiesByName::Entry& entry, std::size_t recordBytes) {
            return RecordField(*entry.property, entry.offset, recordBytes, swapsBytes);
        },
        [&](const VertexSource::BlockVisitor& visit) {
            const ReadOnlyFile file(reader.Path());
            const FixedRecordsRead read = ReadFixedRecords(file, reader.Layout(*vertex), options, {}, visit);
            if (read.outcome == FixedRecordsRead::Outcome::FileEnded)
                throw orrisk::ply::UnexpectedEndOfFile("element " + vertex->name);
            return read.outcome == FixedRecordsRead::Outcome::Complete;
        },
    };
    return ReadSplats(source, options.pool, data, notes);
}

std::optional<ReadFailure> ReadStored(const std::string& path, const ReadOptions& options, GaussianData& data,
                                      ReadNotes& notes)
{
    const orrisk::ply::PlyFile ply(path);
    const orrisk::ply::PlyElement* vertex = FindVertex(ply, kComponent, notes);
    if (!vertex)
        return NoVertexElement();
    VertexSource source{
        *vertex,
        PropertiesByName(*vertex),
        [](const PropertiesByName::Entry& entry, std::size_t) { return StoredColumn(*entry.property); },
        [&](const VertexSource::BlockVisitor& visit) {
            // Blocks of about as many values as a streamed block holds, so the per-block
            // buffers stay small.
            constexpr std::size_t kValuesPerBlock = 64 * 1024;
            const std::size_t count = static_cast<std::size_t>(vertex->recordCount);
            const std::size_t block = std::max<std::size_t>(1, kValuesPerBlock / std::max<std::size_t>(1, vertex->properties.size()));
            for (std::size_t first = 0; first < count; first += block)
                visit(nullptr, first, std::min(block, count - first));
            return ReportProgress(options, 1.0);
        },
    };
    return ReadSplats(source, options.pool, data, notes);
}

std::optional<ReadFailure> ReadAnyEncoding(const std::string& path, const ReadOptions& options, GaussianData& data,
                                           ReadNotes& notes)
{
    {
        orrisk::ply::PlyRecordReader reader(path);
        if (reader.HasFixedSizeRecords())
            return ReadStreamed(reader, options, data, notes);
    }
    return ReadStored(path, options, data, notes);
}

ReadResult<GaussianData> ReadNoted(const std::string& path, const ReadOptions& options, ReadNotes& notes)
{
    try {
        GaussianData data;
        if (std::optional<ReadFailure> failure = ReadAnyEncoding(path, options, data, notes))
            return *std::move(failure);
        return data;
    } catch (...) {
        return FailureOfCurrentException(kComponent, "Gaussian splat PLY", notes);
    }
}

}  // namespace

ReadResult<GaussianData> ReadGaussianPly(const std::string& path, const ReadOptions& options)
{
    if (!ReportProgress(options, 0.0))
        return Cancelled();
    ReadNotes notes;
    ReadResult<GaussianData> result = ReadNoted(path, options, notes);
    result.AddNotes(std::move(notes));
    return result;
}
