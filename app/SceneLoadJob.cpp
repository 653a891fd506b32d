#include "app/SceneLoadJob.h"

#include <exception>
#include <string>
#include <utility>

SceneLoadJob::SceneLoadJob(std::string path, SceneFileReader reader, ThreadPool* pool)
    : m_path(std::move(path)), m_worker([this, reader = std::move(reader), pool]() mutable { Run(std::move(reader), pool); })
{
}

SceneLoadJob::~SceneLoadJob()
{
    Cancel();
    if (m_worker.joinable())
        m_worker.join();
}

void SceneLoadJob::Run(SceneFileReader reader, ThreadPool* pool)
{
    ReadOptions options;
    options.pool = pool;
    options.progress = [this](double fraction) {
        m_fraction.store(fraction, std::memory_order_relaxed);
        return !m_token.IsCancelled();
    };
    try {
        m_result.emplace(reader(m_path, options));
    } catch (const std::exception& error) {
        // An exception must not end the program from a worker: it is a failed read like any other.
        m_result.emplace(SceneFileRead{m_path, Fail(ReadError::TooLarge, std::string("the read stopped: ") + error.what()),
                                       "ファイル " + m_path + " を開けませんでした。", false});
    }
    m_finished.store(true, std::memory_order_release);
}

SceneFileRead SceneLoadJob::TakeResult()
{
    if (m_worker.joinable())
        m_worker.join();
    return std::move(*m_result);
}
