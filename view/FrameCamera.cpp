#include "view/FrameCamera.h"

#include <Eigen/Geometry>

#include <cmath>

namespace {

// Fields of view the camera accepts from a recorded frame: strictly between about 5 and 150
// degrees (the single-precision values nearest to these decimals).
constexpr float kMinFrameFovY = 0.08726647f;
constexpr float kMaxFrameFovY = 2.617994f;

}  // namespace

bool PutCameraAtFrame(ViewCamera& camera, const CameraFrame& frame, float fallbackFovY,
                      const Eigen::Vector3d& sceneOrigin, const SceneBounds* bounds)
{
    Eigen::Quaternionf q(Eigen::Matrix3f(frame.transform.topLeftCorner<3, 3>().cast<float>()));
    if (q.squaredNorm() > 0.0f)
        q.normalize();
    const Eigen::Vector3f eye = (frame.transform.topRightCorner<3, 1>() - sceneOrigin).cast<float>();
    const Eigen::Vector3f forward = q * Eigen::Vector3f(0.0f, 0.0f, -1.0f);
    // A pose that does not fit in single precision (a position far beyond the scene's origin)
    // cannot be shown.
    if (!q.coeffs().allFinite() || !eye.allFinite() || !forward.allFinite())
        return false;

    const SceneBounds none;
    const SceneBounds& box = bounds ? *bounds : none;
    float distance = ViewCamera::FocusDistance(eye, forward, bounds != nullptr, box.boundsMin, box.boundsMax,
                                               box.center, box.radius);
    if (distance < camera.minDistance)
        distance = camera.minDistance;
    if (distance > camera.maxDistance)
        distance = camera.maxDistance;

    // The eye is exactly the recorded position; rotation and zoom now work about it.
    camera.orientation = q;
    camera.distance = distance;
    camera.target = eye + forward * distance;
    camera.eyeAnchored = true;

    const float fovY = frame.fovY > 0.0f ? frame.fovY : fallbackFovY;
    if (fovY > kMinFrameFovY && fovY < kMaxFrameFovY)
        camera.fovY = fovY;
    // An orthographic view shows the same height at the pivot as the perspective one would.
    camera.orthoHalfHeight = std::tan(camera.fovY / 2.0f) * distance;
    if (bounds)
        camera.UpdateClipPlanes(bounds->boundsMin, bounds->boundsMax);
    return true;
}
