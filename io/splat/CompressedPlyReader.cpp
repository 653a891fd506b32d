#include "io/splat/CompressedPlyReader.h"

#include "io/core/FixedRecordRead.h"
#include "io/core/LittleEndian.h"
#include "io/core/ReadOnlyFile.h"
#include "io/ply/PlyRecordReader.h"
#include "io/splat/SplatActivation.h"
#include "io/splat/SplatBytes.h"
#include "io/splat/SplatFinish.h"
#include "io/splat/SplatShared.h"
#include "platform/ThreadPool.h"

#include <array>
#include <cmath>
#include <exception>
#include <fstream>
#include <optional>

namespace {

constexpr const char* kFormat = "compressed PLY";
constexpr std::size_t kSplatsPerChunk = 256;

// The chunk's ranges, in this order; the colour range is optional.
constexpr std::array<const char*, 18> kChunkNames = {
    "min_x", "min_y", "min_z", "max_x", "max_y", "max_z",
    "min_scale_x", "min_scale_y", "min_scale_z", "max_scale_x", "max_scale_y", "max_scale_z",
    "min_r", "min_g", "min_b", "max_r", "max_g", "max_b"};
constexpr std::size_t kChunkRequired = 12;
constexpr std::array<const char*, 4> kPackedNames = {"packed_position", "packed_rotation", "packed_scale",
                                                     "packed_color"};

struct Layout {
    std::size_t chunkCount = 0;
    std::size_t count = 0;
    std::size_t chunkValues = 0;  // 12 or 18
    std::size_t restCount = 0;
};

// The property must exist in the element with the given type.
std::optional<ReadFailure> RequireProperty(const orrisk::ply::PlyElement& element, const std::string& name,
                                           std::string_view type)
{
    for (const auto& property : element.properties)
        if (property->name == name)
            return property->TypeName() == type
                       ? std::nullopt
                       : std::optional(MalformedFailure(kFormat, element.name + " property " + name + " is " +
                                                 property->TypeName() + ", not " + std::string(type)));
    return MalformedFailure(kFormat, "the " + element.name + " element has no " + name);
}

bool HasProperty(const orrisk::ply::PlyElement& element, const std::string& name)
{
    for (const auto& property : element.properties)
        if (property->name == name)
            return true;
    return false;
}

std::optional<ReadFailure> CheckHeader(const orrisk::ply::PlyRecordReader& reader, Layout& layout)
{
    const orrisk::ply::PlyFile& header = reader.Header();
    if (!reader.HasFixedSizeRecords())
        return MalformedFailure(kFormat, "the body is not binary with fixed-size records");
    if (!header.ContainsElement("chunk") || !header.ContainsElement("vertex"))
        return Fail(ReadError::NotRecognised, "compressed PLY: no chunk and vertex elements");
    const orrisk::ply::PlyElement& chunk = header.ElementNamed("chunk");
    const orrisk::ply::PlyElement& vertex = header.ElementNamed("vertex");
    for (std::size_t k = 0; k < kChunkRequired; ++k)
        if (auto failure = RequireProperty(chunk, kChunkNames[k], "float"))
            return failure;
    layout.chunkValues = kChunkRequired;
    if (HasProperty(chunk, "min_r")) {
        for (std::size_t k = kChunkRequired; k < kChunkNames.size(); ++k)
            if (auto failure = RequireProperty(chunk, kChunkNames[k], "float"))
                return failure;
        layout.chunkValues = kChunkNames.size();
    }
    for (const char* name : kPackedNames)
        if (auto failure = RequireProperty(vertex, name, "uint"))
            return failure;
    layout.chunkCount = static_cast<std::size_t>(chunk.recordCount);
    layout.count = static_cast<std::size_t>(vertex.recordCount);
    if (layout.count == 0)
        return MalformedFailure(kFormat, "the file holds no splats");
    if (layout.chunkCount != (layout.count + kSplatsPerChunk - 1) / kSplatsPerChunk)
        return MalformedFailure(kFormat, std::to_string(layout.chunkCount) + " chunks for " + std::to_string(layout.count) +
                         " splats of 256 a chunk");
    if (header.ContainsElement("sh")) {
        const orrisk::ply::PlyElement& sh = header.ElementNamed("sh");
        if (sh.recordCount != vertex.recordCount)
            return MalformedFailure(kFormat, "the sh element has " + std::to_string(sh.recordCount) + " records for " +
                             std::to_string(layout.count) + " splats");
        while (HasProperty(sh, "f_rest_" + std::to_string(layout.restCount)))
            ++layout.restCount;
        if (layout.restCount != 9 && layout.restCount != 24 && layout.restCount != 45)
            return MalformedFailure(kFormat, std::to_string(layout.restCount) + " SH coefficients a splat, not 9, 24 or 45");
        for (std::size_t k = 0; k < layout.restCount; ++k)
            if (auto failure = RequireProperty(sh, "f_rest_" + std::to_string(k), "uchar"))
                return failure;
    }
    if (reader.SwapsBytes())
        return Fail(ReadError::Unsupported, "compressed PLY: big-endian bodies are not read");
    return std::nullopt;
}

// Where each wanted property lies in an element's records.
struct RecordFields {
    std::size_t recordBytes = 0;
    std::vector<std::size_t> offsets;

