#include "view/CameraFrameStepper.h"

namespace {

// i wrapped into 0 .. count-1: -1 gives the last frame, count the first.
int WrapFrameIndex(int i, std::size_t count)
{
    const auto n = static_cast<std::int64_t>(count);
    return static_cast<int>((n + i % n) % n);
}

}  // namespace

void CameraFrameStepper::GoTo(const CameraPoseSet& poses, int index, const ShowFrame& show)
{
    if (poses.frames.empty())
        return;
    const int step = index < m_index ? -1 : 1;
    const std::int32_t previous = m_index;
    for (std::size_t tried = 0; tried < poses.frames.size(); ++tried, index += step) {
        const int k = WrapFrameIndex(index, poses.frames.size());
        m_index = k;
        if (show(poses.frames[static_cast<std::size_t>(k)], poses.defaultFovY))
            return;
    }
    m_index = previous;
}
