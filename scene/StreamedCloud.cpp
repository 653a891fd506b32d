#include "scene/StreamedCloud.h"

#include "platform/Log.h"
#include "platform/ThreadPool.h"

#include <unistd.h>

#include <algorithm>
#include <exception>
#include <new>

namespace {

// Requests beyond this many are forgotten, oldest first: a camera that keeps moving asks for
// far more than can be decoded, and only the latest views matter.
constexpr std::size_t kMaxQueued = 4096;
constexpr std::size_t kKeptFailureReasons = 64;

}  // namespace

std::size_t DefaultStreamedCacheBudget()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return std::size_t{1} << 30;
    return static_cast<std::size_t>(pages) / 4 * static_cast<std::size_t>(pageSize);
}

StreamedCloud::StreamedCloud(std::vector<StreamedNode> nodes, NodeDecoder decoder, ThreadPool* pool,
                             std::size_t memoryBudget)
    : m_nodes(std::move(nodes)), m_decoder(std::move(decoder)),
      m_budget(memoryBudget != 0 ? memoryBudget : DefaultStreamedCacheBudget()), m_slots(m_nodes.size()), m_pool(pool)
{
    for (const StreamedNode& node : m_nodes) {
        m_totalPoints += node.pointCount;
        m_depth = std::max(m_depth, node.depth + 1);
    }
    if (!m_pool) {
        m_ownPool = std::make_unique<ThreadPool>(1);
        m_pool = m_ownPool.get();
    }
}

StreamedCloud::~StreamedCloud()
{
    SetArrivalCallback({});
    std::unique_lock lock(m_mutex);
    m_stopping = true;
    for (const auto& [stamp, node] : m_queue)
        m_slots[node].state = State::Absent;
    m_queue.clear();
    m_idle.wait(lock, [this] { return m_running == 0; });
}

void StreamedCloud::Insert(std::size_t node, NodePoints points)
{
    if (node >= m_nodes.size())
        return;
    const std::lock_guard lock(m_mutex);
    if (m_slots[node].state == State::Loaded || m_slots[node].state == State::Decoding)
        return;
    m_queue.erase({m_slots[node].queuedAs, static_cast<std::uint32_t>(node)});
    StoreLocked(node, std::make_shared<const NodePoints>(std::move(points)));
}

std::shared_ptr<const NodePoints> StreamedCloud::Points(std::size_t node) const
{
    const std::lock_guard lock(m_mutex);
    return node < m_slots.size() ? m_slots[node].points : nullptr;
}

bool StreamedCloud::IsLoaded(std::size_t node) const
{
    if (node >= m_nodes.size())
        return false;
    if (m_nodes[node].pointCount == 0)
        return true;
    const std::lock_guard lock(m_mutex);
    return m_slots[node].state == State::Loaded;
}

bool StreamedCloud::HasFailed(std::size_t node) const
{
    const std::lock_guard lock(m_mutex);
    return node < m_slots.size() && m_slots[node].state == State::Failed;
}

void StreamedCloud::Request(std::span<const std::uint32_t> nodes)
{
    const std::lock_guard lock(m_mutex);
    if (m_stopping)
        return;
    // The first node given is the most wanted: it gets the highest stamp.
    for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
        const std::uint32_t node = *it;
        if (node >= m_nodes.size() || m_nodes[node].pointCount == 0)
            continue;
        Slot& slot = m_slots[node];
        if (slot.state == State::Queued)
            m_queue.erase({slot.queuedAs, node});
        else if (slot.state != State::Absent)
            continue;
        slot.state = State::Queued;
        slot.queuedAs = m_nextStamp++;
        m_queue.emplace(slot.queuedAs, node);
    }
    while (m_queue.size() > kMaxQueued) {
        m_slots[m_queue.begin()->second].state = State::Absent;
        m_queue.erase(m_queue.begin());
    }
    StartWorkersLocked();
}

void StreamedCloud::MarkDrawn(std::span<const std::uint32_t> nodes)
{
    const std::lock_guard lock(m_mutex);
    ++m_frame;
    for (const std::uint32_t node : nodes)
        if (node < m_slots.size())
            m_slots[node].lastDrawn = m_frame;
    EvictLocked();
}

