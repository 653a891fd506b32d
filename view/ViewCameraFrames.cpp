#include "view/SceneView.h"

#include "document/Document.h"

#include <Eigen/Geometry>

#include <cmath>
#include <cstdint>

namespace {

// Fields of view the camera accepts from a recorded frame: strictly between about 5 and 150
// degrees (the single-precision values nearest to these decimals).
constexpr float kMinFrameFovY = 0.08726647f;
constexpr float kMaxFrameFovY = 2.617994f;

// i wrapped into 0 .. count-1: -1 gives the last frame, count the first.
int WrapFrameIndex(int i, std::size_t count)
{
    const auto n = static_cast<std::int64_t>(count);
    return static_cast<int>((n + i % n) % n);
}

// The scene's origin, which the readers subtracted from every stored position.
Eigen::Vector3d SceneOrigin(const Document& document)
{
    switch (document.m_sceneKind) {
    case SceneKind::PointCloud:
        return document.m_pointCloud.origin;
    case SceneKind::GaussianSplats:
        return document.m_gaussianData.origin;
    default:
        return Eigen::Vector3d::Zero();
    }
}

}  // namespace

std::optional<std::string> SceneView::ChooseCameraPoseFile()
{
    const OpenFileDialogRequest request{
        "json", "transforms.json", {{"Camera pose file (*.json)", "*.json"}, {"All Files (*.*)", "*.*"}}};
    return m_desktop.ChooseFileToOpen(request);
}

void SceneView::OpenCameraPoseFile()
{
    if (!m_document)
        return;
    const std::optional<std::string> path = ChooseCameraPoseFile();
    if (!path)
        return;
    // The document reports a failure itself and keeps its previous frames.
    if (!m_document->LoadCameraPoses(*path))
        return;
    ApplyCameraFrame(0);
}

void SceneView::ApplyCameraFrame(int index)
{
    if (!m_document || m_document->m_cameraPoses.frames.empty())
        return;
    const CameraPoseSet& poses = m_document->m_cameraPoses;
    // A pose that cannot be shown is skipped as if the file did not hold it, in the direction
    // of the step. When no frame can be shown, the camera and the frame number stay as they are.
    const int step = index < m_frameIndex ? -1 : 1;
    const int previous = m_frameIndex;
    for (std::size_t tried = 0; tried < poses.frames.size(); ++tried, index += step) {
        const int k = WrapFrameIndex(index, poses.frames.size());
        m_frameIndex = k;  // the status texts the pose updates show this frame
        if (ApplyCameraPose(poses.frames[static_cast<std::size_t>(k)], poses.defaultFovY))
            return;
    }
    m_frameIndex = previous;
}

bool SceneView::ApplyCameraPose(const CameraFrame& frame, float fallbackFovY)
{
    if (!m_document)
        return false;

    Eigen::Quaternionf q(Eigen::Matrix3f(frame.transform.topLeftCorner<3, 3>().cast<float>()));
    if (q.squaredNorm() > 0.0f)
        q.normalize();
    const Eigen::Vector3d origin = SceneOrigin(*m_document);
    const Eigen::Vector3f eye = (frame.transform.topRightCorner<3, 1>() - origin).cast<float>();
    const Eigen::Vector3f forward = q * Eigen::Vector3f(0.0f, 0.0f, -1.0f);
    // A pose that does not fit in single precision (a position far beyond the scene's origin)
    // cannot be shown.
    if (!q.coeffs().allFinite() || !eye.allFinite() || !forward.allFinite())
        return false;

    Eigen::Vector3f boundsMin = Eigen::Vector3f::Zero();
    Eigen::Vector3f boundsMax = Eigen::Vector3f::Zero();
    Eigen::Vector3f center = Eigen::Vector3f::Zero();
    float radius = 1.0f;
    const bool hasBounds = GetSceneBounds(boundsMin, boundsMax, center, radius);
    float distance = ViewCamera::FocusDistance(eye, forward, hasBounds, boundsMin, boundsMax, center, radius);
    if (distance < m_camera.minDistance)
        distance = m_camera.minDistance;
    if (distance > m_camera.maxDistance)
        distance = m_camera.maxDistance;

    // The eye is exactly the recorded position; rotation and zoom now work about it.
    m_camera.orientation = q;
    m_camera.distance = distance;
    m_camera.target = eye + forward * distance;
    m_camera.eyeAnchored = true;

    const float fovY = frame.fovY > 0.0f ? frame.fovY : fallbackFovY;
    if (fovY > kMinFrameFovY && fovY < kMaxFrameFovY)
        m_camera.fovY = fovY;
    // An orthographic view shows the same height at the pivot as the perspective one would.
    m_camera.orthoHalfHeight = std::tan(m_camera.fovY / 2.0f) * distance;
    if (hasBounds)
        m_camera.UpdateClipPlanes(boundsMin, boundsMax);

    RequestSplatResort();
    UpdateStatusTexts();
    Invalidate();
    return true;
}
