#include "convert/OctreeKey.h"

#include "io/core/LittleEndian.h"

#include <algorithm>
#include <cmath>

namespace octree {

CubeFrame CubeAround(const std::array<double, 3>& low, const std::array<double, 3>& high, const std::array<double, 3>& scale,
                     const std::array<double, 3>& offset)
{
    CubeFrame frame;
    frame.minimum = low;
    frame.scale = scale;
    frame.offset = offset;
    double side = 0;
    double step = 0;
    for (int axis = 0; axis < 3; ++axis) {
        side = std::max(side, high[axis] - low[axis]);
        step = std::max(step, std::abs(scale[axis]));
    }
    // A cloud of one point (or one plane of points) still needs a cube of some size.
    frame.side = side > 0 ? side : step;
    return frame;
}

std::uint64_t RecordKey(const CubeFrame& frame, const unsigned char* record)
{
    const double cellsPerUnit = kCellsPerAxis / frame.side;
    std::array<std::uint32_t, 3> cell{};
    for (int axis = 0; axis < 3; ++axis) {
        const double world = LoadLE<std::int32_t>(record + 4 * axis) * frame.scale[axis] + frame.offset[axis];
        const double at = (world - frame.minimum[axis]) * cellsPerUnit;
        // Truncation is the floor for what is not negative. Points on the cube's far faces
        // belong to its last cells.
        cell[axis] = at <= 0 ? 0u : at >= kCellsPerAxis - 1 ? kCellsPerAxis - 1 : static_cast<std::uint32_t>(at);
    }
    return Interleave(cell[0], cell[1], cell[2]);
}

}  // namespace octree
