#include "app/CameraPoseLoadJob.h"

#include <exception>
#include <utility>

CameraPoseLoadJob::CameraPoseLoadJob(std::string path, CameraPoseFileReader reader)
    : m_path(std::move(path)), m_worker([this, reader = std::move(reader)]() mutable { Run(std::move(reader)); })
{
}

CameraPoseLoadJob::~CameraPoseLoadJob()
{
    Cancel();
    if (m_worker.joinable())
        m_worker.join();
}

void CameraPoseLoadJob::Run(CameraPoseFileReader reader)
{
    ReadOptions options;
    options.progress = [this](double fraction) {
        m_fraction.store(fraction, std::memory_order_relaxed);
        return !m_token.IsCancelled();
    };
    try {
        m_result.emplace(reader(m_path, options));
    } catch (const std::exception& error) {
        // An exception must not end the program from a worker: it is a failed read like any other.
        m_result.emplace(Fail(ReadError::TooLarge, std::string("the read stopped: ") + error.what()));
    }
    m_finished.store(true, std::memory_order_release);
}

ReadResult<CameraPoseSet> CameraPoseLoadJob::TakeResult()
{
    if (m_worker.joinable())
        m_worker.join();
    return std::move(*m_result);
}
