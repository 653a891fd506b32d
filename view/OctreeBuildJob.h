#pragma once

#include "platform/ThreadPool.h"
#include "render/PointOctree.h"

#include <Eigen/Core>

#include <atomic>
#include <functional>
#include <future>
#include <optional>
#include <span>

// The octree of a loaded cloud's positions, built in the background. The worker only reads
// the positions, which must neither change nor go away until the job has ended: whoever owns
// them cancels (or destroys) the job first. onFinished is called on the worker once the result
// is ready, so it must be thread-safe (posting a message to the UI thread). Destruction
// cancels and waits.
class OctreeBuildJob {
public:
    // On a worker of `pool`, which must outlive the job; without one on a thread of its own.
    OctreeBuildJob(std::span<const Eigen::Vector3f> positions, ThreadPool* pool, std::function<void()> onFinished);
    ~OctreeBuildJob();
    OctreeBuildJob(const OctreeBuildJob&) = delete;
    OctreeBuildJob& operator=(const OctreeBuildJob&) = delete;

    void Cancel() const { m_cancel.Cancel(); }
    bool Finished() const { return m_finished.load(std::memory_order_acquire); }
    // Waits for the worker and hands over the tree: nothing when the build was cancelled or
    // could not be made (logged). Call once.
    std::optional<PointOctree> TakeResult();

private:
    void Run(std::span<const Eigen::Vector3f> positions, ThreadPool* pool, const std::function<void()>& onFinished);

    CancellationToken m_cancel;
    std::atomic<bool> m_finished{false};
    std::optional<PointOctree> m_result;  // written by the worker before m_finished
    std::future<void> m_done;             // last: the worker starts once everything above exists
};
