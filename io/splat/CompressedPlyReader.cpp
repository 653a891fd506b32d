#include "io/splat/CompressedPlyReader.h"

#include "io/ReadOnlyFile.h"
#include "io/ply/PlyRecordReader.h"
#include "io/splat/OverwriteBuffer.h"
#include "io/splat/SplatActivation.h"
#include "io/splat/SplatBytes.h"
#include "io/splat/SplatFinish.h"
#include "io/splat/SplatShared.h"
#include "platform/ThreadPool.h"

#include <array>
#include <cmath>
#include <cstring>
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

ReadFailure Malformed(const std::string& what)
{
    return Fail(ReadError::Malformed, std::string(kFormat) + ": " + what);
}

// The property must exist in the element with the given type.
std::optional<ReadFailure> RequireProperty(const orrisk::ply::PlyElement& element, const std::string& name,
                                           std::string_view type)
{
    for (const auto& property : element.properties)
        if (property->name == name)
            return property->TypeName() == type
                       ? std::nullopt
                       : std::optional(Malformed(element.name + " property " + name + " is " +
                                                 property->TypeName() + ", not " + std::string(type)));
    return Malformed("the " + element.name + " element has no " + name);
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
        return Malformed("the body is not binary with fixed-size records");
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
        return Malformed("the file holds no splats");
    if (layout.chunkCount != (layout.count + kSplatsPerChunk - 1) / kSplatsPerChunk)
        return Malformed(std::to_string(layout.chunkCount) + " chunks for " + std::to_string(layout.count) +
                         " splats of 256 a chunk");
    if (header.ContainsElement("sh")) {
        const orrisk::ply::PlyElement& sh = header.ElementNamed("sh");
        if (sh.recordCount != vertex.recordCount)
            return Malformed("the sh element has " + std::to_string(sh.recordCount) + " records for " +
                             std::to_string(layout.count) + " splats");
        while (HasProperty(sh, "f_rest_" + std::to_string(layout.restCount)))
            ++layout.restCount;
        if (layout.restCount != 9 && layout.restCount != 24 && layout.restCount != 45)
            return Malformed(std::to_string(layout.restCount) + " SH coefficients a splat, not 9, 24 or 45");
        for (std::size_t k = 0; k < layout.restCount; ++k)
            if (auto failure = RequireProperty(sh, "f_rest_" + std::to_string(k), "uchar"))
                return failure;
    }
    if (reader.SwapsBytes())
        return Fail(ReadError::Unsupported, "compressed PLY: big-endian bodies are not read");
    return std::nullopt;
}

// The named properties of every record, nameCount values a record.
template <typename T, typename Names>
std::vector<T> ReadColumns(orrisk::ply::PlyRecordReader& reader, const orrisk::ply::PlyElement& element, const Names& names,
                           std::size_t nameCount)
{
    std::vector<std::size_t> offsets(nameCount);
    for (std::size_t k = 0; k < nameCount; ++k)
        offsets[k] = reader.OffsetOf(element, names(k));
    std::vector<T> values(static_cast<std::size_t>(element.recordCount) * nameCount);
    const std::size_t recordBytes = reader.RecordBytes(element);
    std::size_t next = 0;
    reader.ReadRecords(element, [&](const std::byte* records, std::size_t count) {
        for (std::size_t r = 0; r < count; ++r)
            for (std::size_t k = 0; k < nameCount; ++k)
                std::memcpy(&values[next++], records + r * recordBytes + offsets[k], sizeof(T));
    });
    return values;
}

// An element's records as the file lays them out, and where each wanted property lies in a
// record: read in one go, decoded where they lie.
struct RecordBytes {
    OverwriteBuffer bytes;
    std::size_t recordBytes = 0;
    std::vector<std::size_t> offsets;

    const std::uint8_t* At(std::size_t record, std::size_t property) const
    {
        return bytes.data() + record * recordBytes + offsets[property];
    }
};

template <typename Names>
RecordBytes ReadRecordBytes(orrisk::ply::PlyRecordReader& reader, const orrisk::ply::PlyElement& element,
                            const Names& names, std::size_t nameCount)
{
    RecordBytes records;
    records.offsets.resize(nameCount);
    for (std::size_t k = 0; k < nameCount; ++k)
        records.offsets[k] = reader.OffsetOf(element, names(k));
    records.recordBytes = reader.RecordBytes(element);
    records.bytes = OverwriteBuffer(static_cast<std::size_t>(element.recordCount) * records.recordBytes);
    std::size_t next = 0;
    reader.ReadRecords(element, [&](const std::byte* block, std::size_t count) {
        std::memcpy(records.bytes.data() + next, block, count * records.recordBytes);
        next += count * records.recordBytes;
    });
    return records;
}

float Unpack(std::uint32_t value, int shift, int bits)
{
    const std::uint32_t mask = (1u << bits) - 1;
    return static_cast<float>((value >> shift) & mask) / static_cast<float>(mask);
}

float Lerp(float low, float high, float t)
{
    return low * (1.0f - t) + high * t;
}

