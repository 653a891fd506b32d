#include "platform/ThreadPool.h"

#include <algorithm>
#include <exception>

namespace {

// What one ParallelFor call shares with the helpers it queued. Held by shared_ptr: a helper
// that starts after the call has returned finds no work left and only drops its reference.
struct ParallelRun {
    explicit ParallelRun(std::size_t count, const std::function<void(std::size_t)>& task) : count(count), task(task) {}

    // Takes indices until none are left; returns when this thread has no more to do.
    void Work()
    {
        for (;;) {
            const std::size_t index = next.fetch_add(1, std::memory_order_relaxed);
            if (index >= count)
                return;
            if (!failed.load(std::memory_order_relaxed)) {
                try {
                    task(index);
                } catch (...) {
                    std::lock_guard lock(mutex);
                    if (!error)
                        error = std::current_exception();
                    failed.store(true, std::memory_order_relaxed);
                }
            }
            if (finished.fetch_add(1, std::memory_order_acq_rel) + 1 == count) {
                std::lock_guard lock(mutex);
                allDone.notify_all();
            }
        }
    }

    const std::size_t count;
    const std::function<void(std::size_t)>& task;
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> finished{0};
    std::atomic<bool> failed{false};
    std::mutex mutex;
    std::condition_variable allDone;
    std::exception_ptr error;
};

}  // namespace

ThreadPool::ThreadPool(unsigned threadCount)
{
    if (threadCount == 0)
        threadCount = std::max(1u, std::thread::hardware_concurrency());
    m_workers.reserve(threadCount);
    for (unsigned i = 0; i < threadCount; ++i)
        m_workers.emplace_back([this] { WorkerLoop(); });
}

ThreadPool::~ThreadPool()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread& worker : m_workers)
        worker.join();
}

void ThreadPool::WorkerLoop()
{
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_queue.empty())
                return;  // stopping, and every queued job has run
            job = std::move(m_queue.front());
            m_queue.pop_front();
        }
        job();
    }
}

std::future<void> ThreadPool::Submit(std::function<void()> job)
{
    auto packaged = std::make_shared<std::packaged_task<void()>>(std::move(job));
    std::future<void> done = packaged->get_future();
    {
        std::lock_guard lock(m_mutex);
        m_queue.emplace_back([packaged] { (*packaged)(); });
    }
    m_wake.notify_one();
    return done;
}

void ThreadPool::ParallelFor(std::size_t count, const std::function<void(std::size_t)>& task)
{
    if (count == 0)
        return;
    // The task lives on this frame; helpers only touch it while an index is unfinished, and
    // this call does not return before every index has finished.
    auto run = std::make_shared<ParallelRun>(count, task);
    const std::size_t helpers = std::min<std::size_t>(m_workers.size(), count) - 1;
    {
        std::lock_guard lock(m_mutex);
        for (std::size_t i = 0; i < helpers; ++i)
            m_queue.emplace_back([run] { run->Work(); });
    }
    if (helpers == 1)
        m_wake.notify_one();
    else if (helpers > 1)
        m_wake.notify_all();
    run->Work();
    {
        std::unique_lock lock(run->mutex);
        run->allDone.wait(lock, [&] { return run->finished.load(std::memory_order_acquire) == count; });
    }
    if (run->error)
        std::rethrow_exception(run->error);
}

void ParallelFor(ThreadPool* pool, std::size_t count, const std::function<void(std::size_t)>& task)
{
    if (pool) {
        pool->ParallelFor(count, task);
        return;
    }
    for (std::size_t i = 0; i < count; ++i)
        task(i);
}
