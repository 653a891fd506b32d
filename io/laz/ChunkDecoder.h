#pragma once

#include "io/laz/FieldMask.h"
#include "io/laz/LazVlr.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace laz {

struct ChunkOutcome {
    bool ok = false;
    std::size_t consumed = 0;  // compressed bytes the chunk took, where it ended
    std::string reason;        // when not ok, without the "LAZ: chunk N" prefix
};

// Decodes one chunk of pointCount records into out: its first record stored raw, then the
// others arithmetic-coded (one stream for the point-wise formats, one per layer for the
// layered ones, whose chunks also state their count, which must agree). bytes may run past
// the chunk's end (a sequential read does not know it beforehand).
ChunkOutcome DecodeChunk(const LazLayout& layout, std::uint16_t recordLength, FieldMask fields, const unsigned char* bytes,
                         std::size_t size, std::uint32_t pointCount, unsigned char* out);

// How many layers, each with its size stated at the chunk's start, a layered record has.
std::size_t LayeredLayerCount(const LazLayout& layout);

// The point count a layered chunk states after its first record; 0 when the bytes are too
// few to hold it.
std::uint32_t LayeredChunkPointCount(const unsigned char* bytes, std::size_t size, std::uint16_t recordLength);

}  // namespace laz
