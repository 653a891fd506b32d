#include "tests/gl/GlTestFixture.h"
#include "tests/gl/PixelChecks.h"
#include "tests/gl/ShaderCompileFailure.h"

#include "render/AxisGizmo.h"
#include "render/AxisGizmoMeshes.h"
#include "view/ViewCamera.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <optional>
#include <vector>

using Eigen::Matrix4f;
using Eigen::Vector2f;
using Eigen::Vector3f;
using testsupport::ClearFramebuffer;

namespace {

enum class AxisColor { None, X, Y, Z };

// Which axis colour a pixel shows (full or the darker cap shade), by its dominant channel.
AxisColor Classify(const std::uint8_t* rgba)
{
    const int r = rgba[0];
    const int g = rgba[1];
    const int b = rgba[2];
    constexpr int margin = 60;
    if (r > g + margin && r > b + margin)
        return AxisColor::X;
    if (g > r + margin && g > b + margin)
        return AxisColor::Y;
    if (b > r + margin && b > g + margin)
        return AxisColor::Z;
    return AxisColor::None;
}

Matrix4f ViewFrom(const ViewPreset& preset)
{
    ViewCamera camera;
    camera.LookFromDirection(preset.direction, preset.up);
    return camera.ViewMatrix();
}

struct ColorSpread {
    int pixels = 0;
    Vector2f centroid = Vector2f::Zero();  // pixels from the gizmo's centre, y up
};

class AxisGizmoTest : public testsupport::HeadlessGlTest {
protected:
    Size InitialSize() const override { return {200, 160}; }

    void SetUp() override
    {
        HeadlessGlTest::SetUp();
        if (headless) {
            ASSERT_TRUE(gizmo.Create());
            ClearFramebuffer();
        }
    }
    void TearDown() override
    {
        if (headless) {
            EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
            gizmo.Release();
        }
        HeadlessGlTest::TearDown();
    }

    int Width() const { return InitialSize().width; }
    int Height() const { return InitialSize().height; }
    // The gizmo's centre in window pixels: 70 from the right edge and from the top.
    Vector2f Centre() const { return {static_cast<float>(Width() - 70), static_cast<float>(Height() - 70)}; }

    void Draw(const Matrix4f& view) { gizmo.Draw(view, Width(), Height()); }

    // Where the pixels of each axis colour lie; also checks that nothing was drawn outside the
    // gizmo's square.
    std::array<ColorSpread, 4> Spread()
    {
        const std::vector<std::uint8_t> image = headless->ReadColorImage();
        std::array<ColorSpread, 4> spread{};
        const int left = Width() - 130;
        const int bottom = Height() - 130;
        for (int y = 0; y < Height(); ++y) {
            for (int x = 0; x < Width(); ++x) {
                const std::uint8_t* pixel = &image[(static_cast<std::size_t>(y) * Width() + x) * 4];
                const bool inside = x >= left && x < left + 120 && y >= bottom && y < bottom + 120;
                const bool drawn = (pixel[0] | pixel[1] | pixel[2]) != 0;
                EXPECT_TRUE(inside || !drawn) << "drawn outside the gizmo at " << x << ", " << y;
                ColorSpread& s = spread[static_cast<std::size_t>(Classify(pixel))];
                s.pixels += 1;
                s.centroid += Vector2f(x + 0.5f, y + 0.5f);
            }
        }
        for (ColorSpread& s : spread)
            if (s.pixels > 0)
                s.centroid = s.centroid / static_cast<float>(s.pixels) - Centre();
        return spread;
    }

    AxisColor ColorAt(const Vector2f& window)
    {
        const std::optional<testsupport::Rgba8> pixel =
            headless->ReadColor(static_cast<int>(std::floor(window.x())), static_cast<int>(std::floor(window.y())));
        return pixel ? Classify(pixel->data()) : AxisColor::None;
    }

    // Window position of a point of the gizmo's model space.
    Vector2f Project(const Matrix4f& view, const Vector3f& point) const
    {
        const Eigen::Vector4f clip = GizmoTransform(view) * point.homogeneous();
        return Centre() + clip.head<2>() / clip.w() * 60.0f;
    }

