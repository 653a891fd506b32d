#include "view/CameraPath.h"

#include <Eigen/Geometry>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

CameraPathKey Key(const Eigen::Vector3d& position, double yawDegrees, double fovY)
{
    CameraPathKey key;
    key.position = position;
    key.orientation = Eigen::AngleAxisd(yawDegrees * std::numbers::pi / 180.0, Eigen::Vector3d::UnitY());
    key.fovY = fovY;
    return key;
}

std::vector<CameraPathKey> FourCameras()
{
    return {Key({0, 0, 0}, 0, 0.5), Key({4, 1, 0}, 30, 0.7), Key({5, 1, 3}, 60, 0.9), Key({9, -2, 2}, 120, 0.6)};
}

TEST(CameraPath, PassesThroughEveryCameraAtItsTime)
{
    const std::vector<CameraPathKey> keys = FourCameras();
    const CameraPath path(keys, 1.5);
    const double fps = 30.0;
    EXPECT_DOUBLE_EQ(path.Duration(), 4.5);
    EXPECT_EQ(path.FrameCount(fps), 136u);
    for (std::size_t k = 0; k < keys.size(); ++k) {
        const CameraPathKey at = path.AtFrame(k * 45, fps);
        EXPECT_EQ(at.position, keys[k].position) << k;
        EXPECT_EQ(at.orientation.coeffs(), keys[k].orientation.coeffs()) << k;
        EXPECT_EQ(at.fovY, keys[k].fovY) << k;
        EXPECT_TRUE(path.At(1.5 * static_cast<double>(k)).position.isApprox(keys[k].position, 1e-12)) << k;
    }
    // Just next to a camera the path is close to it: the spline is continuous there.
    EXPECT_TRUE(path.At(1.5 - 1e-7).position.isApprox(keys[1].position, 1e-6));
    EXPECT_TRUE(path.At(1.5 + 1e-7).position.isApprox(keys[1].position, 1e-6));
    // Before the start and after the end the path holds its first and last camera.
    EXPECT_EQ(path.At(-3).position, keys.front().position);
    EXPECT_EQ(path.At(100).position, keys.back().position);
}

TEST(CameraPath, BetweenCamerasFovIsLinearAndOrientationTheShorterArc)
{
    std::vector<CameraPathKey> keys = {Key({0, 0, 0}, 0, 0.4), Key({1, 0, 0}, 90, 0.8)};
    // The same rotation with the other sign: interpolation must not go the long way round.
    keys[1].orientation.coeffs() = -keys[1].orientation.coeffs();
    const CameraPath path(keys, 1.0);
    const CameraPathKey middle = path.At(0.5);
    EXPECT_DOUBLE_EQ(middle.fovY, 0.6);
    const Eigen::Quaterniond expected(Eigen::AngleAxisd(std::numbers::pi / 4, Eigen::Vector3d::UnitY()));
    EXPECT_NEAR(middle.orientation.angularDistance(expected), 0.0, 1e-12);
    // Two cameras: the path is the straight line between them.
    EXPECT_TRUE(middle.position.isApprox(Eigen::Vector3d(0.5, 0, 0), 1e-12));
}

TEST(CameraPath, CentripetalSplineKeepsCloseToUnevenCameras)
{
    // A close pair followed by a far camera: the centripetal spline bulges a little past the
    // corner but stays within a tenth of the long side of the cameras' box.
    const std::vector<CameraPathKey> keys = {Key({0, 0, 0}, 0, 0.5), Key({0.1, 0, 0}, 0, 0.5),
                                             Key({0.1, 10, 0}, 0, 0.5), Key({10, 10, 0}, 0, 0.5)};
    const CameraPath path(keys, 1.0);
    for (int i = 0; i <= 300; ++i) {
        const Eigen::Vector3d p = path.At(i / 100.0).position;
        EXPECT_GT(p.x(), -1.0) << i;
        EXPECT_LT(p.x(), 11.0) << i;
        EXPECT_GT(p.y(), -1.0) << i;
        EXPECT_LT(p.y(), 11.0) << i;
    }
    // Centripetal knots for the middle segment of the four cameras, by hand: gaps
    // sqrt(0.1), sqrt(10), sqrt(9.9); halfway along it the Barry-Goldman pyramid gives this point.
    const double g0 = std::sqrt(0.1), g1 = std::sqrt(10.0), g2 = std::sqrt(9.9);
    const double t0 = 0, t1 = g0, t2 = t1 + g1, t3 = t2 + g2, t = t1 + 0.5 * g1;
    const auto lerp = [t](const Eigen::Vector3d& a, const Eigen::Vector3d& b, double ta, double tb) {
        return Eigen::Vector3d((tb - t) / (tb - ta) * a + (t - ta) / (tb - ta) * b);
    };
    const Eigen::Vector3d a1 = lerp(keys[0].position, keys[1].position, t0, t1);
    const Eigen::Vector3d a2 = lerp(keys[1].position, keys[2].position, t1, t2);
    const Eigen::Vector3d a3 = lerp(keys[2].position, keys[3].position, t2, t3);
    const Eigen::Vector3d expected = lerp(lerp(a1, a2, t0, t2), lerp(a2, a3, t1, t3), t1, t2);
    EXPECT_TRUE(path.At(1.5).position.isApprox(expected, 1e-12));
}

TEST(CameraPath, DegenerateInputsStayFinite)
{
    const CameraPath single({Key({1, 2, 3}, 10, 0.5)}, 1.0);
    EXPECT_EQ(single.FrameCount(30), 1u);
    EXPECT_EQ(single.AtFrame(0, 30).position, Eigen::Vector3d(1, 2, 3));
    EXPECT_EQ(CameraPath({}, 1.0).FrameCount(30), 0u);

    // Cameras at one place that only turn, and repeated cameras.
    const CameraPath still({Key({1, 1, 1}, 0, 0.5), Key({1, 1, 1}, 90, 0.5), Key({1, 1, 1}, 90, 0.5)}, 1.0);
    EXPECT_EQ(still.FrameCount(10), 21u);
    for (std::size_t f = 0; f < 21; ++f) {
        const CameraPathKey key = still.AtFrame(f, 10);
        EXPECT_EQ(key.position, Eigen::Vector3d(1, 1, 1)) << f;
        EXPECT_TRUE(key.orientation.coeffs().allFinite()) << f;
    }
}

TEST(CameraPath, KeysComeFromTheFramesWithTheirFieldOfView)
{
    CameraPoseSet poses;
    poses.defaultFovY = 0.9f;
    poses.frames.resize(2);
    poses.frames[0].transform.topRightCorner<3, 1>() = Eigen::Vector3d(1, 2, 3);
    poses.frames[0].fovY = 0.5f;
    poses.frames[1].transform.topLeftCorner<3, 3>() = Eigen::AngleAxisd(0.3, Eigen::Vector3d::UnitX()).toRotationMatrix();
    const std::vector<CameraPathKey> keys = CameraPathKeys(poses, 0.7);
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].position, Eigen::Vector3d(1, 2, 3));
    EXPECT_DOUBLE_EQ(keys[0].fovY, 0.5f);
    EXPECT_DOUBLE_EQ(keys[1].fovY, 0.9f);
    poses.defaultFovY = 0.0f;
    EXPECT_DOUBLE_EQ(CameraPathKeys(poses, 0.7)[1].fovY, 0.7);

    const CameraFrame frame = CameraFrameAt(keys[1]);
    EXPECT_TRUE(frame.transform.isApprox(poses.frames[1].transform, 1e-12));
}

}  // namespace
