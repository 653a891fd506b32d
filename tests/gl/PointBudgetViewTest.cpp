#include "tests/gl/ViewTestFixture.h"

#include "platform/ThreadPool.h"
#include "render/PointOctree.h"
#include "settings/AppSettings.h"
#include "render/PointCloudRenderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

using Eigen::Vector2f;
using Eigen::Vector3f;

namespace {

// The octree's root keeps one point per cell of a 128-cell grid over the cloud's cube. Every
// pair below shares one such cell: its "floor" point has the lower coordinates, so the root
// takes it, and the "raised" point above it goes one level down. Two anchors make the cube
// [0, 1] along x and y. A budget between the root's 902 points and the root plus its smallest
// child draws exactly the floor points and the anchors.
constexpr float kCell = 1.0f / 128.0f;
constexpr int kPairsPerSide = 30;
constexpr std::size_t kRootPoints = kPairsPerSide * kPairsPerSide + 2;
constexpr std::int64_t kBudget = 1000;
constexpr float kFloorZ = 0.2f * kCell;
constexpr float kRaisedZ = 0.7f * kCell;

Vector3f FloorPoint(int i, int j)
{
    return {(4.0f * i + 2.2f) * kCell, (4.0f * j + 2.2f) * kCell, kFloorZ};
}

Vector3f RaisedPoint(int i, int j)
{
    return {(4.0f * i + 2.7f) * kCell, (4.0f * j + 2.7f) * kCell, kRaisedZ};
}

// File order: raised and floor points interleaved, the anchors last.
std::vector<Vector3f> PairedCloud()
{
    std::vector<Vector3f> points;
    for (int i = 0; i < kPairsPerSide; ++i)
        for (int j = 0; j < kPairsPerSide; ++j) {
            points.push_back(RaisedPoint(i, j));
            points.push_back(FloorPoint(i, j));
        }
    points.emplace_back(0.0f, 0.0f, 0.0f);
    points.emplace_back(1.0f, 1.0f, 0.0f);
    return points;
}

bool SameMultiset(std::vector<Vector3f> a, std::vector<Vector3f> b)
{
    const auto less = [](const Vector3f& p, const Vector3f& q) {
        return std::lexicographical_compare(p.data(), p.data() + 3, q.data(), q.data() + 3);
    };
    std::sort(a.begin(), a.end(), less);
    std::sort(b.begin(), b.end(), less);
    return a == b;
}

class PointBudgetViewTest : public testsupport::ViewTest {
protected:
    void SetBudget(std::optional<std::int64_t> budget)
    {
        AppSettings settings = view->DisplaySettings();
        settings.pointBudget = budget;
        view->SetDisplaySettings(settings);
    }

    // Looks straight down at the pairs, so that a raised point, when drawn, hides its floor point.
    void LookDown()
    {
        view->SetViewAxis(2, false);
        if (view->Camera().Eye().z() < kRaisedZ)
            view->SetViewAxis(2, true);
        ASSERT_GT(view->Camera().Eye().z(), kRaisedZ);
    }

    // Picks at every raised point's pixel; counts the hits on raised points and on floor points.
    std::pair<int, int> PickAtRaisedPoints()
    {
        int raised = 0, floor = 0;
        for (int i = 0; i < kPairsPerSide; ++i)
            for (int j = 0; j < kPairsPerSide; ++j) {
                const Vector2f at = ProjectToClient(RaisedPoint(i, j));
                Vector3f picked;
                if (!view->PickPoint(static_cast<int>(at.x()), static_cast<int>(at.y()), picked))
                    continue;
                (picked.z() > 0.5f * (kFloorZ + kRaisedZ) ? raised : floor) += 1;
            }
        return {raised, floor};
    }