    AxisGizmo gizmo;
};

const ColorSpread& Of(const std::array<ColorSpread, 4>& spread, AxisColor color)
{
    return spread[static_cast<std::size_t>(color)];
}

TEST_F(AxisGizmoTest, CreateBuildsBothProgramsAndTheThreeMeshes)
{
    EXPECT_EQ(gizmo.LineVertexCount(), 6u);
    EXPECT_EQ(gizmo.ConeVertexCount(), 288u);
    EXPECT_EQ(gizmo.LabelVertexCount(), 16u);
    EXPECT_NE(gizmo.LineProgram(), 0u);
    EXPECT_NE(gizmo.LabelProgram(), 0u);
    EXPECT_NE(gizmo.LineProgram(), gizmo.LabelProgram());
}

TEST_F(AxisGizmoTest, HomeViewShowsXRightYUpAndZTowardsTheViewerSlightlyDown)
{
    Draw(ViewFrom(HomeViewPreset()));
    const auto spread = Spread();
    const ColorSpread& x = Of(spread, AxisColor::X);
    const ColorSpread& y = Of(spread, AxisColor::Y);
    const ColorSpread& z = Of(spread, AxisColor::Z);
    ASSERT_GT(x.pixels, 50);
    ASSERT_GT(y.pixels, 50);
    ASSERT_GT(z.pixels, 50);

    EXPECT_GT(x.centroid.x(), 15.0f);
    EXPECT_LT(std::abs(x.centroid.y()), 4.0f);
    EXPECT_GT(y.centroid.y(), 15.0f);
    EXPECT_LT(std::abs(y.centroid.x()), 4.0f);
    EXPECT_LT(z.centroid.y(), -3.0f);
    EXPECT_LT(std::abs(z.centroid.x()), 4.0f);
    EXPECT_LT(z.centroid.norm(), y.centroid.norm() / 2.0f);

    // The arrow heads carry the axis colours exactly.
    const Vector2f xHead = Project(ViewFrom(HomeViewPreset()), Vector3f(0.9f, 0.0f, 0.0f));
    EXPECT_TRUE(testsupport::ColorNear(headless->ReadColor(int(xHead.x()), int(xHead.y())),
                                       testsupport::ToRgba8(GizmoAxisColor(0).homogeneous()), 3));
}

TEST_F(AxisGizmoTest, XForwardViewShowsXAtTheViewerAndZUp)
{
    Draw(ViewFrom(*AxisViewPreset(0, false)));
    const auto spread = Spread();
    const ColorSpread& x = Of(spread, AxisColor::X);
    const ColorSpread& y = Of(spread, AxisColor::Y);
    const ColorSpread& z = Of(spread, AxisColor::Z);
    ASSERT_GT(x.pixels, 20);
    EXPECT_LT(x.centroid.norm(), 4.0f);
    EXPECT_GT(z.centroid.y(), 15.0f);
    EXPECT_LT(std::abs(z.centroid.x()), 4.0f);
    // Looking along -X with Z up puts +Y to the right.
    EXPECT_GT(y.centroid.x(), 15.0f);
    EXPECT_LT(std::abs(y.centroid.y()), 4.0f);
    // The X cone points at the viewer and hides the ends of the other axes' lines behind it.
    EXPECT_EQ(ColorAt(Centre() + Vector2f(1.0f, 1.0f)), AxisColor::X);
}

TEST_F(AxisGizmoTest, LettersStayUprightWhateverTheRoll)
{
    ViewCamera rolled;
    rolled.SetLookAt(Vector3f(0.0f, 0.0f, 10.0f), Vector3f::Zero(), Vector3f(-1.0f, 0.0f, 0.0f));
    for (const Matrix4f& view : {ViewFrom(HomeViewPreset()), rolled.ViewMatrix()}) {
        ClearFramebuffer();
        Draw(view);
        // The Y's stem hangs below its junction; between its arms above is background.
        const Vector2f junction = Project(view, Vector3f(0.0f, 1.3f, 0.0f));
        const auto anyY = [&](float dy) {
            for (float dx : {-1.0f, 0.0f, 1.0f})
                if (ColorAt(junction + Vector2f(dx, dy)) == AxisColor::Y)
                    return true;
            return false;
        };
        EXPECT_TRUE(anyY(-3.0f)) << "no stem below " << junction.transpose();
        EXPECT_FALSE(anyY(3.0f)) << "stroke between the arms above " << junction.transpose();
    }
    // Rolled by a quarter turn, the world's Y points to the right.
    EXPECT_GT(Project(rolled.ViewMatrix(), Vector3f::UnitY()).x(), Centre().x() + 30.0f);
}

TEST_F(AxisGizmoTest, LettersAreNeverHiddenByTheCones)
{
    // Seen from behind, the X cone's darker base covers the letter X, which lies farther away.
    Draw(ViewFrom(*AxisViewPreset(0, true)));
    const testsupport::Rgba8 letter = testsupport::ToRgba8(GizmoAxisColor(0).homogeneous());
    for (const Vector2f& offset : {Vector2f(2.5f, 2.5f), Vector2f(-2.5f, -2.5f), Vector2f(2.5f, -2.5f)}) {
        const Vector2f at = Centre() + offset;
        EXPECT_TRUE(testsupport::ColorNear(headless->ReadColor(int(at.x()), int(at.y())), letter, 3))
            << "offset " << offset.transpose();
    }
}

TEST_F(AxisGizmoTest, TheSceneDepthCannotHideTheGizmoAndStaysOutsideIt)
{
    // A scene nearer than the whole gizmo everywhere.
    ClearFramebuffer(0.01f);
    Draw(ViewFrom(HomeViewPreset()));
    EXPECT_GT(Of(Spread(), AxisColor::X).pixels, 50);
    // Depth is stored in 24 bits.
    EXPECT_NEAR(headless->ReadDepth(5, 5).value_or(-1.0f), 0.01f, 1e-6f);
    EXPECT_FLOAT_EQ(headless->ReadDepth(Width() - 11, Height() - 11).value_or(-1.0f), 1.0f);  // inside, blank
    EXPECT_NEAR(headless->ReadDepth(Width() - 5, Height() - 5).value_or(-1.0f), 0.01f, 1e-6f);  // the margin
}

// The GL state every later pass relies on.
struct StandingState {
    std::array<GLint, 4> viewport{};
    bool blend = false;
    bool depthTest = false;
    bool scissorTest = true;
    GLboolean depthWrites = GL_FALSE;
    float lineWidth = 0.0f;
    GLint program = -1;
    GLint vertexArray = -1;
    GLint blendSource = 0;

