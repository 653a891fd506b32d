#include "io/laz/LazWriter.h"

#include "io/core/LittleEndian.h"
#include "io/laz/ArithmeticEncoder.h"
#include "io/laz/ChunkEncoder.h"
#include "io/laz/IntegerCompressor.h"

#include <cstdint>
#include <limits>

namespace laz {
namespace {

// The version of the reference library whose output this matches, as its VLR states it.
constexpr std::uint8_t kVersionMajor = 3;
constexpr std::uint8_t kVersionMinor = 5;
constexpr std::uint16_t kVersionRevision = 0;

template <typename T>
void Append(std::vector<unsigned char>& out, T value)
{
    unsigned char bytes[sizeof(T)];
    StoreLE(bytes, value);
    out.insert(out.end(), bytes, bytes + sizeof(T));
}

std::uint16_t ItemVersion(ItemType type, bool layered)
{
    if (layered)
        return 3;
    return type == ItemType::WavePacket13 ? 1 : 2;
}

}  // namespace

std::optional<LazLayout> LayoutForFormat(std::uint8_t format, std::uint16_t recordLength, std::uint32_t chunkSize)
{
    const bool layered = format >= 6;
    const std::vector<ItemType> core = CoreItems(format, layered);
    if (core.empty() || chunkSize == 0)
        return std::nullopt;
    LazLayout layout;
    layout.compressor = layered ? Compressor::LayeredChunked : Compressor::PointWiseChunked;
    layout.chunkSize = chunkSize;
    std::uint32_t standardSize = 0;
    for (const ItemType type : core) {
        layout.items.push_back({type, FixedItemSize(type), ItemVersion(type, layered)});
        standardSize += FixedItemSize(type);
    }
    if (recordLength < standardSize)
        return std::nullopt;
    if (recordLength > standardSize) {
        const ItemType extra = layered ? ItemType::Byte14 : ItemType::Byte;
        layout.items.push_back({extra, static_cast<std::uint16_t>(recordLength - standardSize), ItemVersion(extra, layered)});
    }
    return layout;
}

std::vector<unsigned char> LazVlrPayload(const LazLayout& layout)
{
    std::vector<unsigned char> payload;
    Append(payload, static_cast<std::uint16_t>(layout.compressor));
    Append(payload, std::uint16_t{0});  // the arithmetic coder
    Append(payload, kVersionMajor);
    Append(payload, kVersionMinor);
    Append(payload, kVersionRevision);
    Append(payload, std::uint32_t{0});  // options
    Append(payload, layout.chunkSize);
    Append(payload, std::int64_t{-1});  // no special EVLRs
    Append(payload, std::int64_t{-1});
    Append(payload, static_cast<std::uint16_t>(layout.items.size()));
    for (const Item& item : layout.items) {
        Append(payload, static_cast<std::uint16_t>(item.type));
        Append(payload, item.size);
        Append(payload, item.version);
    }
    return payload;
}

std::vector<unsigned char> EncodeChunk(const LazLayout& layout, std::uint16_t recordLength, const unsigned char* records,
                                       std::uint32_t count)
{
    std::vector<unsigned char> chunk;
    if (count == 0 || !ChunkEncoder::Encodable(layout, recordLength))
        return chunk;
    ChunkEncoder(layout, recordLength).Encode(records, count, chunk);
    return chunk;
}

std::vector<unsigned char> EncodeChunkTable(const std::vector<ChunkEntry>& chunks, bool variableChunks)
{
    std::vector<unsigned char> table;
    if (chunks.size() > std::numeric_limits<std::uint32_t>::max())
        return table;
    for (const ChunkEntry& chunk : chunks)
        if (chunk.byteCount > std::numeric_limits<std::uint32_t>::max())
            return table;
    Append(table, std::uint32_t{0});  // version
    Append(table, static_cast<std::uint32_t>(chunks.size()));
    if (chunks.empty())
        return table;
    // Each entry is predicted from the one before, the first from zero.
    ArithmeticEncoder encoder;
    encoder.Start();
    IntegerCompressor integers(32, 2);
    std::uint32_t lastPoints = 0;
    std::uint32_t lastBytes = 0;
    for (const ChunkEntry& chunk : chunks) {
        const auto bytes = static_cast<std::uint32_t>(chunk.byteCount);
        if (variableChunks)
            integers.Compress(encoder, static_cast<std::int32_t>(lastPoints), static_cast<std::int32_t>(chunk.pointCount), 0);
        integers.Compress(encoder, static_cast<std::int32_t>(lastBytes), static_cast<std::int32_t>(bytes), 1);
        lastPoints = chunk.pointCount;
        lastBytes = bytes;
    }
    encoder.Finish();
    table.insert(table.end(), encoder.Bytes(), encoder.Bytes() + encoder.Size());
    return table;
}

}  // namespace laz
