#pragma once

#include "io/core/ReadResult.h"
#include "platform/ThreadPool.h"

#include <atomic>
#include <exception>
#include <functional>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

// Why a read that threw instead of returning failed; call it from a catch block. Memory that
// ran out, or a size beyond what can be allocated, is TooLarge; anything else is Malformed,
// with the exception's text.
inline ReadFailure FailureOfCurrentException()
{
    const std::string stopped = "the read stopped: ";
    try {
        throw;
    } catch (const std::bad_alloc& error) {
        return Fail(ReadError::TooLarge, stopped + error.what());
    } catch (const std::length_error& error) {
        return Fail(ReadError::TooLarge, stopped + error.what());
    } catch (const std::exception& error) {
        return Fail(ReadError::Malformed, stopped + error.what());
    } catch (...) {
        return Fail(ReadError::Malformed, stopped + "an exception that is not a standard one");
    }
}

// One file being read on a thread of its own (a scene file, a camera pose file). The worker
// only fills the result; the owner polls Fraction and Finished from the UI thread and takes
// the result there. Cancel asks the reader to stop at its next progress report; destruction
// cancels and waits. A read that throws is a failed read like any other: `failed` makes its
// result from the failure.
template <typename Result>
class BackgroundLoadJob {
public:
    using Read = std::function<Result(const std::string& path, const ReadOptions& options)>;
    using Failed = std::function<Result(const std::string& path, ReadFailure failure)>;

    // `pool` (may be null) lends the reader its threads and must outlive the job.
    BackgroundLoadJob(std::string path, Read read, Failed failed, ThreadPool* pool = nullptr)
        : m_path(std::move(path)),
          m_worker([this, read = std::move(read), failed = std::move(failed), pool] { Run(read, failed, pool); })
    {
    }
    ~BackgroundLoadJob()
    {
        Cancel();
        if (m_worker.joinable())
            m_worker.join();
    }
    BackgroundLoadJob(const BackgroundLoadJob&) = delete;
    BackgroundLoadJob& operator=(const BackgroundLoadJob&) = delete;

    const std::string& Path() const { return m_path; }
    // The fraction the reader last reported, 0 to 1.
    double Fraction() const { return m_fraction.load(std::memory_order_relaxed); }
    bool Finished() const { return m_finished.load(std::memory_order_acquire); }
    void Cancel() const { m_token.Cancel(); }
    bool IsCancelled() const { return m_token.IsCancelled(); }
    // Waits for the worker and hands over its result; call once.
    Result TakeResult()
    {
        if (m_worker.joinable())
            m_worker.join();
        return std::move(*m_result);
    }

private:
    void Run(const Read& read, const Failed& failed, ThreadPool* pool)
    {
        ReadOptions options;
        options.pool = pool;
        options.progress = [this](double fraction) {
            m_fraction.store(fraction, std::memory_order_relaxed);
            return !m_token.IsCancelled();
        };
        try {
            m_result.emplace(read(m_path, options));
        } catch (...) {
            // An exception must not end the program from a worker.
            m_result.emplace(failed(m_path, FailureOfCurrentException()));
        }
        m_finished.store(true, std::memory_order_release);
    }

    std::string m_path;
    CancellationToken m_token;
    std::atomic<double> m_fraction{0.0};
    std::atomic<bool> m_finished{false};
    std::optional<Result> m_result;  // written by the worker before m_finished
    std::thread m_worker;            // last: starts once everything above exists
};
