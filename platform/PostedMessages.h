#pragma once

#include <cstddef>
#include <mutex>

// Messages that carry nothing, posted from any thread and taken on the thread that owns the
// window: only how many are waiting matters.
class PostedMessages {
public:
    void Post()
    {
        const std::lock_guard lock(m_mutex);
        ++m_pending;
    }

    std::size_t Pending() const
    {
        const std::lock_guard lock(m_mutex);
        return m_pending;
    }

    // Takes every message posted so far; returns how many there were.
    std::size_t TakeAll()
    {
        const std::lock_guard lock(m_mutex);
        const std::size_t taken = m_pending;
        m_pending = 0;
        return taken;
    }

private:
    mutable std::mutex m_mutex;
    std::size_t m_pending = 0;
};
