#include "view/PickSearch.h"

#include <Eigen/LU>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

PickWindow PickWindowAround(int cx, int cy, int width, int height)
{
    return {std::max(0, cx - kPickRadius), std::max(0, cy - kPickRadius), std::min(cx + kPickRadius, width - 1),
            std::min(cy + kPickRadius, height - 1)};
}

std::optional<PickHit> NearestDrawnPixel(const std::vector<float>& depths, const PickWindow& window, int cx, int cy)
{
    const int width = window.Width();
    const int height = window.Height();
    if (width <= 0 || height <= 0 || depths.size() < static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
        return std::nullopt;

    std::optional<PickHit> best;
    long long bestDistance2 = std::numeric_limits<long long>::max();
    for (int y = window.y0; y <= window.y1; ++y) {
        const int row = window.y1 - y;  // GL rows count from the bottom
        for (int x = window.x0; x <= window.x1; ++x) {
            const float depth = depths[static_cast<std::size_t>(row) * width + (x - window.x0)];
            if (!(depth < 1.0f))
                continue;  // background
            const long long dx = x - cx;
            const long long dy = y - cy;
            const long long distance2 = dx * dx + dy * dy;
            if (distance2 < bestDistance2 || (distance2 == bestDistance2 && depth < best->depth)) {
                bestDistance2 = distance2;
                best = PickHit{x, y, depth};
            }
        }
    }
    return best;
}

std::optional<Eigen::Vector3f> UnprojectPixel(const PickHit& hit, int width, int height,
                                              const Eigen::Matrix4f& view, const Eigen::Matrix4f& projection)
{
    if (width <= 0 || height <= 0)
        return std::nullopt;
    const float nx = (static_cast<float>(hit.x) + 0.5f) * 2.0f / static_cast<float>(width) - 1.0f;
    const float ny = 1.0f - (static_cast<float>(hit.y) + 0.5f) * 2.0f / static_cast<float>(height);
    const float nz = 2.0f * hit.depth - 1.0f;
    // A singular matrix inverts to infinities and NaNs, which the checks below turn away.
    const Eigen::Matrix4f inverse = (projection * view).inverse();
    const Eigen::Vector4f p = inverse * Eigen::Vector4f(nx, ny, nz, 1.0f);
    if (!p.allFinite() || std::abs(p.w()) < 1e-12f)
        return std::nullopt;
    const Eigen::Vector3f point = p.head<3>() / p.w();
    if (!point.allFinite())
        return std::nullopt;
    return point;
}
