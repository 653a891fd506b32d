#pragma once

#include "document/GaussianData.h"
#include "render/GaussianSplatRenderer.h"
#include "tests/gl/GlTestFixture.h"

#include <Eigen/Core>
#include <Eigen/Geometry>

#include <cmath>
#include <vector>

namespace testsupport {

// Scenes and cameras for the splat renderer tests.

inline const Eigen::Vector4f kNoTurn(1.0f, 0.0f, 0.0f, 0.0f);

// shDc that makes the base colour 1.0 (0.5 + C0 * shDc).
inline constexpr float kWhiteShDc = 0.5f / 0.28209479177387814f;

// Round splats of one size and opacity, grey (shDc 0), no higher-order SH and no ids.
inline GaussianData RoundSplats(const std::vector<Eigen::Vector3f>& positions, float scale = 1.0f,
                                float opacity = 1.0f)
{
    GaussianData data;
    data.positions = positions;
    data.shDc.assign(positions.size(), Eigen::Vector3f::Zero());
    data.opacities.assign(positions.size(), opacity);
    data.scales.assign(positions.size(), Eigen::Vector3f::Constant(scale));
    data.rotations.assign(positions.size(), kNoTurn);
    return data;
}

inline Eigen::Matrix4f LookAt(const Eigen::Vector3f& eye, const Eigen::Vector3f& target,
                              const Eigen::Vector3f& up = Eigen::Vector3f::UnitY())
{
    const Eigen::Vector3f f = (target - eye).normalized();
    const Eigen::Vector3f s = f.cross(up).normalized();
    const Eigen::Vector3f u = s.cross(f);
    Eigen::Matrix4f v = Eigen::Matrix4f::Identity();
    v.block<1, 3>(0, 0) = s.transpose();
    v.block<1, 3>(1, 0) = u.transpose();
    v.block<1, 3>(2, 0) = -f.transpose();
    v(0, 3) = -s.dot(eye);
    v(1, 3) = -u.dot(eye);
    v(2, 3) = f.dot(eye);
    return v;
}

// A camera at `eye` on the z axis side, turned by `degrees` about the world y axis.
inline Eigen::Matrix4f TurnedView(float degrees, const Eigen::Vector3f& eye = Eigen::Vector3f(0.0f, 0.0f, 10.0f))
{
    const Eigen::Matrix3f turn = Eigen::AngleAxisf(degrees * 3.14159265f / 180.0f, Eigen::Vector3f::UnitY()).matrix();
    const Eigen::Vector3f forward = turn * -Eigen::Vector3f::UnitZ();
    return LookAt(eye, eye + forward);
}

inline Eigen::Matrix4f Perspective(float fovY, float aspect, float nearZ, float farZ)
{
    const float f = 1.0f / std::tan(0.5f * fovY);
    Eigen::Matrix4f p = Eigen::Matrix4f::Zero();
    p(0, 0) = f / aspect;
    p(1, 1) = f;
    p(2, 2) = (farZ + nearZ) / (nearZ - farZ);
    p(2, 3) = 2.0f * farZ * nearZ / (nearZ - farZ);
    p(3, 2) = -1.0f;
    return p;
}

inline Eigen::Matrix4f Orthographic(float halfHeight, float aspect, float nearZ, float farZ)
{
    Eigen::Matrix4f p = Eigen::Matrix4f::Identity();
    p(0, 0) = 1.0f / (halfHeight * aspect);
    p(1, 1) = 1.0f / halfHeight;
    p(2, 2) = -2.0f / (farZ - nearZ);
    p(2, 3) = -(farZ + nearZ) / (farZ - nearZ);
    return p;
}

}  // namespace testsupport
