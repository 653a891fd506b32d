#include "render/CloudReorder.h"

#include "render/PointOctree.h"
#include "scene/PointCloudData.h"

bool ReorderCloudToOctree(PointCloudData& cloud, std::span<const std::uint32_t> order, ThreadPool* pool)
{
    const std::size_t count = cloud.positions.size();
    if (order.size() != count || (!cloud.colors.empty() && cloud.colors.size() != count))
        return false;
    ReorderToOctree(cloud.positions, order, pool);
    if (!cloud.colors.empty())
        ReorderToOctree(cloud.colors, order, pool);
    return true;
}
