#include "tests/gl/SplatTestScenes.h"
#include "tests/gl/ViewTestFixture.h"

#include "render/GaussianSplatRenderer.h"
#include "render/PointCloudRenderer.h"
#include "settings/AppSettings.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <vector>

using Eigen::Vector3f;
using testsupport::ColorNear;
using testsupport::Rgba8;
using testsupport::RoundSplats;
using testsupport::ScratchDir;
using testsupport::TestDataFile;

namespace {

const Rgba8 kBlack = {0, 0, 0, 255};

const std::vector<Vector3f> kThreePoints = {{0.0f, 0.0f, 0.0f}, {1.0f, 0.5f, -0.5f}, {-1.0f, -0.5f, 0.5f}};

class ViewDocumentTest : public testsupport::ViewTest {
protected:
    PointCloudRenderer* Points() { return view->Context().Points(); }
    GaussianSplatRenderer* Splats() { return view->Context().Splats(); }

    std::string Pane(StatusPane id) { return desktop.paneTexts[id]; }
};

TEST_F(ViewDocumentTest, StartsWithAPointRendererTheDefaultModeTextAndEmptyPanes)
{
    ASSERT_NE(Points(), nullptr);
    EXPECT_FALSE(view->ShowsSplats());
    EXPECT_FALSE(view->SceneDrawable());
    EXPECT_EQ(Pane(StatusPane::Mode), "Mode: Orbit | Persp");
    EXPECT_EQ(Pane(StatusPane::Count), "");
    EXPECT_EQ(Pane(StatusPane::Frame), "");
}

TEST_F(ViewDocumentTest, RendererFollowsTheSceneKindAndIsKeptForTheSameKind)
{
    ShowPoints(kThreePoints);
    PointCloudRenderer* points = Points();
    ASSERT_NE(points, nullptr);
    EXPECT_TRUE(view->SceneDrawable());
    EXPECT_EQ(points->VertexCount(), 3u);
    EXPECT_EQ(Pane(StatusPane::Count), "Points: 3");

    // Same kind: the renderer stays and only uploads the new cloud.
    ShowPoints({{0.0f, 0.0f, 0.0f}, {2.0f, 0.0f, 0.0f}});
    EXPECT_EQ(Points(), points);
    EXPECT_EQ(points->VertexCount(), 2u);

    ShowSplats(RoundSplats({{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}}, 0.2f));
    GaussianSplatRenderer* splats = Splats();
    ASSERT_NE(splats, nullptr);
    EXPECT_TRUE(view->ShowsSplats());
    EXPECT_TRUE(view->SceneDrawable());
    EXPECT_EQ(splats->SplatCount(), 2u);
    EXPECT_EQ(Pane(StatusPane::Count), "Splats: 2");

    ShowSplats(RoundSplats({{0.0f, 0.0f, 0.0f}}, 0.2f));
    EXPECT_EQ(Splats(), splats);
    EXPECT_EQ(splats->SplatCount(), 1u);

    ShowPoints(kThreePoints);
    ASSERT_NE(Points(), nullptr);
    EXPECT_FALSE(view->ShowsSplats());
    EXPECT_EQ(Points()->VertexCount(), 3u);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(ViewDocumentTest, SceneChangeFramesTheHomeViewAndForgetsTheFrame)
{
    ShowPoints(kThreePoints);
    CameraPoseSet poses;
    poses.frames.resize(6);
    document.SetCameraPoses(poses);
    view->ApplyCameraFrame(4);
    ASSERT_EQ(view->Frames().Index(), 4);
    EditCamera([&](ViewCamera& edited) { edited.eyeAnchored = true; });
    ShowPoints(kThreePoints);

    const PointCloudData& cloud = Cloud();
    EXPECT_TRUE(view->Camera().target.isApprox(cloud.center));
    EXPECT_NEAR(view->Camera().distance, cloud.radius / std::sin(view->Camera().fovY / 2.0f), 1e-4f);
    EXPECT_TRUE(view->Camera().Forward().isApprox(-HomeViewPreset().direction, 1e-5f));
    EXPECT_FALSE(view->Camera().eyeAnchored);
    EXPECT_EQ(view->Frames().Index(), -1);
    EXPECT_GT(desktop.invalidations, 0u);
}

TEST_F(ViewDocumentTest, SplatsWithSegmentsTakeTheViewsSeedAndClampedBlend)
{
    AppSettings settings = view->DisplaySettings();
    settings.segSeed = 77;
    settings.segBlend = 1.7f;
    view->SetDisplaySettings(settings);
    GaussianData withIds = RoundSplats({{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}}, 0.2f);
    withIds.objectIds = {1, 2};
    withIds.hasObjectIds = true;
    ShowSplats(withIds);
    ASSERT_NE(Splats(), nullptr);
    EXPECT_EQ(Splats()->segSeed, 77u);
    EXPECT_FLOAT_EQ(Splats()->segBlend, 1.0f);
    EXPECT_FLOAT_EQ(view->SegmentBlendSetting(), 1.7f);

    // Without ids the renderer keeps its own values.
    ShowPoints(kThreePoints);
    ShowSplats(RoundSplats({{0.0f, 0.0f, 0.0f}}, 0.2f));
    EXPECT_EQ(Splats()->segSeed, 1u);
    EXPECT_FLOAT_EQ(Splats()->segBlend, 0.5f);
}

TEST_F(ViewDocumentTest, DrawsTheSceneOverTheBackgroundWithTheGizmoInTheCorner)
{
    AppSettings settings = view->DisplaySettings();
    settings.background = Eigen::Vector3f(0.2f, 0.4f, 0.6f);
    view->SetDisplaySettings(settings);
    const Rgba8 background = {51, 102, 153, 255};
    ShowPoints(kThreePoints);
    // The cloud's centre point is drawn in the middle of the view (white: no colours).
    const Eigen::Vector2f centre = ProjectToClient(Cloud().positions[0]);
    EXPECT_TRUE(ColorNear(PaintAndRead(static_cast<int>(centre.x()), static_cast<int>(centre.y())),
                          {255, 255, 255, 255}));
    EXPECT_TRUE(ColorNear(PaintAndRead(5, kHeight - 5), background));
    // The gizmo fills part of the 120 x 120 square 10 pixels from the top-right corner.
    view->OnKeyDown(ViewKey::G);
    view->OnDraw();
    const int withoutGizmo = PixelsUnlike(background);
    view->OnKeyDown(ViewKey::G);
    view->OnDraw();
    EXPECT_GT(PixelsUnlike(background), withoutGizmo + 100);
}

TEST_F(ViewDocumentTest, AFailedOpenLeavesOnlyBackgroundAndGizmoAndKeepsThePaneTexts)
{
    ShowPoints(kThreePoints);
    view->OnKeyDown(ViewKey::G);  // gizmo off: only the scene differs from the background
    view->OnDraw();
    EXPECT_GT(PixelsUnlike(kBlack), 0);

    const ScratchDir scratch;
    const std::filesystem::path broken = scratch.Write("broken.las", std::string("not a LAS file"));
    EXPECT_FALSE(document.Open(broken.string()));
    EXPECT_EQ(document.Kind(), SceneKind::None);
    view->OnDraw();
    EXPECT_EQ(PixelsUnlike(kBlack), 0);

    view->OnKeyDown(ViewKey::G);
    view->OnDraw();
    EXPECT_GT(PixelsUnlike(kBlack), 100);  // the gizmo still draws
    // The document told nobody: the renderer keeps its buffers and the panes their texts.
    EXPECT_EQ(Points()->VertexCount(), 3u);
    EXPECT_EQ(Pane(StatusPane::Count), "Points: 3");
}

// As after File > New, which empties the document without a new scene.
TEST_F(ViewDocumentTest, TheInitialUpdateNeitherUploadsNorMovesTheCamera)
{
    ShowPoints(kThreePoints);
    EditCamera([&](ViewCamera& edited) { edited.target = Vector3f(5.0f, 5.0f, 5.0f); });
    document.Clear();
    const std::size_t invalidations = desktop.invalidations;
    view->OnInitialUpdate();
    EXPECT_EQ(view->Camera().target, Vector3f(5.0f, 5.0f, 5.0f));
    EXPECT_EQ(Points()->VertexCount(), 3u);
    EXPECT_EQ(desktop.invalidations, invalidations + 1);
}

TEST_F(ViewDocumentTest, StatusTextsOfRealFilesUsePlainDecimals)
{
    ORRISK_REQUIRE_TESTDATA();
    ASSERT_TRUE(document.Open(TestDataFile("las/autzen_trim.las").string()));
    EXPECT_EQ(Pane(StatusPane::Count), "Points: 110000");
    ASSERT_TRUE(document.Open(TestDataFile("splat/donut_fused.ply").string()));
    EXPECT_EQ(Pane(StatusPane::Count), "Splats: 45624");
    EXPECT_TRUE(view->ShowsSplats());
    ASSERT_TRUE(document.Open(TestDataFile("ply/donut_color.ply").string()));
    EXPECT_EQ(Pane(StatusPane::Count), "Points: 45624");
    EXPECT_FALSE(view->ShowsSplats());
    EXPECT_EQ(Pane(StatusPane::Mode), "Mode: Orbit | Persp");
    view->OnDraw();
    EXPECT_GT(PixelsUnlike(kBlack), 1000);
}

TEST_F(ViewDocumentTest, WithoutAStatusBarTheViewGoesOn)
{
    desktop.hasStatusBar = false;
    const std::size_t texts = desktop.paneHistory.size();
    ShowPoints(kThreePoints);
    view->OnKeyDown(ViewKey::Tab);
    EXPECT_EQ(desktop.paneHistory.size(), texts);
    EXPECT_EQ(view->Camera().navMode, Fly);
    EXPECT_TRUE(view->SceneDrawable());
}

TEST_F(ViewDocumentTest, WakeUpsRepaintOnlyWhenNoDragIsInProgress)
{
    const std::size_t before = desktop.invalidations;
    view->OnWake();
    EXPECT_EQ(desktop.invalidations, before + 1);
    view->OnButtonDown(MouseButton::Left, 10, 10, {});
    view->OnWake();
    EXPECT_EQ(desktop.invalidations, before + 1);
}

// A splat scene's background sort wakes the view through the desktop.
TEST_F(ViewDocumentTest, TheSortThreadsWakeUpReachesTheView)
{
    std::vector<Vector3f> positions;
    for (int i = 0; i < 50; ++i)
        positions.emplace_back(static_cast<float>(i % 5), static_cast<float>(i / 5) * 0.3f, static_cast<float>(i) * 0.1f);
    ShowSplats(RoundSplats(positions, 0.1f));
    EditCamera([](ViewCamera& edited) { edited.Orbit(0.5f, 0.0f); });  // far enough to need a new order
    view->OnDraw();
    view->RequestSplatResort();         // joins the sort thread the draw started
    const std::size_t before = desktop.invalidations;
    EXPECT_EQ(desktop.DeliverPostedWakes([&] { view->OnWake(); }), 1u);
    EXPECT_EQ(desktop.invalidations, before + 1);
}

TEST_F(ViewDocumentTest, ResizesToAnEmptyAreaChangeNothing)
{
    const std::size_t before = desktop.invalidations;
    view->OnSize(0, 100);
    view->OnSize(100, 0);
    view->OnSize(-5, -5);
    EXPECT_EQ(view->Controller().viewportHeight, kHeight);
    EXPECT_EQ(desktop.invalidations, before);

    view->OnSize(kWidth, kHeight - 10);
    EXPECT_EQ(view->Controller().viewportHeight, kHeight - 10);
    EXPECT_EQ(desktop.invalidations, before + 1);
}

TEST_F(ViewDocumentTest, AnEmptyClientAreaDrawsOnlyTheBackground)
{
    ShowPoints(kThreePoints);
    desktop.clientSize = {0, kHeight};
    view->OnDraw();
    EXPECT_EQ(PixelsUnlike(kBlack), 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// What the settings dialog's OK hands the view (the dialog itself is the application's).
TEST_F(ViewDocumentTest, ConfirmedSettingsReachEveryPartOfTheViewAtOnce)
{
    GaussianData withIds = RoundSplats({{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}}, 0.2f);
    withIds.objectIds = {1, 2};
    withIds.hasObjectIds = true;
    ShowSplats(withIds);
    view->OnKeyDown(ViewKey::RightBracket);  // live blend 0.6, the view's stays 0.5

    // The dialog starts from the live blend.
    AppSettings settings = view->DisplaySettings();
    EXPECT_FLOAT_EQ(settings.segBlend, 0.6f);

    settings.pointSize = 7.5f;
    settings.roundPoints = false;
    settings.background = Vector3f(1.0f, 0.0f, 0.0f);
    settings.showAxisGizmo = false;
    settings.projection = Orthographic;
    settings.navMode = Fly;
    settings.segSeed = 12;
    settings.segBlend = 1.5f;
    const float distance = view->Camera().distance;
    const float halfHeight = view->Camera().orthoHalfHeight;
    view->ApplyDisplaySettings(settings);
    EXPECT_FLOAT_EQ(view->CurrentPointStyle().size, 7.5f);
    EXPECT_FALSE(view->CurrentPointStyle().isRound);
    EXPECT_EQ(view->DisplaySettings().background, Vector3f(1.0f, 0.0f, 0.0f));
    EXPECT_FALSE(view->DisplaySettings().showAxisGizmo);
    EXPECT_EQ(view->Camera().projection, Orthographic);
    EXPECT_EQ(view->Camera().navMode, Fly);
    // No conversion as the projection toggle makes.
    EXPECT_EQ(view->Camera().distance, distance);
    EXPECT_EQ(view->Camera().orthoHalfHeight, halfHeight);
    EXPECT_EQ(Splats()->segSeed, 12u);
    EXPECT_FLOAT_EQ(Splats()->segBlend, 1.0f);
    EXPECT_EQ(view->SegmentSeedSetting(), 12u);
    EXPECT_FLOAT_EQ(view->SegmentBlendSetting(), 1.5f);
    EXPECT_EQ(Pane(StatusPane::Mode), "Mode: Fly | Ortho");
    EXPECT_EQ(desktop.calls.back(), "InvalidateView");
}

TEST_F(ViewDocumentTest, ConfirmedPointStyleReachesThePointRenderer)
{
    ShowPoints(kThreePoints);
    AppSettings settings = view->DisplaySettings();
    settings.pointSize = 9.0f;
    settings.roundPoints = false;
    view->ApplyDisplaySettings(settings);
    EXPECT_FLOAT_EQ(Points()->PointSize(), 9.0f);
    EXPECT_FALSE(Points()->RoundPoints());
}

// Settings read from a file reach every part of the view, and what goes back to the file
// carries the splat renderer's live blend.
TEST(ViewSettingsFileTest, FileSettingsReachTheViewAndTheLiveBlendGoesBack)
{
    const ScratchDir scratch;
    const std::filesystem::path ini = scratch.Write(
        "orrisk.ini", std::string("[Display]\nPointSize=5.0\nRoundPoints=0\nBackGroundR=255\nBackGroundG=0\n"
                                  "BackGroundB=0\nShowAxisGizmo=0\n[View]\nProjMode=1\nNavMode=1\n"
                                  "segBlend=30\nSegSeed=9\n"));
    testsupport::RecordingDesktop desktop;
    desktop.clientSize = {64, 64};
    Document document(desktop);
    {
        SceneView view(desktop, [] { return std::make_unique<HeadlessEglBackend>(64, 64); });
        view.SetDocument(&document);
        AppSettings loaded = view.DisplaySettings();
        LoadSettingsFrom(ini, loaded);
        view.SetDisplaySettings(loaded);
        ScopedLogCapture capture;
        if (!view.Create())
            GTEST_SKIP() << "no headless OpenGL 4.5 core context on this machine: " << capture.Text();
        EXPECT_FLOAT_EQ(view.CurrentPointStyle().size, 5.0f);
        EXPECT_FALSE(view.CurrentPointStyle().isRound);
        EXPECT_EQ(view.DisplaySettings().background, Vector3f(1.0f, 0.0f, 0.0f));
        EXPECT_FALSE(view.DisplaySettings().showAxisGizmo);
        EXPECT_EQ(view.Camera().projection, Orthographic);
        EXPECT_FLOAT_EQ(view.Camera().orthoHalfHeight, 5.0f);  // the camera's own starting value
        EXPECT_EQ(view.Camera().navMode, Fly);
        EXPECT_FLOAT_EQ(view.SegmentBlendSetting(), 0.3f);
        EXPECT_EQ(view.SegmentSeedSetting(), 9u);
        view.OnInitialUpdate();
        EXPECT_EQ(desktop.paneTexts[StatusPane::Mode], "Mode: Fly | Ortho");

        GaussianData withIds = RoundSplats({{0.0f, 0.0f, 0.0f}}, 0.2f);
        withIds.objectIds = {3};
        withIds.hasObjectIds = true;
        withIds.ComputeBounds();
        document.SetScene(withIds);
        view.OnKeyDown(ViewKey::RightBracket);
        view.OnKeyDown(ViewKey::RightBracket);
        ASSERT_TRUE(SaveSettingsTo(ini, view.DisplaySettings()));
        view.OnDestroy();
    }
    AppSettings saved;
    LoadSettingsFrom(ini, saved);
    EXPECT_FLOAT_EQ(saved.segBlend, 0.5f);
    EXPECT_EQ(saved.segSeed, 9u);
    EXPECT_FLOAT_EQ(saved.pointSize, 5.0f);
    EXPECT_EQ(saved.projection, Orthographic);
    EXPECT_EQ(saved.navMode, Fly);
}

}  // namespace
