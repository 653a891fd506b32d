#pragma once

#include "document/SceneFileRead.h"
#include "platform/ThreadPool.h"

#include <atomic>
#include <optional>
#include <string>
#include <thread>

// One scene file being read on a thread of its own. The worker only fills a record; the
// owner polls Fraction and Finished from the UI thread and takes the record there. Cancel
// asks the reader to stop at its next progress report; destruction cancels and waits.
class SceneLoadJob {
public:
    // `pool` (may be null) lends the reader its threads and must outlive the job.
    SceneLoadJob(std::string path, SceneFileReader reader, ThreadPool* pool);
    ~SceneLoadJob();
    SceneLoadJob(const SceneLoadJob&) = delete;
    SceneLoadJob& operator=(const SceneLoadJob&) = delete;

    const std::string& Path() const { return m_path; }
    // The fraction the reader last reported, 0 to 1.
    double Fraction() const { return m_fraction.load(std::memory_order_relaxed); }
    bool Finished() const { return m_finished.load(std::memory_order_acquire); }
    void Cancel() const { m_token.Cancel(); }
    bool IsCancelled() const { return m_token.IsCancelled(); }
    // Waits for the worker and hands over its record; call once.
    SceneFileRead TakeResult();

private:
    void Run(SceneFileReader reader, ThreadPool* pool);

    std::string m_path;
    CancellationToken m_token;
    std::atomic<double> m_fraction{0.0};
    std::atomic<bool> m_finished{false};
    std::optional<SceneFileRead> m_result;  // written by the worker before m_finished
    std::thread m_worker;                   // last: starts once everything above exists
};
