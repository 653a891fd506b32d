#include "scene/GaussianData.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace {

// Eight splats at a time, one per lane.
using Lanes = Eigen::Array<float, 8, 1>;

// Correctly rounded square roots, as std::sqrt gives: Eigen's own vectorised sqrt trades the
// last bit for speed, and the bounds must not depend on whether a splat was in a batch.
Lanes ExactSqrt(const Lanes& values)
{
    Lanes roots;
#if defined(__SSE__)
    for (int half = 0; half < 8; half += 4)
        _mm_storeu_ps(roots.data() + half, _mm_sqrt_ps(_mm_loadu_ps(values.data() + half)));
#else
    for (int lane = 0; lane < 8; ++lane)
        roots[lane] = std::sqrt(values[lane]);
#endif
    return roots;
}

// One axis's variance from that axis's row (r0, r1, r2) of the rotation and the absolute
// scales: the diagonal entry of R S S R^T, summed as Eigen's 3x3 product sums it.
template <typename T>
T AxisVariance(const T& r0, const T& r1, const T& r2, const T& sx, const T& sy, const T& sz)
{
    const T a = r0 * sx;
    const T b = r1 * sy;
    const T c = r2 * sz;
    return a * a + (b * b + c * c);
}

bool UsableShape(const Eigen::Vector3f& scale, const Eigen::Vector4f& rotation, float lengthSquared)
{
    return rotation.allFinite() && lengthSquared > 1e-12f && scale.allFinite();
}

}  // namespace

Eigen::Vector3f SplatExtent(const Eigen::Vector3f& scale, const Eigen::Vector4f& rotation)
{
    const float lengthSquared = rotation.squaredNorm();
    if (!UsableShape(scale, rotation, lengthSquared))
        return Eigen::Vector3f::Zero();
    const float length = std::sqrt(lengthSquared);
    const float w = rotation[0] / length;
    const float x = rotation[1] / length;
    const float y = rotation[2] / length;
    const float z = rotation[3] / length;
    const float sx = std::fabs(scale[0]);
    const float sy = std::fabs(scale[1]);
    const float sz = std::fabs(scale[2]);
    // The rows of RotationMatrixFromQuaternion, written out so that only the diagonal of the
    // covariance is computed.
    const Eigen::Vector3f variance(AxisVariance(1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y), sx, sy, sz),
                                   AxisVariance(2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x), sx, sy, sz),
                                   AxisVariance(2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y), sx, sy, sz));
    Eigen::Vector3f extent;
    for (int axis = 0; axis < 3; ++axis)
        extent[axis] = kSplatExtentSigmas * std::sqrt(std::max(variance[axis], 0.0f));
    if (!extent.allFinite())
        return Eigen::Vector3f::Zero();
    return extent;
}

void SplatExtents(const Eigen::Vector3f* scales, const Eigen::Vector4f* rotations, std::size_t count,
                  Eigen::Vector3f* extents)
{
    constexpr std::size_t kLanes = Lanes::RowsAtCompileTime;
    std::size_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        Lanes w, x, y, z, sx, sy, sz;
        for (std::size_t lane = 0; lane < kLanes; ++lane) {
            const Eigen::Vector4f& q = rotations[i + lane];
            const Eigen::Vector3f& s = scales[i + lane];
            w[lane] = q[0];
            x[lane] = q[1];
            y[lane] = q[2];
            z[lane] = q[3];
            sx[lane] = s[0];
            sy[lane] = s[1];
            sz[lane] = s[2];
        }
        // The order squaredNorm() adds a 4-vector's squares in.
        const Lanes lengthSquared = (w * w + y * y) + (x * x + z * z);
        const Lanes length = ExactSqrt(lengthSquared);
        w /= length;
        x /= length;
        y /= length;
        z /= length;
        sx = sx.abs();
        sy = sy.abs();
        sz = sz.abs();
        // Every variance is a sum of squares or NaN, so the scalar path's max(variance, 0)
        // changes none of them.
        const Lanes e0 = kSplatExtentSigmas *
            ExactSqrt(AxisVariance<Lanes>(1.0f - 2.0f * (y * y + z * z), 2.0f * (x * y - w * z), 2.0f * (x * z + w * y), sx, sy, sz));
        const Lanes e1 = kSplatExtentSigmas *
            ExactSqrt(AxisVariance<Lanes>(2.0f * (x * y + w * z), 1.0f - 2.0f * (x * x + z * z), 2.0f * (y * z - w * x), sx, sy, sz));
        const Lanes e2 = kSplatExtentSigmas *
            ExactSqrt(AxisVariance<Lanes>(2.0f * (x * z - w * y), 2.0f * (y * z + w * x), 1.0f - 2.0f * (x * x + y * y), sx, sy, sz));
        for (std::size_t lane = 0; lane < kLanes; ++lane) {
            const Eigen::Vector3f extent(e0[lane], e1[lane], e2[lane]);
            const bool usable = UsableShape(scales[i + lane], rotations[i + lane], lengthSquared[lane]) && extent.allFinite();
            extents[i + lane] = usable ? extent : Eigen::Vector3f::Zero();
        }
    }
    for (; i < count; ++i)
        extents[i] = SplatExtent(scales[i], rotations[i]);
}
