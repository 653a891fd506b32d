#pragma once

#include "scene/GaussianData.h"
#include "render/GaussianSplatRenderer.h"
#include "tests/gl/GlTestFixture.h"
#include "view/ViewCamera.h"

#include <Eigen/Core>
#include <Eigen/Geometry>

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
    data.positions.assign(positions.begin(), positions.end());
    data.shDc.assign(positions.size(), Eigen::Vector3f::Zero());
    data.opacities.assign(positions.size(), opacity);
    data.scales.assign(positions.size(), Eigen::Vector3f::Constant(scale));
    data.rotations.assign(positions.size(), kNoTurn);
    return data;
}

// Matrices as the view's camera makes them.
inline Eigen::Matrix4f LookAt(const Eigen::Vector3f& eye, const Eigen::Vector3f& target)
{
    ViewCamera camera;
    camera.SetLookAt(eye, target, Eigen::Vector3f::UnitY());
    return camera.ViewMatrix();
}

// A camera at `eye` turned by `degrees` about the world y axis from looking down -z.
inline Eigen::Matrix4f TurnedView(float degrees, const Eigen::Vector3f& eye = Eigen::Vector3f(0.0f, 0.0f, 10.0f))
{
    const Eigen::Matrix3f turn = Eigen::AngleAxisf(degrees * 3.14159265f / 180.0f, Eigen::Vector3f::UnitY()).matrix();
    return LookAt(eye, eye + turn * -Eigen::Vector3f::UnitZ());
}

inline Eigen::Matrix4f PerspectiveProjection(float fovY, float aspect, float nearZ, float farZ)
{
    ViewCamera camera;
    camera.fovY = fovY;
    camera.nearPlane = nearZ;
    camera.farPlane = farZ;
    return camera.ProjectionMatrix(aspect);
}

inline Eigen::Matrix4f OrthographicProjection(float halfHeight, float aspect, float nearZ, float farZ)
{
    ViewCamera camera;
    camera.projection = ProjectionMode::Orthographic;
    camera.orthoHalfHeight = halfHeight;
    camera.nearPlane = nearZ;
    camera.farPlane = farZ;
    return camera.ProjectionMatrix(aspect);
}

}  // namespace testsupport