void StreamedCloud::WaitUntilIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_queue.empty() && m_running == 0; });
}

void StreamedCloud::SetArrivalCallback(std::function<void()> callback)
{
    const std::lock_guard lock(m_callbackMutex);
    m_onArrival = std::move(callback);
}

StreamedCloud::Stats StreamedCloud::GetStats() const
{
    const std::lock_guard lock(m_mutex);
    return m_stats;
}

std::vector<std::string> StreamedCloud::FailureReasons() const
{
    const std::lock_guard lock(m_mutex);
    return m_failureReasons;
}

void StreamedCloud::StartWorkersLocked()
{
    const std::size_t concurrency = std::max(1u, m_pool->Concurrency());
    while (m_running < concurrency && m_running < m_queue.size()) {
        ++m_running;
        // The future is not kept: the destructor waits for m_running instead.
        (void)m_pool->Submit([this] { DecodeQueued(); });
    }
}

void StreamedCloud::DecodeQueued()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_stopping || m_queue.empty()) {
            --m_running;
            m_idle.notify_all();
            return;
        }
        const auto newest = std::prev(m_queue.end());
        const std::uint32_t node = newest->second;
        m_queue.erase(newest);
        m_slots[node].state = State::Decoding;
        lock.unlock();

        std::optional<std::string> failure;
        auto points = std::make_shared<NodePoints>();
        const std::uint64_t count = m_nodes[node].pointCount;
        if (count > m_budget / kStreamedPointBytes) {
            failure = std::to_string(count) + " points are more than the cache's memory budget of " +
                      std::to_string(m_budget) + " bytes holds";
        } else {
            try {
                failure = m_decoder(node, *points);
            } catch (const std::bad_alloc&) {
                failure = "not enough memory to decode it";
            } catch (const std::exception& error) {  // a worker that threw would never report back
                failure = error.what();
            }
        }
        if (!failure && points->positions.size() != count)
            failure = "it decoded to " + std::to_string(points->positions.size()) + " points, not the " +
                      std::to_string(count) + " the hierarchy gives";
        if (!failure && !points->colors.empty() && points->colors.size() != points->positions.size())
            failure = "its colours do not match its points";

        lock.lock();
        ++m_stats.decoded;
        if (failure)
            FailLocked(node, "node " + std::to_string(node) + " is skipped: " + *failure);
        else
            StoreLocked(node, std::move(points));
        lock.unlock();
        NotifyArrival();
        lock.lock();
    }
}

void StreamedCloud::StoreLocked(std::size_t node, std::shared_ptr<const NodePoints> points)
{
    Slot& slot = m_slots[node];
    m_stats.cachedBytes += points->Bytes();
    ++m_stats.loadedNodes;
    slot.points = std::move(points);
    slot.state = State::Loaded;
    slot.lastDrawn = m_frame;  // arrived for this frame: kept at least until the next
    EvictLocked();
}

void StreamedCloud::FailLocked(std::size_t node, std::string reason)
{
    m_slots[node].state = State::Failed;
    ++m_stats.failed;
    Log(LogLevel::Warning, "StreamedCloud", reason);
    if (m_failureReasons.size() < kKeptFailureReasons)
        m_failureReasons.push_back(std::move(reason));
}

void StreamedCloud::EvictLocked()
{
    while (m_stats.cachedBytes > m_budget) {
        std::size_t oldest = m_slots.size();
        for (std::size_t i = 0; i < m_slots.size(); ++i) {
            const Slot& slot = m_slots[i];
            if (slot.state == State::Loaded && slot.lastDrawn < m_frame &&
                (oldest == m_slots.size() || slot.lastDrawn < m_slots[oldest].lastDrawn))
                oldest = i;
        }
        if (oldest == m_slots.size())
            return;  // everything held is drawn in this frame
        Slot& slot = m_slots[oldest];
        m_stats.cachedBytes -= slot.points->Bytes();
        --m_stats.loadedNodes;
        ++m_stats.evicted;
        slot.points.reset();
        slot.state = State::Absent;
    }
}

void StreamedCloud::NotifyArrival()
{
    const std::lock_guard lock(m_callbackMutex);
    if (m_onArrival)
        m_onArrival();
}
