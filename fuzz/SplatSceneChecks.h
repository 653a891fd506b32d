#pragma once

#include "io/core/ReadResult.h"
#include "scene/GaussianData.h"

#include <cstdlib>

// A reader either gives a complete scene (every array sized for its splats) or fails with a
// reason; anything else is a finding.
inline void CheckSplatResult(const ReadResult<GaussianData>& result)
{
    if (!result.Ok()) {
        if (result.Failure().reason.empty())
            std::abort();
        return;
    }
    const GaussianData& splats = result.Value();
    const std::size_t n = splats.positions.size();
    if (n == 0 || splats.shDc.size() != n || splats.opacities.size() != n || splats.scales.size() != n ||
        splats.rotations.size() != n || splats.shRest.size() != n * static_cast<std::size_t>(splats.shRestCount) ||
        splats.shRestCount > 45)
        std::abort();
}
