#pragma once

#include "io/core/ReadOnlyFile.h"
#include "io/laz/LazVlr.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace laz {

// Where one chunk's compressed bytes lie and which points they hold.
struct ChunkSpan {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint64_t firstPoint = 0;
    std::uint32_t pointCount = 0;
};

struct ChunkTableQuery {
    std::uint64_t fileSize = 0;
    std::uint64_t chunksStart = 0;  // just after the 8-byte table offset
    std::int64_t tableOffset = 0;   // as stored; -1: the real one is in the file's last 8 bytes
    std::uint64_t pointCount = 0;
};

// The chunks the table lists, checked against the file and the header's point count; the
// reason why not when the table is missing or damaged.
struct ChunkTable {
    std::vector<ChunkSpan> chunks;
    std::string damage;  // empty when the table is usable
};

ChunkTable ReadChunkTable(const ReadOnlyFile& file, const LazLayout& layout, const ChunkTableQuery& query);

}  // namespace laz