    const std::uint8_t* At(const std::byte* records, std::size_t record, std::size_t property) const
    {
        return reinterpret_cast<const std::uint8_t*>(records) + record * recordBytes + offsets[property];
    }
};

template <typename Names>
RecordFields FieldsOf(const orrisk::ply::PlyRecordReader& reader, const orrisk::ply::PlyElement& element,
                      const Names& names, std::size_t nameCount)
{
    RecordFields fields;
    fields.recordBytes = reader.RecordBytes(element);
    for (std::size_t k = 0; k < nameCount; ++k)
        fields.offsets.push_back(reader.OffsetOf(element, names(k)));
    return fields;
}

// The named properties of every record, nameCount values a record.
template <typename T, typename Names>
std::vector<T> ReadColumns(orrisk::ply::PlyRecordReader& reader, const orrisk::ply::PlyElement& element, const Names& names,
                           std::size_t nameCount)
{
    const RecordFields fields = FieldsOf(reader, element, names, nameCount);
    std::vector<T> values(static_cast<std::size_t>(element.recordCount) * nameCount);
    std::size_t next = 0;
    reader.ReadRecords(element, [&](const std::byte* records, std::size_t count) {
        for (std::size_t r = 0; r < count; ++r)
            for (std::size_t k = 0; k < nameCount; ++k)
                values[next++] = LoadLE<T>(fields.At(records, r, k));
    });
    return values;
}

float Unpack(std::uint32_t value, int shift, int bits)
{
    const std::uint32_t mask = (1u << bits) - 1;
    return static_cast<float>((value >> shift) & mask) / static_cast<float>(mask);
}

// Every value a packed field of 8, 10 or 11 bits can give, and a rotation component's 10
// bits scaled to +-1/sqrt(2): looked up per splat instead of divided.
struct PackedTables {
    std::array<float, 256> of8;
    std::array<float, 1024> of10;
    std::array<float, 2048> of11;
    std::array<float, 1024> rotation;

