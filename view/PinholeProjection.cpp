#include "view/PinholeProjection.h"

#include <cmath>

bool IsUsable(const PinholeIntrinsics& intrinsics)
{
    return std::isfinite(intrinsics.fx) && std::isfinite(intrinsics.fy) && std::isfinite(intrinsics.cx) &&
           std::isfinite(intrinsics.cy) && intrinsics.fx > 0.0f && intrinsics.fy > 0.0f && intrinsics.width > 0 &&
           intrinsics.height > 0;
}

Eigen::Matrix4f PinholeProjectionMatrix(const PinholeIntrinsics& intrinsics, float nearPlane, float farPlane)
{
    const float w = static_cast<float>(intrinsics.width);
    const float h = static_cast<float>(intrinsics.height);
    const float n = nearPlane;
    const float f = farPlane;
    Eigen::Matrix4f proj = Eigen::Matrix4f::Zero();  // Eigen's (row, column)
    proj(0, 0) = 2.0f * intrinsics.fx / w;
    proj(1, 1) = 2.0f * intrinsics.fy / h;
    // The clip w is -z, so these shift the image by the principal point's offset from the
    // middle; normalised y points up while image rows count down.
    proj(0, 2) = 1.0f - 2.0f * intrinsics.cx / w;
    proj(1, 2) = 2.0f * intrinsics.cy / h - 1.0f;
    proj(2, 2) = -(f + n) / (f - n);
    proj(3, 2) = -1.0f;
    proj(2, 3) = -(2.0f * f * n) / (f - n);
    return proj;
}
