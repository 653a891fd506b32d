#include "tests/gl/SplatTestScenes.h"
#include "tests/gl/ViewTestFixture.h"
#include "settings/AppSettings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using Eigen::Vector2f;
using Eigen::Vector3f;
using testsupport::RoundSplats;

namespace {

class ViewPickingTest : public testsupport::ViewTest {
protected:

    // One-pixel points, so a point covers exactly the pixel its centre falls in.
    void UseOnePixelPoints()
    {
        AppSettings settings = view->DisplaySettings();
        settings.pointSize = 1.0f;
        view->SetDisplaySettings(settings);
        view->Context().Renderer()->SetPointStyle(view->CurrentPointStyle());
    }

    // An orthographic camera looking down -z at the origin, 0.1 world units a pixel: world
    // (x, y) is drawn at client pixel (100 + 10x, 75 - 10y).
    void UseOrthographicGrid()
    {
        EditCamera([](ViewCamera& edited) {
            edited.target = Vector3f::Zero();
            edited.orientation = Eigen::Quaternionf::Identity();
            edited.distance = 10.0f;
            edited.projection = Orthographic;
            edited.orthoHalfHeight = 7.5f;
            edited.eyeAnchored = false;
        });
    }

    // World point whose centre is drawn at the centre of client pixel (x, y) by the grid camera.
    static Vector3f GridPoint(int x, int y, float z)
    {
        return {(static_cast<float>(x) + 0.5f - 100.0f) / 10.0f, (75.0f - static_cast<float>(y) - 0.5f) / 10.0f, z};
    }

