// The view on a machine without OpenGL 4.5: creation fails with the driver message, nothing
// is saved over the user's settings, and every handler stays harmless.

#include "document/Document.h"
#include "support/RecordingDesktop.h"
#include "support/TestData.h"
#include "view/SceneView.h"
#include "view/InputEvents.h"

#include <gtest/gtest.h>

#include <string>

using testsupport::RecordingDesktop;

namespace {

const std::string kNoOpenGl = "Failed to initialize OpenGL 4.5.\nPlease check your graphics driver.";

// A back end that cannot make a context, as on a machine without a suitable driver.
class NoContextBackend final : public IGlContextBackend {
public:
    bool CreateContext() override { return false; }
    bool MakeCurrent() override { return false; }
    void SwapBuffers() override {}
    ClientSize DrawableSize() const override { return {}; }
    GLuint WindowFramebuffer() const override { return 0; }
    void Release() override {}
};

struct ViewWithoutGl : ::testing::Test {
    RecordingDesktop desktop;
    Document document{desktop};
};

TEST_F(ViewWithoutGl, CreationFailsWithTheDriverMessage)
{
    {
        SceneView view(desktop, [] { return std::make_unique<NoContextBackend>(); });
        EXPECT_FALSE(view.Create());
        EXPECT_EQ(desktop.messageBoxes, std::vector<std::string>{kNoOpenGl});
        EXPECT_EQ(view.Context().Renderer(), nullptr);
        view.OnDestroy();
    }
    // No back end at all: the same.
    SceneView view(desktop, {});
    EXPECT_FALSE(view.Create());
    EXPECT_EQ(view.Context().Renderer(), nullptr);
    view.OnDestroy();
}

TEST_F(ViewWithoutGl, HandlersStayHarmlessAndTheCameraStillAnswers)
{
    SceneView view(desktop, [] { return std::make_unique<NoContextBackend>(); });
    view.SetDocument(&document);
    ASSERT_FALSE(view.Create());
    view.OnSize(100, 100);
    view.OnDraw();
    view.OnInitialUpdate();
    EXPECT_EQ(desktop.paneTexts[StatusPane::Mode], "Mode: Orbit | Persp");

    PointCloudData cloud;
    cloud.positions = {{0.0f, 0.0f, 0.0f}, {4.0f, 0.0f, 0.0f}};
    cloud.ComputeBounds();
    CameraPoseSet poses;
    poses.frames.resize(5);
    document.SetCameraPoses(poses);
    view.ApplyCameraFrame(3);
    ASSERT_EQ(view.Frames().Index(), 3);
    document.SetScene(std::move(cloud));
    // No context: nothing is uploaded and the camera is not moved, but the view forgets its
    // frame and writes its panes.
    EXPECT_FALSE(view.SceneDrawable());
    EXPECT_EQ(view.Frames().Index(), -1);
    EXPECT_EQ(desktop.paneTexts[StatusPane::Count], "Points: 2");

    Eigen::Vector3f picked;
    EXPECT_FALSE(view.PickPoint(50, 50, picked));
    view.OnLButtonDblClk(50, 50);
    view.RequestSplatResort();
    view.OnKeyDown(ViewKey::R);  // the scene's bounds come from the document
    EXPECT_TRUE(view.Camera().target.isApprox(Eigen::Vector3f(2.0f, 0.0f, 0.0f)));
    view.OnKeyDown(ViewKey::Tab);
    EXPECT_EQ(desktop.paneTexts[StatusPane::Mode], "Mode: Fly | Persp");
    view.OnDestroy();
}

TEST_F(ViewWithoutGl, DocumentRegistrationFollowsTheView)
{
    Document other(desktop);
    {
        SceneView view(desktop, {});
        view.SetDocument(&document);
        view.SetDocument(&other);
        EXPECT_EQ(view.GetDocument(), &other);
        document.SetScene(PointCloudData{});  // no longer told
        EXPECT_EQ(desktop.paneHistory.size(), 0u);
        other.SetScene(PointCloudData{});
        EXPECT_EQ(desktop.paneHistory.size(), 3u);
    }
    // The destroyed view left the document.
    other.SetScene(PointCloudData{});
    EXPECT_EQ(desktop.paneHistory.size(), 3u);
}

}  // namespace
