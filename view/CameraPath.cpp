#include "view/CameraPath.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// Centripetal parameterisation: knots spaced by the square root of the chord length.
double KnotGap(const Eigen::Vector3d& a, const Eigen::Vector3d& b)
{
    return std::sqrt((b - a).norm());
}

Eigen::Vector3d Lerp(const Eigen::Vector3d& a, const Eigen::Vector3d& b, double ta, double tb, double t)
{
    return (tb - t) / (tb - ta) * a + (t - ta) / (tb - ta) * b;
}

}  // namespace

std::vector<CameraPathKey> CameraPathKeys(const CameraPoseSet& poses, double fallbackFovY)
{
    std::vector<CameraPathKey> keys;
    keys.reserve(poses.frames.size());
    for (const CameraFrame& frame : poses.frames) {
        CameraPathKey& key = keys.emplace_back();
        key.position = frame.transform.topRightCorner<3, 1>();
        key.orientation = Eigen::Quaterniond(Eigen::Matrix3d(frame.transform.topLeftCorner<3, 3>())).normalized();
        key.fovY = frame.fovY > 0.0f ? frame.fovY : poses.defaultFovY > 0.0f ? poses.defaultFovY : fallbackFovY;
    }
    return keys;
}

CameraFrame CameraFrameAt(const CameraPathKey& key)
{
    CameraFrame frame;
    frame.transform.topLeftCorner<3, 3>() = key.orientation.toRotationMatrix();
    frame.transform.topRightCorner<3, 1>() = key.position;
    frame.fovY = static_cast<float>(key.fovY);
    return frame;
}

CameraPath::CameraPath(std::vector<CameraPathKey> keys, double secondsPerCamera)
    : m_keys(std::move(keys)), m_secondsPerCamera(secondsPerCamera > 0.0 ? secondsPerCamera : 1.0)
{
}

double CameraPath::Duration() const
{
    return m_keys.size() < 2 ? 0.0 : static_cast<double>(m_keys.size() - 1) * m_secondsPerCamera;
}

std::size_t CameraPath::FrameCount(double fps) const
{
    if (m_keys.empty() || !(fps > 0.0))
        return 0;
    // The small allowance keeps the last camera's frame when duration x fps is a whole
    // number that rounding left just below it.
    return static_cast<std::size_t>(std::floor(Duration() * fps + 1e-9)) + 1;
}

CameraPathKey CameraPath::AtFrame(std::size_t frame, double fps) const
{
    if (m_keys.size() < 2)
        return m_keys.empty() ? CameraPathKey() : m_keys.front();
    // In cameras rather than seconds, so a frame at a camera's time lands on it exactly.
    const double cameras = static_cast<double>(frame) / (fps * m_secondsPerCamera);
    const double last = static_cast<double>(m_keys.size() - 1);
    if (!(cameras < last))
        return m_keys.back();
    const double segment = std::floor(cameras);
    return Between(static_cast<std::size_t>(segment), cameras - segment);
}

CameraPathKey CameraPath::At(double seconds) const
{
    if (m_keys.size() < 2)
        return m_keys.empty() ? CameraPathKey() : m_keys.front();
    const double cameras = std::max(0.0, seconds / m_secondsPerCamera);
    const double last = static_cast<double>(m_keys.size() - 1);
    if (!(cameras < last))
        return m_keys.back();
    const double segment = std::floor(cameras);
    return Between(static_cast<std::size_t>(segment), cameras - segment);
}

CameraPathKey CameraPath::Between(std::size_t segment, double u) const
{
    const CameraPathKey& from = m_keys[segment];
    const CameraPathKey& to = m_keys[segment + 1];
    if (u <= 0.0)
        return from;
    CameraPathKey key;
    key.position = SplinePosition(segment, u);
    key.orientation = from.orientation.slerp(u, to.orientation);  // Eigen's slerp takes the shorter arc
    key.fovY = from.fovY + u * (to.fovY - from.fovY);
    return key;
}

Eigen::Vector3d CameraPath::SplinePosition(std::size_t segment, double u) const
{
    const Eigen::Vector3d& p1 = m_keys[segment].position;
    const Eigen::Vector3d& p2 = m_keys[segment + 1].position;
    // Beyond the ends the path goes on straight: the neighbour mirrored through the end.
    const Eigen::Vector3d p0 = segment > 0 ? m_keys[segment - 1].position : Eigen::Vector3d(2.0 * p1 - p2);
    const Eigen::Vector3d p3 = segment + 2 < m_keys.size() ? m_keys[segment + 2].position : Eigen::Vector3d(2.0 * p2 - p1);

    const double d12 = KnotGap(p1, p2);
    if (d12 == 0.0)
        return p1;  // a camera that stays put while it turns
    // A neighbour at the same place as its end gets the middle gap, so no knot interval is empty.
    const double d01 = KnotGap(p0, p1) > 0.0 ? KnotGap(p0, p1) : d12;
    const double d23 = KnotGap(p2, p3) > 0.0 ? KnotGap(p2, p3) : d12;

    // Barry and Goldman's pyramid over the knots t0 = 0 < t1 < t2 < t3.
    const double t0 = 0.0;
    const double t1 = d01;
    const double t2 = t1 + d12;
    const double t3 = t2 + d23;
    const double t = t1 + u * d12;
    const Eigen::Vector3d a1 = Lerp(p0, p1, t0, t1, t);
    const Eigen::Vector3d a2 = Lerp(p1, p2, t1, t2, t);
    const Eigen::Vector3d a3 = Lerp(p2, p3, t2, t3, t);
    const Eigen::Vector3d b1 = Lerp(a1, a2, t0, t2, t);
    const Eigen::Vector3d b2 = Lerp(a2, a3, t1, t3, t);
    return Lerp(b1, b2, t1, t2, t);
}