    static StandingState Query()
    {
        StandingState state;
        glGetIntegerv(GL_VIEWPORT, state.viewport.data());
        state.blend = glIsEnabled(GL_BLEND);
        state.depthTest = glIsEnabled(GL_DEPTH_TEST);
        state.scissorTest = glIsEnabled(GL_SCISSOR_TEST);
        glGetBooleanv(GL_DEPTH_WRITEMASK, &state.depthWrites);
        glGetFloatv(GL_LINE_WIDTH, &state.lineWidth);
        glGetIntegerv(GL_CURRENT_PROGRAM, &state.program);
        glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &state.vertexArray);
        glGetIntegerv(GL_BLEND_SRC_RGB, &state.blendSource);
        return state;
    }
};

void ExpectStandingState(const std::array<GLint, 4>& viewport, bool blend)
{
    const StandingState state = StandingState::Query();
    EXPECT_EQ(state.viewport, viewport);
    EXPECT_EQ(state.blend, blend);
    EXPECT_TRUE(state.depthTest);
    EXPECT_FALSE(state.scissorTest);
    EXPECT_EQ(state.depthWrites, GL_TRUE);
    EXPECT_FLOAT_EQ(state.lineWidth, 1.0f);
    EXPECT_EQ(state.program, 0);
    EXPECT_EQ(state.vertexArray, 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(AxisGizmoTest, DrawRestoresViewportAndLeavesTheStandingState)
{
    const std::array<GLint, 4> viewport = {3, 4, 150, 100};
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    Draw(ViewFrom(HomeViewPreset()));
    ExpectStandingState(viewport, false);
}

TEST_F(AxisGizmoTest, BlendingIsOffWhileDrawingAndOnAgainAfterwards)
{
    // With this blend function a blended draw would leave the framebuffer unchanged.
    glBlendFunc(GL_ZERO, GL_ONE);
    glEnable(GL_BLEND);
    Draw(ViewFrom(HomeViewPreset()));
    EXPECT_GT(Of(Spread(), AxisColor::X).pixels, 50);
    ExpectStandingState({0, 0, Width(), Height()}, true);
    EXPECT_EQ(StandingState::Query().blendSource, GL_ZERO);
    glDisable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ZERO);
}

TEST_F(AxisGizmoTest, NothingIsDrawnWithoutGeometryOrArea)
{
    const std::array<GLint, 4> full = {0, 0, Width(), Height()};
    gizmo.Draw(ViewFrom(HomeViewPreset()), 0, Height());
    gizmo.Draw(ViewFrom(HomeViewPreset()), Width(), -5);
    EXPECT_EQ(Of(Spread(), AxisColor::None).pixels, Width() * Height());

    gizmo.Release();
    EXPECT_FALSE(gizmo.HoldsGpuObjects());
    EXPECT_EQ(gizmo.LineVertexCount(), 0u);
    EXPECT_EQ(gizmo.ConeVertexCount(), 0u);
    EXPECT_EQ(gizmo.LabelVertexCount(), 0u);
    gizmo.Release();
    Draw(ViewFrom(HomeViewPreset()));
    EXPECT_EQ(Of(Spread(), AxisColor::None).pixels, Width() * Height());
    EXPECT_EQ(StandingState::Query().viewport, full);

    // Created again after a release, it draws again.
    ASSERT_TRUE(gizmo.Create());
    Draw(ViewFrom(HomeViewPreset()));
    EXPECT_GT(Of(Spread(), AxisColor::X).pixels, 50);
}

TEST_F(AxisGizmoTest, ProgramsThatCannotBeBuiltAreLoggedAndNothingIsDrawn)
{
    gizmo.Release();
    ScopedLogCapture capture;
    {
        testsupport::ShaderCompileFailure failing(1);
        EXPECT_FALSE(gizmo.Create());
    }
    EXPECT_EQ(capture.Lines().back(), "[AxisGizmo] failed to create line shader.");
    EXPECT_FALSE(gizmo.HoldsGpuObjects());

    capture.Clear();
    {
        // The line program's two stages compile, the letters' vertex stage does not.
        testsupport::ShaderCompileFailure failing(3);
        EXPECT_FALSE(gizmo.Create());
    }
    EXPECT_EQ(capture.Lines().back(), "[AxisGizmo] failed to create text shader.");
    EXPECT_NE(gizmo.LineProgram(), 0u);
    EXPECT_EQ(gizmo.LabelProgram(), 0u);
    EXPECT_EQ(gizmo.LineVertexCount(), 0u);
    Draw(ViewFrom(HomeViewPreset()));
    EXPECT_EQ(Of(Spread(), AxisColor::None).pixels, Width() * Height());

    // Only the missing program is built on the next try.
    const GLuint lineProgram = gizmo.LineProgram();
    ASSERT_TRUE(gizmo.Create());
    EXPECT_EQ(gizmo.LineProgram(), lineProgram);
    EXPECT_NE(gizmo.LabelProgram(), 0u);
}

TEST_F(AxisGizmoTest, DestructorDeletesWhatIsStillHeld)
{
    GLuint program = 0;
    {
        AxisGizmo scoped;
        ASSERT_TRUE(scoped.Create());
        program = scoped.LineProgram();
    }
    EXPECT_FALSE(glIsProgram(program));
}

// A window smaller than the gizmo's corner square puts part of it outside.
class SmallWindowAxisGizmoTest : public AxisGizmoTest {
protected:
    Size InitialSize() const override { return {100, 80}; }
};

TEST_F(SmallWindowAxisGizmoTest, DrawsThePartInsideAndRestoresTheState)
{
    Draw(ViewFrom(HomeViewPreset()));
    const auto spread = Spread();
    EXPECT_GT(Of(spread, AxisColor::X).pixels, 50);
    EXPECT_GT(Of(spread, AxisColor::X).centroid.x(), 15.0f);
    ExpectStandingState({0, 0, Width(), Height()}, false);
}

}  // namespace
