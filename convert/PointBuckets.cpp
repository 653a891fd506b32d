#include "convert/PointBuckets.h"

#include "platform/ThreadPool.h"

#include <algorithm>
#include <cstring>

namespace octree {
namespace {

// Record numbers within a run are 32-bit.
constexpr std::uint64_t kMaxRunPoints = std::uint64_t{1} << 31;
// Every run carries a bucket directory: runs much smaller than it would cost more than they save.
constexpr std::uint64_t kMinRunPoints = 16384;
constexpr std::size_t kWriteBuffer = std::size_t{4} << 20;

}  // namespace

PointBuckets::PointBuckets(const CubeFrame& frame, std::uint16_t recordLength, std::uint64_t totalPoints,
                           std::uint64_t memoryPoints, std::string spillFolder, ThreadPool* pool)
    : m_frame(frame), m_recordLength(recordLength), m_spillFolder(std::move(spillFolder)), m_pool(pool),
      m_counts(kBucketCount, 0)
{
    m_fits = totalPoints <= memoryPoints && totalPoints <= kMaxRunPoints;
    m_runPoints = m_fits ? std::max<std::uint64_t>(totalPoints, 1) : std::clamp<std::uint64_t>(memoryPoints, kMinRunPoints, kMaxRunPoints);
    m_arena.reset(new unsigned char[m_runPoints * recordLength]);
}

std::size_t PointBuckets::BucketOf(const unsigned char* record) const
{
    return static_cast<std::size_t>(NodeOf(RecordKey(m_frame, record), kBucketLevel));
}

unsigned char* PointBuckets::Room(std::size_t wanted, std::size_t& granted)
{
    granted = 0;
    if (m_arenaPoints == m_runPoints) {
        if (m_fits) {
            m_error = "the source holds more points than it did at first";
            return nullptr;
        }
        if (!SpillArena())
            return nullptr;
    }
    granted = static_cast<std::size_t>(std::min<std::uint64_t>(wanted, m_runPoints - m_arenaPoints));
    return m_arena.get() + m_arenaPoints * m_recordLength;
}

bool PointBuckets::Add(const unsigned char* records, std::size_t count)
{
    while (count > 0) {
        std::size_t take = 0;
        unsigned char* room = Room(count, take);
        if (!room)
            return false;
        std::memcpy(room, records, take * m_recordLength);
        Filled(take);
        records += take * m_recordLength;
        count -= take;
    }
    return true;
}

// Lists the arena's records by bucket, in arrival order within each (a counting sort).
PointBuckets::Run PointBuckets::SortArena()
{
    Run run;
    run.bucketStart.assign(kBucketCount + 1, 0);
    std::vector<std::uint32_t> buckets(m_arenaPoints);
    constexpr std::size_t kBlock = 65536;
    ParallelFor(m_pool, (buckets.size() + kBlock - 1) / kBlock, [&](std::size_t block) {
        const std::size_t end = std::min(buckets.size(), (block + 1) * kBlock);
        for (std::size_t i = block * kBlock; i < end; ++i)
            buckets[i] = static_cast<std::uint32_t>(BucketOf(m_arena.get() + i * m_recordLength));
    });
    for (const std::uint32_t bucket : buckets)
        ++run.bucketStart[bucket + 1];
    for (std::size_t b = 0; b < kBucketCount; ++b) {
        m_counts[b] += run.bucketStart[b + 1];
        run.bucketStart[b + 1] += run.bucketStart[b];
    }
    m_order.resize(m_arenaPoints);
    std::vector<std::uint32_t> next(run.bucketStart.begin(), run.bucketStart.end() - 1);
    for (std::uint64_t i = 0; i < m_arenaPoints; ++i)
        m_order[next[buckets[i]]++] = static_cast<std::uint32_t>(i);
    return run;
}

bool PointBuckets::SpillArena()
{
    if (!m_spill) {
        m_spill = std::make_unique<SpillFile>(m_spillFolder);
        if (!m_spill->Ok()) {
            m_error = m_spill->Error();
            return false;
        }
    }
    Run run = SortArena();
    run.spillOffset = m_spill->Size();
    std::vector<unsigned char> buffer;
    buffer.reserve(kWriteBuffer);
    for (const std::uint32_t i : m_order) {
        if (buffer.size() + m_recordLength > kWriteBuffer) {
            if (!m_spill->Append(buffer.data(), buffer.size()))
                break;
            buffer.clear();
        }
        const unsigned char* record = m_arena.get() + std::size_t{i} * m_recordLength;
        buffer.insert(buffer.end(), record, record + m_recordLength);
    }
    if (!m_spill->Ok() || !m_spill->Append(buffer.data(), buffer.size())) {
        m_error = m_spill->Error();
        return false;
    }
    m_runs.push_back(std::move(run));
    m_arenaPoints = 0;
    m_order.clear();
    m_order.shrink_to_fit();
    return true;
}

void PointBuckets::Finish()
{
    m_runs.push_back(SortArena());
    m_runs.back().inMemory = true;
}

bool PointBuckets::Load(std::size_t first, std::size_t end, BucketRecords& out)
{
    out.rows.clear();
    if (!m_spill) {
        const Run& run = m_runs.front();
        out.base = m_arena.get();
        out.rows.assign(m_order.begin() + run.bucketStart[first], m_order.begin() + run.bucketStart[end]);
        return true;
    }
    std::uint64_t total = 0;
    for (const Run& run : m_runs)
        total += run.bucketStart[end] - run.bucketStart[first];
    if (out.capacity < total) {
        out.loaded.reset(new unsigned char[total * m_recordLength]);
        out.capacity = total;
    }
    unsigned char* at = out.loaded.get();
    for (const Run& run : m_runs) {
        const std::uint32_t begin = run.bucketStart[first], stop = run.bucketStart[end];
        if (run.inMemory) {
            for (std::uint32_t i = begin; i < stop; ++i, at += m_recordLength)
                std::memcpy(at, m_arena.get() + std::size_t{m_order[i]} * m_recordLength, m_recordLength);
            continue;
        }
        const std::size_t bytes = std::size_t{stop - begin} * m_recordLength;
        if (bytes > 0 && !m_spill->ReadAt(run.spillOffset + std::uint64_t{begin} * m_recordLength, at, bytes)) {
            m_error = m_spill->Error();
            return false;
        }
        at += bytes;
    }
    out.base = out.loaded.get();
    out.rows.resize(total);
    for (std::size_t i = 0; i < out.rows.size(); ++i)
        out.rows[i] = static_cast<std::uint32_t>(i);
    return true;
}

}  // namespace octree
