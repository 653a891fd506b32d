#include "view/OctreeBuildJob.h"

#include "platform/Log.h"

#include <exception>
#include <string>
#include <utility>

OctreeBuildJob::OctreeBuildJob(std::span<const Eigen::Vector3f> positions, ThreadPool* pool,
                               std::function<void()> onFinished)
{
    auto work = [this, positions, pool, onFinished = std::move(onFinished)] { Run(positions, pool, onFinished); };
    m_done = pool ? pool->Submit(std::move(work)) : std::async(std::launch::async, std::move(work));
}

OctreeBuildJob::~OctreeBuildJob()
{
    Cancel();
    if (m_done.valid())
        m_done.wait();
}

void OctreeBuildJob::Run(std::span<const Eigen::Vector3f> positions, ThreadPool* pool,
                         const std::function<void()>& onFinished)
{
    try {
        m_result = BuildPointOctree(positions, m_cancel, pool);
        if (!m_result && !m_cancel.IsCancelled())
            Log(LogLevel::Warning, "Octree", "a cloud of " + std::to_string(positions.size()) +
                                                 " points is beyond the octree; it is drawn as an even subset.\n");
    } catch (const std::exception& error) {
        // Out of memory, most likely: the view goes on drawing the even subset.
        m_result.reset();
        Log(LogLevel::Warning, "Octree", std::string("the octree build stopped: ") + error.what() + "\n");
    }
    m_finished.store(true, std::memory_order_release);
    if (onFinished && !m_cancel.IsCancelled())
        onFinished();
}

std::optional<PointOctree> OctreeBuildJob::TakeResult()
{
    if (m_done.valid())
        m_done.wait();
    if (m_cancel.IsCancelled())
        return std::nullopt;
    return std::move(m_result);
}
