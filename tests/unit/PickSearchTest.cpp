#include "view/PickSearch.h"
#include "view/ViewCamera.h"

#include <gtest/gtest.h>

#include <vector>

using Eigen::Vector3f;

namespace {

// Depths of a pick window as GL reads them back (rows bottom-up), all background until set.
struct DepthWindow {
    PickWindow window;
    std::vector<float> depths;

    explicit DepthWindow(const PickWindow& w)
        : window(w), depths(static_cast<std::size_t>(w.Width()) * w.Height(), 1.0f)
    {
    }

    // Client pixel (x, y), y growing downwards.
    void Set(int x, int y, float depth)
    {
        const int row = window.y1 - y;
        depths[static_cast<std::size_t>(row) * window.Width() + (x - window.x0)] = depth;
    }
};

TEST(PickSearchTest, WindowReachesEighteenPixelsAndIsClippedToTheClientArea)
{
    const PickWindow inside = PickWindowAround(100, 80, 400, 300);
    EXPECT_EQ(inside.x0, 82);
    EXPECT_EQ(inside.x1, 118);
    EXPECT_EQ(inside.y0, 62);
    EXPECT_EQ(inside.y1, 98);
    EXPECT_EQ(inside.Width(), 37);
    EXPECT_EQ(inside.Height(), 37);

    const PickWindow corner = PickWindowAround(2, 297, 400, 300);
    EXPECT_EQ(corner.x0, 0);
    EXPECT_EQ(corner.x1, 20);
    EXPECT_EQ(corner.y0, 279);
    EXPECT_EQ(corner.y1, 299);
}

TEST(PickSearchTest, FindsThePixelUnderTheCursorOrTheNearestDrawnOne)
{
    DepthWindow exact(PickWindowAround(50, 50, 200, 200));
    exact.Set(50, 50, 0.7f);
    exact.Set(51, 50, 0.2f);  // nearer in depth but one pixel off
    const auto hit = NearestDrawnPixel(exact.depths, exact.window, 50, 50);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->x, 50);
    EXPECT_EQ(hit->y, 50);
    EXPECT_FLOAT_EQ(hit->depth, 0.7f);

    DepthWindow near(PickWindowAround(50, 50, 200, 200));
    near.Set(60, 50, 0.5f);
    near.Set(50, 39, 0.5f);  // 11 pixels away: farther than the first
    const auto nearHit = NearestDrawnPixel(near.depths, near.window, 50, 50);
    ASSERT_TRUE(nearHit);
    EXPECT_EQ(nearHit->x, 60);
    EXPECT_EQ(nearHit->y, 50);
}

TEST(PickSearchTest, RowsAreReadBottomUp)
{
    DepthWindow window(PickWindowAround(30, 30, 100, 100));
    window.Set(30, 20, 0.4f);  // ten rows above the cursor
    const auto hit = NearestDrawnPixel(window.depths, window.window, 30, 30);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->y, 20);
}

TEST(PickSearchTest, BackgroundOnlyGivesNoHit)
{
    const DepthWindow empty(PickWindowAround(30, 30, 100, 100));
    EXPECT_FALSE(NearestDrawnPixel(empty.depths, empty.window, 30, 30));
    // A depth buffer too short for the window is never read past its end.
    EXPECT_FALSE(NearestDrawnPixel({0.5f, 0.5f}, empty.window, 30, 30));
}

TEST(PickSearchTest, TiesGoToTheNearerDepthThenToTheFirstPixelRead)
{
    DepthWindow depthTie(PickWindowAround(50, 50, 200, 200));
    depthTie.Set(45, 50, 0.6f);
    depthTie.Set(55, 50, 0.3f);
    depthTie.Set(50, 45, 0.6f);
    auto hit = NearestDrawnPixel(depthTie.depths, depthTie.window, 50, 50);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->x, 55);
    EXPECT_EQ(hit->y, 50);

    // Equal distance and depth: the upper row wins, then the left column.
    DepthWindow fullTie(PickWindowAround(50, 50, 200, 200));
    fullTie.Set(55, 50, 0.6f);
    fullTie.Set(45, 50, 0.6f);
    fullTie.Set(50, 55, 0.6f);
    hit = NearestDrawnPixel(fullTie.depths, fullTie.window, 50, 50);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->x, 45);
    EXPECT_EQ(hit->y, 50);
    fullTie.Set(50, 45, 0.6f);
    hit = NearestDrawnPixel(fullTie.depths, fullTie.window, 50, 50);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->x, 50);
    EXPECT_EQ(hit->y, 45);
}

// The pixel a camera draws a point at, and its window depth, unproject to that point again.
TEST(PickSearchTest, UnprojectionInvertsTheDrawingInBothProjections)
{
    for (const int projection : {Perspective, Orthographic}) {
        ViewCamera camera;
        camera.projection = projection;
        camera.target = Vector3f(1.0f, -2.0f, 0.5f);
        camera.distance = 6.0f;
        camera.orientation = Eigen::Quaternionf(Eigen::AngleAxisf(0.4f, Vector3f(0.3f, 1.0f, 0.2f).normalized()));
        camera.nearPlane = 0.5f;
        camera.farPlane = 20.0f;
        const int w = 320;
        const int h = 240;
        const Eigen::Matrix4f view = camera.ViewMatrix();
        const Eigen::Matrix4f proj = camera.ProjectionMatrix(static_cast<float>(w) / h);

        // A point placed at the centre of pixel (100, 60).
        const Eigen::Vector4f ndc(100.5f * 2.0f / w - 1.0f, 1.0f - 60.5f * 2.0f / h, 0.3f, 1.0f);
        const Eigen::Vector4f world = (proj * view).inverse() * ndc;
        const Vector3f point = world.head<3>() / world.w();

        const auto unprojected = UnprojectPixel({100, 60, 0.65f}, w, h, view, proj);
        ASSERT_TRUE(unprojected) << "projection " << projection;
        EXPECT_TRUE(unprojected->isApprox(point, 1e-4f)) << "projection " << projection;
    }
}

TEST(PickSearchTest, SingularMatricesAndEmptyClientAreasGiveNoPoint)
{
    EXPECT_FALSE(UnprojectPixel({1, 1, 0.5f}, 10, 10, Eigen::Matrix4f::Identity(), Eigen::Matrix4f::Zero()));
    EXPECT_FALSE(UnprojectPixel({1, 1, 0.5f}, 0, 10, Eigen::Matrix4f::Identity(), Eigen::Matrix4f::Identity()));
}

}  // namespace
