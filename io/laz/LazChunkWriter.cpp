#include "io/laz/ChunkEncoder.h"
#include "io/laz/LazWriter.h"
#include "platform/ThreadPool.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <future>
#include <limits>

namespace laz {

// One chunk on its way: its records, then its compressed bytes. Whoever claims it first
// encodes it, a pool worker or the writer's thread when it needs the chunk next; so the
// writer never waits on a pool busy elsewhere (it may itself run on one of the workers).
struct LazChunkWriter::Slot {
    Slot(const LazLayout& layout, std::uint16_t recordLength) : encoder(layout, recordLength) {}

    void Encode()
    {
        encoded.clear();
        encoder.Encode(records.data(), count, encoded);
    }

    ChunkEncoder encoder;
    std::vector<unsigned char> records;
    std::uint32_t count = 0;
    std::vector<unsigned char> encoded;
    // Made anew for each dispatch: a job that lost the claim touches nothing else, so the slot
    // may be reused before that job has run.
    std::shared_ptr<std::atomic<bool>> claimed;
    std::future<void> encodedByPool;  // valid when a worker claimed the chunk
};

LazChunkWriter::LazChunkWriter(LazLayout layout, std::uint16_t recordLength, ByteSink sink, ThreadPool* pool)
    : m_layout(std::move(layout)), m_recordLength(recordLength), m_sink(std::move(sink)), m_pool(pool)
{
    m_usable = ChunkEncoder::Encodable(m_layout, m_recordLength) && m_sink;
    if (m_pool)
        m_maxInFlight = 2 * std::max(1u, m_pool->Concurrency());
}

LazChunkWriter::~LazChunkWriter()
{
    WaitForAll();
}

bool LazChunkWriter::Add(const unsigned char* records, std::size_t count)
{
    if (!m_usable || m_failed)
        return false;
    const bool variable = m_layout.chunkSize == kVariableChunks;
    while (count > 0) {
        if (!m_filling) {
            if (m_spare.empty()) {
                m_filling = std::make_unique<Slot>(m_layout, m_recordLength);
            } else {
                m_filling = std::move(m_spare.back());
                m_spare.pop_back();
            }
        }
        Slot& slot = *m_filling;
        // A chunk's point count is a 32-bit field.
        const std::uint32_t room = variable ? std::numeric_limits<std::uint32_t>::max() - slot.count : m_layout.chunkSize - slot.count;
        if (room == 0) {
            Fail();
            return false;
        }
        const auto take = static_cast<std::uint32_t>(std::min<std::size_t>(count, room));
        slot.records.insert(slot.records.end(), records, records + std::size_t{take} * m_recordLength);
        slot.count += take;
        records += std::size_t{take} * m_recordLength;
        count -= take;
        if (!variable && slot.count == m_layout.chunkSize && !Dispatch())
            return false;
    }
    return true;
}

bool LazChunkWriter::EndChunk()
{
    if (!m_usable || m_failed || m_layout.chunkSize != kVariableChunks)
        return false;
    if (!m_filling || m_filling->count == 0)
        return true;
    return Dispatch();
}

bool LazChunkWriter::Finish()
{
    if (!m_usable || m_failed)
        return false;
    if (m_filling && m_filling->count > 0 && !Dispatch())
        return false;
    while (!m_inFlight.empty())
        if (!WriteOldest())
            return false;
    return true;
}

bool LazChunkWriter::Dispatch()
{
    while (m_inFlight.size() >= m_maxInFlight)
        if (!WriteOldest())
            return false;
    Slot* slot = m_filling.get();
    slot->claimed = std::make_shared<std::atomic<bool>>(false);
    slot->encodedByPool = {};
    if (m_pool) {
        slot->encodedByPool = m_pool->Submit([slot, claimed = slot->claimed] {
            if (!claimed->exchange(true))
                slot->Encode();
        });
    }
    m_inFlight.push_back(std::move(m_filling));
    // Hand over every chunk at the front that is done, without waiting for any.
    while (m_pool && !m_inFlight.empty()) {
        std::future<void>& front = m_inFlight.front()->encodedByPool;
        if (front.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            break;
        if (!WriteOldest())
            return false;
    }
    if (!m_pool)
        return WriteOldest();
    return true;
}

bool LazChunkWriter::WriteOldest()
{
    std::unique_ptr<Slot> slot = std::move(m_inFlight.front());
    m_inFlight.pop_front();
    try {
        if (!slot->claimed->exchange(true))
            slot->Encode();
        else
            slot->encodedByPool.get();
    } catch (const std::exception&) {  // out of memory while encoding
        Fail();
        return false;
    }
    const std::size_t size = slot->encoded.size();
    if (size > std::numeric_limits<std::uint32_t>::max() || !m_sink(slot->encoded.data(), size)) {
        Fail();
        return false;
    }
    m_chunks.push_back({slot->count, size});
    slot->records.clear();
    slot->count = 0;
    m_spare.push_back(std::move(slot));
    return true;
}

void LazChunkWriter::Fail()
{
    m_failed = true;
    WaitForAll();
}

// Jobs that claimed a chunk write into its slot: they must end before the slot does.
void LazChunkWriter::WaitForAll()
{
    for (const std::unique_ptr<Slot>& slot : m_inFlight) {
        const bool workerHasIt = slot->claimed->exchange(true);
        if (workerHasIt && slot->encodedByPool.valid())
            slot->encodedByPool.wait();
    }
}

}  // namespace laz
