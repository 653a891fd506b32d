#include "render/CloudReorder.h"

#include "render/PointOctree.h"
#include "scene/PointCloudData.h"

bool ReorderCloudToOctree(PointCloudData& cloud, std::span<const std::uint32_t> order, ThreadPool* pool)
{
    const std::size_t count = cloud.positions.size();
    const auto fits = [count](const auto& values) { return values.empty() || values.size() == count; };
    if (order.size() != count || !fits(cloud.colors) || !fits(cloud.intensity) || !fits(cloud.classification) ||
        !fits(cloud.returnNumber) || !fits(cloud.numberOfReturns))
        return false;
    const auto reorder = [&](auto& values) {
        if (!values.empty())
            ReorderToOctree(values, order, pool);
    };
    reorder(cloud.positions);
    reorder(cloud.colors);
    reorder(cloud.intensity);
    reorder(cloud.classification);
    reorder(cloud.returnNumber);
    reorder(cloud.numberOfReturns);
    return true;
}
