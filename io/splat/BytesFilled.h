#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>

// How much of a buffer one thread has filled so far, for another thread working behind it.
class BytesFilled {
public:
    // Ends the filling when it goes out of scope, however the filling thread leaves: a thread
    // still waiting then learns that no more is coming.
    class EndOnExit {
    public:
        explicit EndOnExit(BytesFilled& filled) : m_filled(filled) {}
        ~EndOnExit() { m_filled.End(); }
        EndOnExit(const EndOnExit&) = delete;
        EndOnExit& operator=(const EndOnExit&) = delete;

    private:
        BytesFilled& m_filled;
    };

    void Publish(std::size_t filled)
    {
        {
            std::lock_guard lock(m_mutex);
            m_filled = filled;
        }
        m_changed.notify_all();
    }

    void End()
    {
        {
            std::lock_guard lock(m_mutex);
            m_ended = true;
        }
        m_changed.notify_all();
    }

    // Waits until `bytes` are filled; false when the filling ended short of them.
    bool WaitFor(std::size_t bytes)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_filled >= bytes || m_ended; });
        return m_filled >= bytes;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_filled = 0;
    bool m_ended = false;
};
