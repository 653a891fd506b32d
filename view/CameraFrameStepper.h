#pragma once

#include "scene/CameraPoses.h"

#include <cstdint>
#include <functional>

// Steps the eye through the frames of a camera pose file: remembers the frame shown last,
// wraps around at either end and skips frames that cannot be shown.
class CameraFrameStepper {
public:
    // Shows one frame; false when it cannot be shown. The frame's own field of view, or
    // `fallbackFovY` where it gives none.
    using ShowFrame = std::function<bool(const CameraFrame& frame, float fallbackFovY)>;

    // The frame the eye was put at last; -1 when none.
    std::int32_t Index() const { return m_index; }
    // The next step starts at the first frame again.
    void Forget() { m_index = -1; }
    // Where the step keys lead: the frame before or after the current one, the first frame
    // when there is none.
    int Previous() const { return m_index < 0 ? 0 : m_index - 1; }
    int Next() const { return m_index < 0 ? 0 : m_index + 1; }

    // Shows frame `index` (wrapped into the file's frames: -1 is the last) through `show`. A
    // frame that cannot be shown is skipped in the direction of the step, as if the file did
    // not hold it; when none can be, the index stays as it was. While `show` runs, Index()
    // is already the frame it shows.
    void GoTo(const CameraPoseSet& poses, int index, const ShowFrame& show);

private:
    std::int32_t m_index = -1;
};
