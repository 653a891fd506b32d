#include "io/laz/ChunkTable.h"

#include "io/core/LittleEndian.h"
#include "io/laz/ArithmeticDecoder.h"
#include "io/laz/IntegerDecompressor.h"

#include <algorithm>

namespace laz {
namespace {

// An entry's two integers take at most about ten coded bytes; this bounds what is read.
constexpr std::uint64_t kMaxBytesPerEntry = 24;

ChunkTable Damaged(std::string why)
{
    return ChunkTable{{}, std::move(why)};
}

template <typename T>
std::optional<T> ReadValue(const ReadOnlyFile& file, std::uint64_t offset)
{
    unsigned char bytes[sizeof(T)];
    if (!file.ReadAt(offset, bytes, sizeof bytes))
        return std::nullopt;
    return LoadLE<T>(bytes);
}

}  // namespace

ChunkTable ReadChunkTable(const ReadOnlyFile& file, const LazLayout& layout, const ChunkTableQuery& query)
{
    std::int64_t stored = query.tableOffset;
    if (stored == -1) {
        if (query.fileSize < query.chunksStart + 8)
            return Damaged("no chunk table offset at the end of the file");
        stored = ReadValue<std::int64_t>(file, query.fileSize - 8).value_or(-1);
    }
    if (stored < 0 || static_cast<std::uint64_t>(stored) < query.chunksStart
        || static_cast<std::uint64_t>(stored) > query.fileSize - std::min<std::uint64_t>(query.fileSize, 8))
        return Damaged("the chunk table offset " + std::to_string(stored) + " lies outside the file");
    const auto tableStart = static_cast<std::uint64_t>(stored);
    const auto version = ReadValue<std::uint32_t>(file, tableStart);
    const auto count = ReadValue<std::uint32_t>(file, tableStart + 4);
    if (!version || !count || *version != 0)
        return Damaged("the chunk table has an unknown version");
    // Every chunk holds a point and at least one byte.
    const std::uint64_t chunkBytes = tableStart - query.chunksStart;
    if (*count == 0 || *count > query.pointCount || *count > chunkBytes)
        return Damaged("the chunk table lists " + std::to_string(*count) + " chunks");

    const bool variable = layout.chunkSize == kVariableChunks;
    const std::uint64_t codedSize = std::min(query.fileSize - (tableStart + 8), kMaxBytesPerEntry * *count + 16);
    std::vector<unsigned char> coded(codedSize);
    if (!file.ReadAt(tableStart + 8, coded.data(), coded.size()))
        return Damaged("the chunk table cannot be read");

    ArithmeticDecoder decoder(coded.data(), coded.data() + coded.size());
    IntegerDecompressor integers(32, 2);
    ChunkTable table;
    table.chunks.resize(*count);
    std::uint32_t lastPoints = 0;
    std::uint32_t lastBytes = 0;
    std::uint64_t offset = query.chunksStart;
    std::uint64_t firstPoint = 0;
    for (ChunkSpan& chunk : table.chunks) {
        std::uint32_t points = layout.chunkSize;
        if (variable)
            points = lastPoints = static_cast<std::uint32_t>(integers.Decompress(decoder, static_cast<std::int32_t>(lastPoints), 0));
        lastBytes = static_cast<std::uint32_t>(integers.Decompress(decoder, static_cast<std::int32_t>(lastBytes), 1));
        if (!variable)
            points = static_cast<std::uint32_t>(std::min<std::uint64_t>(points, query.pointCount - std::min(firstPoint, query.pointCount)));
        if (points == 0 || lastBytes == 0 || lastBytes > tableStart - offset || points > query.pointCount - firstPoint)
            return Damaged("the chunk table's sizes do not fit the file");
        chunk = {offset, lastBytes, firstPoint, points};
        offset += lastBytes;
        firstPoint += points;
    }
    if (decoder.Failed())
        return Damaged("the chunk table is truncated");
    if (firstPoint != query.pointCount)
        return Damaged("the chunk table holds " + std::to_string(firstPoint) + " of " + std::to_string(query.pointCount) + " points");
    return table;
}

}  // namespace laz
