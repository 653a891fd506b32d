#pragma once

#include "platform/ThreadPool.h"

#include <atomic>
#include <functional>
#include <future>
#include <memory>

// Work started on a pool that the thread needing its result may do itself. Whoever claims it
// first does it: a worker, or the waiting thread when no worker has started it (that thread
// may itself be a pool worker, and the pool busy). Waits, on going away, for a worker that
// has the work.
class ClaimedJob {
public:
    ClaimedJob() = default;
    ClaimedJob(const ClaimedJob&) = delete;
    ClaimedJob& operator=(const ClaimedJob&) = delete;
    ~ClaimedJob()
    {
        if (m_claimed && m_claimed->exchange(true) && m_done.valid())
            m_done.wait();
    }

    void Start(ThreadPool* pool, std::function<void()> work)
    {
        m_work = std::move(work);
        m_claimed = std::make_shared<std::atomic<bool>>(false);
        m_done = {};
        if (pool)
            m_done = pool->Submit([claimed = m_claimed, work = m_work] {
                if (!claimed->exchange(true))
                    work();
            });
    }

    // Returns once the work is done; rethrows what it threw.
    void Finish()
    {
        if (!m_claimed)
            return;
        if (!m_claimed->exchange(true))
            m_work();
        else if (m_done.valid())
            m_done.get();
        m_claimed.reset();
    }

private:
    std::function<void()> m_work;
    std::shared_ptr<std::atomic<bool>> m_claimed;
    std::future<void> m_done;
};
