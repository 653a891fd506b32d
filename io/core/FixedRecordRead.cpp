#include "io/core/FixedRecordRead.h"

#include "platform/ThreadPool.h"

#include <algorithm>
#include <cstdint>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Large enough to make each read cheap, small enough that a block decoded column by column
// stays in cache.
constexpr std::size_t kBlockBytes = 256 * 1024;
// Ranges per thread: more than one, so that a thread slowed by a busy machine does not hold
// up the others, and the calling thread keeps reporting progress until near the end.
constexpr std::size_t kRangesPerThread = 8;
// Ranges smaller than this are not worth handing to another thread.
constexpr std::size_t kMinimumRangeBytes = kBlockBytes;
// Progress is reported each time it has grown by this much.
constexpr double kProgressStep = 1.0 / 512.0;

std::size_t RangeCount(const FixedRecords& records, const ThreadPool* pool)
{
    if (!pool || records.count == 0)
        return 1;
    const std::size_t totalBytes = records.count * records.recordBytes;
    const std::size_t bySize = std::max<std::size_t>(1, totalBytes / kMinimumRangeBytes);
    return std::min({bySize, std::size_t{pool->Concurrency()} * kRangesPerThread, records.count});
}

// What the threads of one read share.
class SharedRead {
public:
    SharedRead(const FixedRecords& records, const ReadOptions& options, ProgressSpan span)
        : m_total(records.count), m_options(options), m_span(span), m_caller(std::this_thread::get_id())
    {
    }

    // Whether a range need not read the block starting at record `first`: the read was
    // cancelled, or the file is known to end before it. Blocks before a missing one are still
    // read, so the first missing block is found whichever thread met a missing one first.
    bool Stopped(std::size_t first) const
    {
        return m_cancelled.load(std::memory_order_relaxed) || first >= m_endedAt.load(std::memory_order_relaxed);
    }

    void BlockEnded(std::size_t first, std::size_t count)
    {
        std::lock_guard lock(m_mutex);
        if (m_ended && first + count >= m_endedBefore)
            return;
        m_ended = true;
        m_endedBefore = first + count;
        m_endedAt.store(first, std::memory_order_relaxed);
    }

    // Counts a finished block; on the calling thread, reports progress when it has grown enough.
    void BlockDone(std::size_t count)
    {
        const std::size_t done = m_done.fetch_add(count, std::memory_order_relaxed) + count;
        if (std::this_thread::get_id() != m_caller || !m_options.progress)
            return;
        const double fraction = m_span.from + (m_span.to - m_span.from) * static_cast<double>(done) / static_cast<double>(m_total);
        if (fraction < m_reported + kProgressStep)
            return;
        m_reported = fraction;
        if (!ReportProgress(m_options, fraction))
            Cancel();
    }

    FixedRecordsRead Finish()
    {
        if (m_ended)
            return {FixedRecordsRead::Outcome::FileEnded, m_endedBefore};
        if (m_cancelled.load(std::memory_order_relaxed) ||
            (m_reported < m_span.to && !ReportProgress(m_options, m_span.to)))
            return {FixedRecordsRead::Outcome::Cancelled, 0};
        return {};
    }

private:
    void Cancel() { m_cancelled.store(true, std::memory_order_relaxed); }

    const std::size_t m_total;
    const ReadOptions& m_options;
    const ProgressSpan m_span;
    const std::thread::id m_caller;
    std::atomic<std::size_t> m_done{0};
    std::atomic<std::size_t> m_endedAt{SIZE_MAX};  // the first record of the earliest missing block seen
    std::atomic<bool> m_cancelled{false};
    double m_reported = -1.0;  // touched by the calling thread only
    std::mutex m_mutex;
    bool m_ended = false;
    std::size_t m_endedBefore = 0;
};

}  // namespace

FixedRecordsRead ReadFixedRecords(const ReadOnlyFile& file, const FixedRecords& records, const ReadOptions& options,
                                  ProgressSpan span, const RecordBlockVisitor& visit)
{
    SharedRead shared(records, options, span);
    if (records.recordBytes == 0 || records.count == 0)
        return shared.Finish();

    const std::size_t ranges = RangeCount(records, options.pool);
    const std::size_t perRange = (records.count + ranges - 1) / ranges;
    const std::size_t perBlock = std::clamp<std::size_t>(kBlockBytes / records.recordBytes, 1, perRange);
    ParallelFor(options.pool, ranges, [&](std::size_t range) {
        const std::size_t begin = std::min(records.count, range * perRange);
        const std::size_t end = std::min(records.count, begin + perRange);
        std::vector<std::byte> block(std::min(perBlock, end - begin) * records.recordBytes);
        for (std::size_t first = begin; first < end && !shared.Stopped(first); first += perBlock) {
            const std::size_t count = std::min(perBlock, end - first);
            if (!file.ReadAt(records.offset + first * records.recordBytes, block.data(), count * records.recordBytes)) {
                shared.BlockEnded(first, count);
                return;
            }
            visit(block.data(), first, count);
            shared.BlockDone(count);
        }
    });
    return shared.Finish();
}
