#include "render/SplatRecords.h"

#include "scene/GaussianData.h"

#include <algorithm>

Eigen::Matrix3f SplatCovariance(const Eigen::Vector3f& scale, const Eigen::Vector4f& rotationWxyz)
{
    const Eigen::Matrix3f m = RotationMatrixFromQuaternion(rotationWxyz) * scale.asDiagonal();
    return m * m.transpose();
}

SplatRecord PackSplatRecord(const Eigen::Vector3f& position, float opacity, const Eigen::Vector3f& shDc,
                            const Eigen::Vector3f& scale, const Eigen::Vector4f& rotationWxyz)
{
    const Eigen::Matrix3f s = SplatCovariance(scale, rotationWxyz);
    return SplatRecord{{position.x(), position.y(), position.z(), opacity,  //
                        shDc.x(), shDc.y(), shDc.z(), 0.0f,                //
                        s(0, 0), s(0, 1), s(0, 2), 0.0f,                   //
                        s(1, 1), s(1, 2), s(2, 2), 0.0f}};
}

void PackSplatRecords(const GaussianData& data, std::size_t first, std::size_t count, SplatRecord* out)
{
    for (std::size_t i = first; i < first + count; ++i)
        *out++ = PackSplatRecord(data.positions[i], data.opacities[i], data.shDc[i], data.scales[i], data.rotations[i]);
}

bool SplatArraysConsistent(const GaussianData& data)
{
    const std::size_t n = data.positions.size();
    return data.shDc.size() == n && data.opacities.size() == n && data.scales.size() == n &&
           data.rotations.size() == n;
}

int32_t ShDegreeSupportedBy(int32_t degree, int32_t restCount)
{
    const int32_t perChannel = restCount / 3;
    const int32_t supported = perChannel >= 15 ? 3 : perChannel >= 8 ? 2 : perChannel >= 3 ? 1 : 0;
    return std::clamp(degree, 0, supported);
}