    PackedTables()
    {
        const float kRange = std::sqrt(2.0f);
        for (std::uint32_t v = 0; v < of11.size(); ++v) {
            of11[v] = Unpack(v, 0, 11);
            if (v < of10.size()) {
                of10[v] = Unpack(v, 0, 10);
                rotation[v] = (of10[v] - 0.5f) * kRange;
            }
            if (v < of8.size())
                of8[v] = Unpack(v, 0, 8);
        }
    }
};

// Rotation as (w, x, y, z): the largest component's index in the top two bits, the other three
// in 10 bits each, scaled to +-1/sqrt(2).
Eigen::Vector4f UnpackRotation(std::uint32_t packed, const PackedTables& tables)
{
    const float a = tables.rotation[(packed >> 20) & 1023];
    const float b = tables.rotation[(packed >> 10) & 1023];
    const float c = tables.rotation[packed & 1023];
    const float m = std::sqrt(std::max(0.0f, 1.0f - (a * a + b * b + c * c)));
    return QuaternionWithLargestAt(packed >> 30, m, a, b, c);
}

float UnpackSh(std::uint8_t n)
{
    const float t = n == 0 ? 0.0f : n == 255 ? 1.0f : (static_cast<float>(n) + 0.5f) / 256.0f;
    return (t - 0.5f) * 8.0f;
}

// The values of one splat's packed record, with its chunk's ranges. Positions and scales are
// 11, 10 and 11 bits, colour and opacity 8 bits each.
void DecodePacked(const RecordFields& packed, const std::byte* records, std::size_t record, const float* range,
                  const Layout& layout, const PackedTables& tables, const std::array<float, 256>& opacity,
                  GaussianData& data, std::size_t i)
{
    std::array<std::uint32_t, 4> words;
    for (std::size_t k = 0; k < words.size(); ++k)
        words[k] = LoadLE<std::uint32_t>(packed.At(records, record, k));
    const auto elevenTenEleven = [&](std::uint32_t word, int axis) {
        return axis == 1 ? tables.of10[(word >> 11) & 1023] : tables.of11[axis == 0 ? word >> 21 : word & 2047];
    };
    for (int a = 0; a < 3; ++a) {
        data.positions[i][a] = Lerp(range[a], range[3 + a], elevenTenEleven(words[0], a));
        data.scales[i][a] = SplatScaleFromLog(Lerp(range[6 + a], range[9 + a], elevenTenEleven(words[2], a)));
        float colour = tables.of8[(words[3] >> (24 - 8 * a)) & 255];
        if (layout.chunkValues > kChunkRequired)
            colour = Lerp(range[12 + a], range[15 + a], colour);
        data.shDc[i][a] = (colour - 0.5f) / kSplatShC0;
    }
    data.opacities[i] = opacity[words[3] & 255];
    data.rotations[i] = UnpackRotation(words[1], tables);
    NormaliseSplatRotation(data.rotations[i]);
}

std::optional<ReadFailure> FailureOf(const FixedRecordsRead& read, const std::string& element)
{
    if (read.outcome == FixedRecordsRead::Outcome::Cancelled)
        return CancelledFailure(kFormat);
    if (read.outcome == FixedRecordsRead::Outcome::FileEnded)
        return Fail(ReadError::Truncated, "compressed PLY: unexpected end of file in element " + element);
    return std::nullopt;
}

}  // namespace

bool IsCompressedSplatPly(const std::string& path)
{
    const Bytes start = ReadFileStart(path, 64 * 1024);
    const std::string_view text(reinterpret_cast<const char*>(start.data()), start.size());
    if (!text.starts_with("ply"))
        return false;
    const std::string_view header = text.substr(0, text.find("end_header"));
    return header.find("element chunk ") != std::string_view::npos &&
           header.find("packed_position") != std::string_view::npos;
}

