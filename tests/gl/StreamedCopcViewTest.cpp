// A COPC file drawn node by node by the view, against the same file read whole.
#include "ViewTestFixture.h"
#include "io/laz/LazReader.h"
#include "render/StreamedPointRenderer.h"
#include "settings/AppSettings.h"
#include "scene/StreamedCloud.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using testsupport::TestDataFile;

class StreamedCopcView : public testsupport::ViewTest {
protected:
    // The point budget as the settings dialog sets it.
    void UseBudget(std::int64_t budget)
    {
        AppSettings settings = view->DisplaySettings();
        settings.pointBudget = budget;
        view->SetDisplaySettings(settings);
    }

    StreamedPointRenderer* Streamed() const { return view->Context().Streamed(); }

    std::vector<std::uint8_t> Paint()
    {
        view->OnDraw();
        return Headless().ReadColorImage();
    }
};

// With every node loaded before the draw, lone-star looks as it does read whole: the same
// points in the same frame under the same camera.
TEST_F(StreamedCopcView, LoneStarDrawnFromItsNodesMatchesTheWholeRead)
{
    ORRISK_REQUIRE_TESTDATA();
    const std::string path = TestDataFile("laz/lone-star.copc.laz").string();
    ASSERT_TRUE(document.Open(path));
    ASSERT_NE(Cloud().streamed, nullptr);
    ASSERT_NE(Streamed(), nullptr);
    const SceneBounds streamedBounds = Cloud();
    Cloud().streamed->SetDrawWaitsForNodes(true);
    const std::vector<std::uint8_t> streamed = Paint();
    EXPECT_EQ(Streamed()->DrawnPoints(), 518862u);  // within the budget: everything
    EXPECT_EQ(Streamed()->NodesDrawn(), Cloud().streamed->Nodes().size());
    // The status bar counts the points drawn from the nodes, not none.
    EXPECT_EQ(desktop.paneTexts[StatusPane::Count], "Points: 518862");

    ReadResult<PointCloudData> whole = ReadLaz(path);
    ASSERT_TRUE(whole) << whole.Failure().reason;
    PointCloudData read = whole.TakeValue();
    // The streamed cloud is framed by the header's box; the whole read by its points'.
    static_cast<SceneBounds&>(read) = streamedBounds;
    document.SetScene(std::move(read));
    ASSERT_EQ(Streamed(), nullptr);
    const std::vector<std::uint8_t> wholeRead = Paint();

    ASSERT_EQ(streamed.size(), wholeRead.size());
    std::size_t differing = 0, lit = 0;
    for (std::size_t i = 0; i < wholeRead.size(); i += 4) {
        differing += (streamed[i] != wholeRead[i] || streamed[i + 1] != wholeRead[i + 1] ||
                      streamed[i + 2] != wholeRead[i + 2])
                         ? 1
                         : 0;
        lit += wholeRead[i] != 0 ? 1 : 0;
    }
    EXPECT_GT(lit, wholeRead.size() / 4 / 20) << "the cloud covers a good part of the picture";
    EXPECT_EQ(differing, 0u);
}

// Without waiting, the first frame draws what is loaded (the root), asks for the rest and is
// repainted as nodes arrive; a later frame draws every node.
TEST_F(StreamedCopcView, NodesArriveAfterTheFirstFrameAndAskForARepaint)
{
    ORRISK_REQUIRE_TESTDATA();
    ASSERT_TRUE(document.Open(TestDataFile("laz/simple.copc.laz").string()));
    StreamedCloud& cloud = *Cloud().streamed;
    desktop.DeliverPostedWakes([] {});
    Paint();
    const std::size_t firstFrameNodes = Streamed()->NodesDrawn();
    EXPECT_GE(firstFrameNodes, 1u);
    cloud.WaitUntilIdle();
    EXPECT_GT(desktop.PendingWakes(), 0u);
    std::size_t withPoints = 0;
    for (const StreamedNode& node : cloud.Nodes())
        withPoints += node.pointCount > 0 ? 1 : 0;
    // Each frame reaches one level further down, as each asks for the children of what it drew.
    int frames = 1;
    for (; frames < 10 && Streamed()->NodesDrawn() < withPoints; ++frames) {
        Paint();
        cloud.WaitUntilIdle();
    }
    EXPECT_GE(frames, 2);
    EXPECT_LE(frames, cloud.Depth());
    EXPECT_EQ(Streamed()->NodesDrawn(), withPoints);
    EXPECT_EQ(Streamed()->DrawnPoints(), 1065u);
}

TEST_F(StreamedCopcView, ABudgetBelowTheCloudDrawsTheCoarsestNodesWithinIt)
{
    ORRISK_REQUIRE_TESTDATA();
    ASSERT_TRUE(document.Open(TestDataFile("laz/lone-star.copc.laz").string()));
    Cloud().streamed->SetDrawWaitsForNodes(true);
    UseBudget(200'000);
    Paint();
    EXPECT_LE(Streamed()->DrawnPoints(), 200'000u);
    EXPECT_GE(Streamed()->DrawnPoints(), 58'393u);  // at least the root
    EXPECT_LT(Streamed()->NodesDrawn(), Cloud().streamed->Nodes().size());
}

TEST_F(StreamedCopcView, GpuCopiesOfNodesNoLongerDrawnAreGivenBack)
{
    ORRISK_REQUIRE_TESTDATA();
    ASSERT_TRUE(document.Open(TestDataFile("laz/lone-star.copc.laz").string()));
    Cloud().streamed->SetDrawWaitsForNodes(true);
    Paint();
    EXPECT_EQ(Streamed()->NodesOnGpu(), 15u);
    // A budget that the root alone fills: after a while only its copy stays on the GPU, while
    // the cache, far from its budget, keeps every node.
    UseBudget(60'000);
    for (int frame = 0; frame < 70; ++frame)
        Paint();
    EXPECT_EQ(Streamed()->NodesDrawn(), 1u);
    EXPECT_EQ(Streamed()->NodesOnGpu(), 1u);
    EXPECT_EQ(Cloud().streamed->GetStats().loadedNodes, 15u);
}

TEST_F(StreamedCopcView, ClosingTheDocumentStopsTheCloudWhileTheRendererLives)
{
    ORRISK_REQUIRE_TESTDATA();
    ASSERT_TRUE(document.Open(TestDataFile("laz/lone-star.copc.laz").string()));
    std::weak_ptr<StreamedCloud> cloud = Cloud().streamed;
    Paint();  // asks for every node
    document.Clear();
    EXPECT_TRUE(cloud.expired());
    Paint();
    // The renderer, still there until the next scene, finds no cloud and draws nothing.
    ASSERT_NE(Streamed(), nullptr);
    Streamed()->Draw(Eigen::Matrix4f::Identity(), Eigen::Matrix4f::Identity());
    EXPECT_EQ(Streamed()->DrawnPoints(), 0u);
    EXPECT_EQ(Streamed()->NodesDrawn(), 0u);
}

}  // namespace
