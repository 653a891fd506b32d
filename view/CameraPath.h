#pragma once

#include "scene/CameraPoses.h"

#include <Eigen/Core>
#include <Eigen/Geometry>

#include <cstddef>
#include <vector>

// A camera on a path: where it is, how it is turned (camera-to-world, looking along -z with
// y up) and its vertical field of view in radians.
struct CameraPathKey {
    Eigen::Vector3d position = Eigen::Vector3d::Zero();
    Eigen::Quaterniond orientation = Eigen::Quaterniond::Identity();
    double fovY = 0.0;
};

// The cameras of a pose file in order; a camera without a field of view of its own takes the
// file's default, else fallbackFovY.
std::vector<CameraPathKey> CameraPathKeys(const CameraPoseSet& poses, double fallbackFovY);

// The pose a view takes for a point of the path.
CameraFrame CameraFrameAt(const CameraPathKey& key);

// A fly-through that reaches camera k at k x secondsPerCamera: positions on a centripetal
// Catmull-Rom spline through the cameras, orientations by spherical interpolation along the
// shorter arc, the field of view linearly.
class CameraPath {
public:
    CameraPath(std::vector<CameraPathKey> keys, double secondsPerCamera);

    double Duration() const;
    // Video frames at `fps` from the first camera to the last, both included.
    std::size_t FrameCount(double fps) const;
    // The camera at video frame `frame`; exactly camera k where frame / fps is its time.
    CameraPathKey AtFrame(std::size_t frame, double fps) const;
    // The camera at `seconds`, clamped to the path.
    CameraPathKey At(double seconds) const;

private:
    // The camera a fraction u (0 to 1) of the way from camera `segment` to the next.
    CameraPathKey Between(std::size_t segment, double u) const;
    Eigen::Vector3d SplinePosition(std::size_t segment, double u) const;

    std::vector<CameraPathKey> m_keys;
    double m_secondsPerCamera;
};