ReadResult<GaussianData> ReadCompressedSplatPly(const std::string& path, const ReadOptions& options)
{
    if (!ReadOnlyFile(path).RegularFileSize())
        return Fail(ReadError::CannotOpen, "compressed PLY: cannot open " + path + " as a regular file");
    Layout layout;
    std::optional<orrisk::ply::PlyRecordReader> reader;
    try {
        reader.emplace(path);
        if (auto failure = CheckHeader(*reader, layout))
            return *failure;
        try {
            reader->RequireCompleteBody();
        } catch (const std::exception& error) {
            return Fail(ReadError::Truncated, std::string("compressed PLY: ") + error.what());
        }
    } catch (const std::exception& error) {
        return MalformedFailure(kFormat, error.what());
    }
    if (!ReportProgress(options, 0.1))
        return CancelledFailure(kFormat);

    // The chunk ranges are read while the scene is sized, in two parts, on other threads; then
    // the packed records and the SH records are decoded where they are read, over the pool.
    const orrisk::ply::PlyFile& header = reader->Header();
    const orrisk::ply::PlyElement& vertex = header.ElementNamed("vertex");
    std::vector<float> chunks;
    GaussianData data;
    std::optional<ReadFailure> failure;
    ParallelFor(options.pool, 3, [&](std::size_t job) {
        if (job == 0) {
            try {
                chunks = ReadColumns<float>(*reader, header.ElementNamed("chunk"),
                                            [](std::size_t k) { return std::string(kChunkNames[k]); }, layout.chunkValues);
            } catch (const std::exception& error) {
                failure = MalformedFailure(kFormat, error.what());
            }
        } else if (job == 1) {
            SizeSplatShRest(data, layout.count, layout.restCount);
        } else {
            SizeSplatAttributes(data, layout.count);
        }
    });
    if (failure)
        return *failure;

    const ReadOnlyFile file(path);
    const RecordFields packed = FieldsOf(*reader, vertex, [](std::size_t k) { return std::string(kPackedNames[k]); },
                                         kPackedNames.size());
    const auto opacity = OpacityOfAlphaByte();
    const PackedTables tables;
    const FixedRecordsRead packedRead = ReadFixedRecords(
        file, reader->Layout(vertex), options, {0.1, 0.5}, [&](const std::byte* records, std::size_t first, std::size_t count) {
            for (std::size_t r = 0; r < count; ++r) {
                const std::size_t i = first + r;
                DecodePacked(packed, records, r, chunks.data() + (i / kSplatsPerChunk) * layout.chunkValues, layout,
                             tables, opacity, data, i);
            }
        });
    if (auto readFailure = FailureOf(packedRead, "vertex"))
        return *readFailure;

    const std::size_t restCount = layout.restCount;
    if (restCount > 0) {
        const orrisk::ply::PlyElement& shElement = header.ElementNamed("sh");
        const RecordFields sh = FieldsOf(*reader, shElement, [](std::size_t k) { return "f_rest_" + std::to_string(k); },
                                         restCount);
        // Writers store f_rest_0, f_rest_1, ... one byte after another; any order is read.
        bool inOrder = true;
        for (std::size_t k = 0; k < restCount; ++k)
            inOrder = inOrder && sh.offsets[k] == sh.offsets[0] + k;
        std::array<float, 256> shValue;
        for (int n = 0; n < 256; ++n)
            shValue[n] = UnpackSh(static_cast<std::uint8_t>(n));
        const FixedRecordsRead shRead = ReadFixedRecords(
            file, reader->Layout(shElement), options, {0.5, 0.9},
            [&](const std::byte* records, std::size_t first, std::size_t count) {
                for (std::size_t r = 0; r < count; ++r) {
                    float* rest = data.shRest.data() + (first + r) * restCount;
                    if (inOrder) {
                        const std::uint8_t* bytes = sh.At(records, r, 0);
                        for (std::size_t k = 0; k < restCount; ++k)
                            rest[k] = shValue[bytes[k]];
                    } else {
                        for (std::size_t k = 0; k < restCount; ++k)
                            rest[k] = shValue[*sh.At(records, r, k)];
                    }
                }
            });
        if (auto readFailure = FailureOf(shRead, "sh"))
            return *readFailure;
    }
    // Everything is decoded: what is left is the origin and the bounds.
    DecodeSplatScene(data, restCount, options.pool, [](std::size_t, std::size_t) {});
    ReportProgress(options, 1.0);
    return SplatsRead("CompressedPlyReader", std::move(data));
}
