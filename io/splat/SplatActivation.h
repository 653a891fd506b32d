#pragma once

#include <Eigen/Core>

#include <array>
#include <cmath>

// The activations a 3D Gaussian Splatting scene's stored values go through when loaded. Every
// splat reader uses these, so a scene reads the same whatever file it came in.

// Opacity from its stored logit.
inline float SplatOpacityFromLogit(float logit)
{
    return 1.0f / (std::exp(-logit) + 1.0f);
}

// Standard deviation from its stored logarithm.
inline float SplatScaleFromLog(float logScale)
{
    return std::exp(logScale);
}

// Unit quaternion (w, x, y, z); the identity when it is too short to have a direction.
inline void NormaliseSplatRotation(Eigen::Vector4f& q)
{
    const float length = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    if (length > 1e-8f)
        q /= length;
    else
        q = Eigen::Vector4f(1.0f, 0.0f, 0.0f, 0.0f);
}

// A smallest-three quaternion put back together: largest at index largestAt (0 to 3), the other
// three components in order around it. Selected rather than switched on, since the index of
// the largest component changes unpredictably from one splat to the next.
inline Eigen::Vector4f QuaternionWithLargestAt(unsigned largestAt, float largest, float first, float second,
                                               float third)
{
    const unsigned at = largestAt & 3;
    return {at == 0 ? largest : first, at == 0 ? first : (at == 1 ? largest : second),
            at <= 1 ? second : (at == 2 ? largest : third), at <= 2 ? third : largest};
}