    // Delivers the wake-ups of background builds and paints until a frame draws through a
    // tree; false when none came in a generous while.
    bool WaitForTree()
    {
        for (int tries = 0; tries < 6000; ++tries) {
            desktop.DeliverPostedWakes([this] { view->OnWake(); });
            view->OnDraw();
            if (view->LastDrawStats().nodesLoaded > 0)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    ThreadPool pool{2};
};

TEST_F(PointBudgetViewTest, ACloudOverTheBudgetDrawsItsRootAndPicksOnlyDrawnPoints)
{
    SetBudget(kBudget);
    const std::vector<Vector3f> cloud = PairedCloud();
    ShowPoints(cloud);
    view->FinishOctreeBuild();
    LookDown();

    view->OnDraw();
    const PointDrawStats stats = view->LastDrawStats();
    EXPECT_EQ(stats.total, cloud.size());
    EXPECT_EQ(stats.drawn, kRootPoints);
    EXPECT_EQ(stats.nodesDrawn, 1u);
    EXPECT_GT(stats.nodesLoaded, 1u);
    // The arrays now follow the tree: the same points, the root's first.
    const auto& positions = Cloud().positions;
    EXPECT_TRUE(SameMultiset({positions.begin(), positions.end()}, cloud));
    EXPECT_TRUE(std::all_of(positions.begin(), positions.begin() + kRootPoints,
                            [](const Vector3f& p) { return p.z() < 0.5f * (kFloorZ + kRaisedZ); }));
    EXPECT_EQ(desktop.paneTexts[StatusPane::Count], "Points: 902 / 1802");

    const auto [raisedHits, floorHits] = PickAtRaisedPoints();
    EXPECT_EQ(raisedHits, 0);
    EXPECT_GT(floorHits, kPairsPerSide * kPairsPerSide / 2);

    // Every point: the raised points are drawn, in front, and picked; the pane says no more.
    SetBudget(kEveryPointBudgetSetting);
    view->OnDraw();
    EXPECT_EQ(view->LastDrawStats().drawn, cloud.size());
    EXPECT_EQ(desktop.paneTexts[StatusPane::Count], "Points: 1802");
    EXPECT_GT(PickAtRaisedPoints().first, kPairsPerSide * kPairsPerSide / 2);
}

// A tool's view builds the tree before the first upload: the first frame already draws
// through it, nothing is left to build in the background, and the arrays, the frame and the
// picks are those the background build gives once swapped in.
TEST_F(PointBudgetViewTest, BuildingTheTreeBeforeTheUploadDrawsWhatTheBackgroundBuildDraws)
{
    view->Detail().SetWorkerPool(&pool);
    view->Detail().SetOctreeBeforeUpload(true);
    SetBudget(kBudget);
    const std::vector<Vector3f> cloud = PairedCloud();
    ShowPoints(cloud);
    ASSERT_NE(view->Context().Points()->Octree(), nullptr) << "the tree comes with the upload";
    LookDown();
    view->OnDraw();
    const PointDrawStats before = view->LastDrawStats();
    EXPECT_EQ(before.drawn, kRootPoints);
    EXPECT_EQ(before.nodesDrawn, 1u);
    EXPECT_EQ(desktop.DeliverPostedWakes([this] { view->OnWake(); }), 0u) << "nothing built in the background";
    const std::vector<Vector3f> ordered(Cloud().positions.begin(), Cloud().positions.end());
    const auto picks = PickAtRaisedPoints();

    view->Detail().SetOctreeBeforeUpload(false);
    ShowPoints(cloud);
    ASSERT_TRUE(WaitForTree());
    LookDown();
    view->OnDraw();
    const PointDrawStats after = view->LastDrawStats();
    EXPECT_EQ(after.drawn, before.drawn);
    EXPECT_EQ(after.nodesDrawn, before.nodesDrawn);
    EXPECT_EQ(after.nodesLoaded, before.nodesLoaded);
    EXPECT_TRUE(std::equal(ordered.begin(), ordered.end(), Cloud().positions.begin()));
    EXPECT_EQ(PickAtRaisedPoints(), picks);
}

TEST_F(PointBudgetViewTest, ACloudWithinTheBudgetKeepsItsFileOrderAndNeedsNoTree)
{
    view->Detail().SetWorkerPool(&pool);
    SetBudget(static_cast<std::int64_t>(PairedCloud().size()));
    const std::vector<Vector3f> cloud = PairedCloud();
    ShowPoints(cloud);
    view->FinishOctreeBuild();
    view->OnDraw();
    const PointDrawStats stats = view->LastDrawStats();
    EXPECT_EQ(stats.drawn, cloud.size());
    EXPECT_EQ(stats.nodesLoaded, 0u);
    EXPECT_TRUE(std::equal(cloud.begin(), cloud.end(), Cloud().positions.begin()));
    EXPECT_EQ(desktop.paneTexts[StatusPane::Count], "Points: 1802");
    EXPECT_EQ(desktop.DeliverPostedWakes([this] { view->OnWake(); }), 0u);
}

TEST_F(PointBudgetViewTest, TheBackgroundBuildIsSwappedInWhenItsMessageArrives)
{
    view->Detail().SetWorkerPool(&pool);
    SetBudget(kBudget);
    const std::vector<Vector3f> cloud = PairedCloud();
    ShowPoints(cloud);

    // Until the tree is in: an even subset within the budget, the file order untouched.
    view->OnDraw();
    PointDrawStats stats = view->LastDrawStats();
    EXPECT_EQ(stats.nodesLoaded, 0u);
    EXPECT_LE(stats.drawn, static_cast<std::uint64_t>(kBudget));
    EXPECT_GE(stats.drawn, static_cast<std::uint64_t>(kBudget) / 2);
    EXPECT_TRUE(std::equal(cloud.begin(), cloud.end(), Cloud().positions.begin()));

    ASSERT_TRUE(WaitForTree());
    stats = view->LastDrawStats();
    EXPECT_GT(stats.nodesLoaded, 1u);
    EXPECT_EQ(stats.drawn, kRootPoints);
    EXPECT_TRUE(SameMultiset({Cloud().positions.begin(), Cloud().positions.end()}, cloud));
}

TEST_F(PointBudgetViewTest, ANewLoadCancelsTheBuildOfTheCloudItReplaces)
{
    view->Detail().SetWorkerPool(&pool);
    SetBudget(kBudget);
    // The same points in the opposite file order: both trees put them in one and the same
    // order, while the first cloud's order applied to the second would not.
    const std::vector<Vector3f> first = PairedCloud();
    const std::vector<Vector3f> second(first.rbegin(), first.rend());
    LargeArray<Vector3f> expected(first.begin(), first.end());
    const std::optional<PointOctree> tree = BuildPointOctree(expected, CancellationToken(), nullptr);
    ASSERT_TRUE(tree);
    ReorderToOctree(expected, tree->order);

    for (int load = 0; load < 5; ++load) {
        ShowPoints(first);
        ShowPoints(second);
        ASSERT_TRUE(WaitForTree());
        EXPECT_EQ(view->LastDrawStats().total, second.size());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), Cloud().positions.begin()));
    }
}

TEST_F(PointBudgetViewTest, AMovingCameraDrawsAQuarterOfTheBudgetAndTheFullBudgetOnceItStops)
{
    SetBudget(kBudget);
    ShowPoints(PairedCloud());
    view->FinishOctreeBuild();
    const auto drawn = [this] {
        view->OnDraw();
        return view->LastDrawStats().drawn;
    };
    EXPECT_EQ(drawn(), kRootPoints);

    view->OnButtonDown(MouseButton::Left, 100, 75, {});
    view->OnMouseMove(110, 80);
    const std::uint64_t dragging = drawn();
    EXPECT_GT(dragging, 0u);
    EXPECT_LE(dragging, static_cast<std::uint64_t>(kBudget / 4));
    view->OnButtonUp(MouseButton::Left, 110, 80);
    EXPECT_EQ(drawn(), kRootPoints);

    view->OnMouseWheel(120);
    EXPECT_LE(drawn(), static_cast<std::uint64_t>(kBudget / 4));
}

}  // namespace