// Rotation as (w, x, y, z): the largest component's index in the top two bits, the other three
// in 10 bits each, scaled to +-1/sqrt(2).
Eigen::Vector4f UnpackRotation(std::uint32_t packed)
{
    const float kRange = std::sqrt(2.0f);
    const float a = (Unpack(packed, 20, 10) - 0.5f) * kRange;
    const float b = (Unpack(packed, 10, 10) - 0.5f) * kRange;
    const float c = (Unpack(packed, 0, 10) - 0.5f) * kRange;
    const float m = std::sqrt(std::max(0.0f, 1.0f - (a * a + b * b + c * c)));
    switch (packed >> 30) {
    case 0: return {m, a, b, c};
    case 1: return {a, m, b, c};
    case 2: return {a, b, m, c};
    default: return {a, b, c, m};
    }
}

float UnpackSh(std::uint8_t n)
{
    const float t = n == 0 ? 0.0f : n == 255 ? 1.0f : (static_cast<float>(n) + 0.5f) / 256.0f;
    return (t - 0.5f) * 8.0f;
}

// Reads the chunk ranges and the packed splat and SH records.
std::optional<ReadFailure> ReadBody(orrisk::ply::PlyRecordReader& reader, const Layout& layout,
                                    std::vector<float>& chunks, RecordBytes& packed, RecordBytes& sh)
{
    try {
        const orrisk::ply::PlyFile& header = reader.Header();
        chunks = ReadColumns<float>(reader, header.ElementNamed("chunk"),
                                    [](std::size_t k) { return std::string(kChunkNames[k]); }, layout.chunkValues);
        packed = ReadRecordBytes(reader, header.ElementNamed("vertex"),
                                 [](std::size_t k) { return std::string(kPackedNames[k]); }, kPackedNames.size());
        if (layout.restCount)
            sh = ReadRecordBytes(reader, header.ElementNamed("sh"),
                                 [](std::size_t k) { return "f_rest_" + std::to_string(k); }, layout.restCount);
    } catch (const std::exception& error) {
        return Fail(ReadError::Malformed, std::string("compressed PLY: ") + error.what());
    }
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
        return Fail(ReadError::Malformed, std::string("compressed PLY: ") + error.what());
    }
    if (!ReportProgress(options, 0.1))
        return CancelledFailure(kFormat);

    // The records are read while the scene is sized, in two parts, on other threads.
    std::vector<float> chunks;
    RecordBytes packed;
    RecordBytes sh;
    GaussianData data;
    std::optional<ReadFailure> failure;
    ParallelFor(options.pool, 3, [&](std::size_t job) {
        if (job == 0)
            failure = ReadBody(*reader, layout, chunks, packed, sh);
        else if (job == 1)
            SizeSplatShRest(data, layout.count, layout.restCount);
        else
            SizeSplatAttributes(data, layout.count);
    });
    if (failure)
        return *failure;
    if (!ReportProgress(options, 0.6))
        return CancelledFailure(kFormat);

    const std::size_t restCount = layout.restCount;
    const auto opacity = OpacityOfAlphaByte();
    std::array<float, 256> shValue;
    for (int n = 0; n < 256; ++n)
        shValue[n] = UnpackSh(static_cast<std::uint8_t>(n));
    DecodeSplatScene(data, restCount, options.pool, [&](std::size_t first, std::size_t end) {
        for (std::size_t i = first; i < end; ++i) {
            const float* range = chunks.data() + (i / kSplatsPerChunk) * layout.chunkValues;
            std::array<std::uint32_t, 4> words;
            for (std::size_t k = 0; k < words.size(); ++k)
                words[k] = LoadU32(packed.At(i, k));
            const std::array<int, 3> shifts = {21, 11, 0};
            const std::array<int, 3> bits = {11, 10, 11};
            for (int a = 0; a < 3; ++a) {
                data.positions[i][a] = Lerp(range[a], range[3 + a], Unpack(words[0], shifts[a], bits[a]));
                data.scales[i][a] =
                    SplatScaleFromLog(Lerp(range[6 + a], range[9 + a], Unpack(words[2], shifts[a], bits[a])));
                float colour = Unpack(words[3], 24 - 8 * a, 8);
                if (layout.chunkValues > kChunkRequired)
                    colour = Lerp(range[12 + a], range[15 + a], colour);
                data.shDc[i][a] = (colour - 0.5f) / kSplatShC0;
            }
            data.opacities[i] = opacity[words[3] & 255];
            data.rotations[i] = UnpackRotation(words[1]);
            NormaliseSplatRotation(data.rotations[i]);
        }
        for (std::size_t i = first; i < end && restCount > 0; ++i) {
            float* rest = data.shRest.data() + i * restCount;
            for (std::size_t k = 0; k < restCount; ++k)
                rest[k] = shValue[*sh.At(i, k)];
        }
    });
    LogLoadedSplats("CompressedPlyReader", data);
    ReportProgress(options, 1.0);
    return data;
}
