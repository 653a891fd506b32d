#pragma once

#include "io/core/ReadResult.h"
#include "platform/ThreadPool.h"
#include "scene/CameraPoses.h"

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>

// Reads a camera pose file; ReadCameraPoses, or a stand-in (tests use one that waits).
using CameraPoseFileReader = std::function<ReadResult<CameraPoseSet>(const std::string& path, const ReadOptions& options)>;

// One camera pose file being read on a thread of its own, as SceneLoadJob does for scenes:
// the worker only fills a record, the UI thread polls Fraction and Finished and takes the
// record. Cancel asks the reader to stop at its next progress report; destruction cancels and
// waits.
class CameraPoseLoadJob {
public:
    CameraPoseLoadJob(std::string path, CameraPoseFileReader reader);
    ~CameraPoseLoadJob();
    CameraPoseLoadJob(const CameraPoseLoadJob&) = delete;
    CameraPoseLoadJob& operator=(const CameraPoseLoadJob&) = delete;

    const std::string& Path() const { return m_path; }
    double Fraction() const { return m_fraction.load(std::memory_order_relaxed); }
    bool Finished() const { return m_finished.load(std::memory_order_acquire); }
    void Cancel() const { m_token.Cancel(); }
    // Waits for the worker and hands over its record; call once.
    ReadResult<CameraPoseSet> TakeResult();

private:
    void Run(CameraPoseFileReader reader);

    std::string m_path;
    CancellationToken m_token;
    std::atomic<double> m_fraction{0.0};
    std::atomic<bool> m_finished{false};
    std::optional<ReadResult<CameraPoseSet>> m_result;  // written by the worker before m_finished
    std::thread m_worker;                                // last: starts once everything above exists
};
