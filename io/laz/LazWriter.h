#pragma once

#include "io/laz/LazVlr.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class ThreadPool;

// Compresses LAS point records to LAZ exactly as the reference LASzip compressor does: the
// same layout, the same LASzip VLR, the same chunk and chunk table bytes. Only where that
// compressor loses data (a layered GPS time going from 0 to -0, a wave packet offset stepping
// back by a packet size of 2^31 or more) are the bytes different, and the records come back.
// Writing the LAS header, the chunk table offset before the chunks and the file itself is the
// caller's.
namespace laz {

struct ChunkEntry {
    std::uint32_t pointCount = 0;
    std::uint64_t byteCount = 0;
};

// The layout the reference compressor picks: compressor 2 (point-wise chunked: POINT10,
// GPSTIME11, RGB12, BYTE version 2, WAVEPACKET13 version 1) for formats 0 to 5, compressor 3
// (layered chunked: POINT14, RGB14, RGBNIR14, WAVEPACKET14, BYTE14 version 3) for 6 to 10;
// the bytes past the format's standard record as one BYTE/BYTE14 item. chunkSize: points per
// chunk, or kVariableChunks. Nothing for a format above 10, a record shorter than its format's
// or a chunk size of 0.
std::optional<LazLayout> LayoutForFormat(std::uint8_t format, std::uint16_t recordLength, std::uint32_t chunkSize = 50000);

// The payload of the LASzip VLR (user id kLaszipUserId, record id kLaszipRecordId) for the
// layout, as the reference writes it: compressor, coder 0, version 3.5 r0, options 0, chunk
// size, -1 for the special EVLR count and offset, then the items.
std::vector<unsigned char> LazVlrPayload(const LazLayout& layout);

// count records of recordLength bytes compressed as one chunk. Empty when count is 0 or the
// layout is not one LayoutForFormat makes for recordLength.
std::vector<unsigned char> EncodeChunk(const LazLayout& layout, std::uint16_t recordLength, const unsigned char* records,
                                       std::uint32_t count);

// The chunk table that follows the last chunk: version 0, the chunk count, then the entries
// arithmetic-coded (the point counts only for variable chunks, and the byte counts). Empty
// when an entry does not fit the table's 32-bit fields.
std::vector<unsigned char> EncodeChunkTable(const std::vector<ChunkEntry>& chunks, bool variableChunks);

class ChunkEncoder;

// Streams records into chunks and hands the compressed chunks, in file order, to a byte sink:
// chunks of layout.chunkSize points, or, with kVariableChunks, the chunks the caller ends with
// EndChunk (COPC: one per octree node). With a pool, chunks are encoded in parallel, at most
// two per thread in flight, each written as soon as it and those before it are done; the
// result is the same bytes as without one. The sink is called on the thread that calls Add,
// EndChunk and Finish, and returns false when its write failed; the writer then stops, and
// every later call returns false.
class LazChunkWriter {
public:
    using ByteSink = std::function<bool(const unsigned char* bytes, std::size_t size)>;

    LazChunkWriter(LazLayout layout, std::uint16_t recordLength, ByteSink sink, ThreadPool* pool = nullptr);
    ~LazChunkWriter();
    LazChunkWriter(const LazChunkWriter&) = delete;
    LazChunkWriter& operator=(const LazChunkWriter&) = delete;

    // False when the layout cannot be encoded for the record length (LayoutForFormat makes it).
    bool Usable() const { return m_usable; }

    // Adds count records of recordLength bytes.
    bool Add(const unsigned char* records, std::size_t count);
    // Ends the chunk being filled (variable chunks only; false with fixed ones). Ending an
    // empty chunk does nothing.
    bool EndChunk();
    // Encodes and writes what is left and waits for every chunk; after it Chunks() lists them all.
    bool Finish();

    // The chunks written so far, in file order.
    const std::vector<ChunkEntry>& Chunks() const { return m_chunks; }

private:
    struct Slot;

    bool Dispatch();
    bool WriteOldest();
    void Fail();
    void WaitForAll();

    LazLayout m_layout;
    std::uint16_t m_recordLength;
    ByteSink m_sink;
    ThreadPool* m_pool;
    bool m_usable = false;
    bool m_failed = false;
    std::size_t m_maxInFlight = 1;
    std::unique_ptr<Slot> m_filling;             // the chunk being filled
    std::deque<std::unique_ptr<Slot>> m_inFlight;  // dispatched, in file order
    std::vector<std::unique_ptr<Slot>> m_spare;  // finished slots, for reuse with their buffers
    std::vector<ChunkEntry> m_chunks;
};

}  // namespace laz
