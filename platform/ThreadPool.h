#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// A stop request shared between whoever starts a job and the job itself. Copies share one
// flag; a default-constructed token can be cancelled like any other.
class CancellationToken {
public:
    CancellationToken() : m_flag(std::make_shared<std::atomic<bool>>(false)) {}
    void Cancel() const { m_flag->store(true, std::memory_order_relaxed); }
    bool IsCancelled() const { return m_flag->load(std::memory_order_relaxed); }

private:
    std::shared_ptr<std::atomic<bool>> m_flag;
};

// A fixed set of worker threads, one per core unless told otherwise, shared by every parallel
// decode and background job so that a two-core machine never runs two pools at once.
// ParallelFor lets the calling thread take part, so it may be called from inside a pool job
// without waiting on a busy pool.
class ThreadPool {
public:
    // threadCount 0: one thread per core (std::thread::hardware_concurrency, at least 1).
    explicit ThreadPool(unsigned threadCount = 0);
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    // How many tasks run at once in ParallelFor: the workers, the caller among them.
    unsigned Concurrency() const { return static_cast<unsigned>(m_workers.size()); }

    // Runs task(i) for every i in [0, count), spread over the workers and the calling thread,
    // and returns when all have finished. The first exception a task throws is rethrown here
    // once the others are done; tasks not yet started are then skipped.
    void ParallelFor(std::size_t count, const std::function<void(std::size_t)>& task);

    // Runs job on a worker; the future reports its end or its exception.
    std::future<void> Submit(std::function<void()> job);

private:
    void WorkerLoop();

    std::vector<std::thread> m_workers;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_queue;
    bool m_stopping = false;
};

// Runs ParallelFor on pool when there is one, otherwise every task in order on this thread.
void ParallelFor(ThreadPool* pool, std::size_t count, const std::function<void(std::size_t)>& task);