    // World units a pixel covers at the look-at distance in the current perspective camera.
    float PixelSize() { return 2.0f * std::tan(Camera().fovY / 2.0f) * Camera().distance / kHeight; }
};

TEST_F(ViewPickingTest, PicksThePointUnderTheCursorAndOneTenPixelsAway)
{
    ShowPoints({{0.0f, 0.0f, 0.0f}, {3.0f, 2.0f, 1.0f}, {-3.0f, -2.0f, -1.0f}});
    for (const Vector3f& point : Cloud().positions) {
        const Vector2f at = ProjectToClient(point);
        Vector3f picked;
        ASSERT_TRUE(view->PickPoint(static_cast<int>(at.x()), static_cast<int>(at.y()), picked));
        EXPECT_LT((picked - point).norm(), 2.0f * PixelSize()) << point.transpose();
        ASSERT_TRUE(view->PickPoint(static_cast<int>(at.x()) + 10, static_cast<int>(at.y()), picked));
        EXPECT_LT((picked - point).norm(), 2.0f * PixelSize()) << point.transpose();
    }
}

TEST_F(ViewPickingTest, PointsBeyondEighteenPixelsAreNotFound)
{
    // The other two points lie far from every cursor below and give the scene some depth.
    ShowPoints({GridPoint(100, 75, 0.0f), GridPoint(10, 10, 1.0f), GridPoint(190, 140, -1.0f)});
    UseOnePixelPoints();
    UseOrthographicGrid();

    Vector3f picked;
    EXPECT_TRUE(view->PickPoint(118, 75, picked));
    EXPECT_TRUE(view->PickPoint(100, 57, picked));
    EXPECT_TRUE(view->PickPoint(118, 93, picked));  // the window is a square, not a circle
    EXPECT_FALSE(view->PickPoint(119, 75, picked));
    EXPECT_FALSE(view->PickPoint(100, 94, picked));
}

TEST_F(ViewPickingTest, OrthographicPicksPreferTheNearerOfTwoEquallyDistantPoints)
{
    // Ten pixels left and right of the cursor; the right one is nearer the eye (z = 1).
    ShowPoints({GridPoint(90, 75, -1.0f), GridPoint(110, 75, 1.0f)});
    UseOnePixelPoints();
    UseOrthographicGrid();
    Vector3f picked;
    ASSERT_TRUE(view->PickPoint(100, 75, picked));
    EXPECT_TRUE(picked.isApprox(GridPoint(110, 75, 1.0f), 1e-3f)) << picked.transpose();

    // At equal depth the first one read (the left one) stays.
    ShowPoints({GridPoint(90, 75, 0.5f), GridPoint(110, 75, 0.5f)});
    UseOnePixelPoints();
    UseOrthographicGrid();
    ASSERT_TRUE(view->PickPoint(100, 75, picked));
    EXPECT_TRUE(picked.isApprox(GridPoint(90, 75, 0.5f), 1e-3f)) << picked.transpose();
}

TEST_F(ViewPickingTest, PicksNearTheBorderUseAClippedWindow)
{
    ShowPoints({GridPoint(3, 2, 0.0f), GridPoint(196, 147, 0.0f)});
    UseOnePixelPoints();
    UseOrthographicGrid();
    Vector3f picked;
    ASSERT_TRUE(view->PickPoint(0, 0, picked));
    EXPECT_TRUE(picked.isApprox(GridPoint(3, 2, 0.0f), 1e-3f));
    ASSERT_TRUE(view->PickPoint(kWidth - 1, kHeight - 1, picked));
    EXPECT_TRUE(picked.isApprox(GridPoint(196, 147, 0.0f), 1e-3f));
    EXPECT_FALSE(view->PickPoint(kWidth, 10, picked));
    EXPECT_FALSE(view->PickPoint(-1, 10, picked));
}

TEST_F(ViewPickingTest, APickLeavesTheCameraAsItWasAndAsksForARepaint)
{
    ShowPoints({{0.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 1.0f}});
    EditCamera([&](ViewCamera& edited) { edited.nearPlane = 0.125f; });
    EditCamera([&](ViewCamera& edited) { edited.farPlane = 456.0f; });
    const ViewCamera before = Camera();
    const Vector2f at = ProjectToClient({0.0f, 0.0f, 0.0f});
    const std::size_t invalidations = desktop.invalidations;
    Vector3f picked;
    ASSERT_TRUE(view->PickPoint(static_cast<int>(at.x()), static_cast<int>(at.y()), picked));
    EXPECT_EQ(Camera().nearPlane, 0.125f);
    EXPECT_EQ(Camera().farPlane, 456.0f);
    EXPECT_EQ(Camera().target, before.target);
    EXPECT_EQ(desktop.invalidations, invalidations + 1);
}

TEST_F(ViewPickingTest, NothingToPickWithoutADrawableScene)
{
    Vector3f picked;
    EXPECT_FALSE(view->PickPoint(100, 75, picked));
    ShowPoints({{0.0f, 0.0f, 0.0f}});
    document.Clear();  // no bounds, but the view still holds the upload
    EXPECT_FALSE(view->PickPoint(100, 75, picked));
}

TEST_F(ViewPickingTest, DoubleClickAimsAtThePickedPointWithoutMovingTheEye)
{
    ShowPoints({{0.0f, 0.0f, 0.0f}, {2.0f, 1.0f, 0.5f}});
    view->OnButtonDown(MouseButton::Left, 10, 10, {});  // the double click's first click
    EditCamera([&](ViewCamera& edited) { edited.eyeAnchored = true; });
    const Vector3f eye = Camera().Eye();
    const Vector2f at = ProjectToClient({2.0f, 1.0f, 0.5f});

    view->OnLButtonDblClk(static_cast<int>(at.x()), static_cast<int>(at.y()));

    EXPECT_EQ(view->Controller().dragMode, DragMode::Idle);
    EXPECT_FALSE(desktop.mouseCaptured);
    EXPECT_FALSE(Camera().eyeAnchored);
    EXPECT_TRUE(Camera().Eye().isApprox(eye, 1e-4f));
    EXPECT_LT((Camera().target - Vector3f(2.0f, 1.0f, 0.5f)).norm(), 2.0f * PixelSize());
    const Vector2f centre = ProjectToClient(Camera().target);
    EXPECT_NEAR(centre.x(), kWidth / 2.0f, 0.01f);
    EXPECT_NEAR(centre.y(), kHeight / 2.0f, 0.01f);
}

TEST_F(ViewPickingTest, DoubleClickOnBackgroundOnlyEndsTheDrag)
{
    ShowPoints({{0.0f, 0.0f, 0.0f}});
    view->OnButtonDown(MouseButton::Left, 5, 5, {});
    const ViewCamera before = Camera();
    view->OnLButtonDblClk(5, 5);
    EXPECT_EQ(view->Controller().dragMode, DragMode::Idle);
    EXPECT_EQ(Camera().target, before.target);
    EXPECT_TRUE(Camera().orientation.coeffs().isApprox(before.orientation.coeffs()));
}

TEST_F(ViewPickingTest, SplatScenesArePickedAtTheirCentres)
{
    ShowSplats(RoundSplats({{0.0f, 0.0f, 0.0f}, {1.5f, 0.5f, 0.0f}}, 0.05f));
    const Vector2f at = ProjectToClient({1.5f, 0.5f, 0.0f});
    Vector3f picked;
    ASSERT_TRUE(view->PickPoint(static_cast<int>(at.x()) + 3, static_cast<int>(at.y()), picked));
    EXPECT_LT((picked - Vector3f(1.5f, 0.5f, 0.0f)).norm(), 0.1f);
}

}  // namespace
