#include "tests/gl/GlTestFixture.h"

#include "gl/FramebufferReadback.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

using testsupport::HeadlessGlTest;
using Rgba8 = HeadlessEglBackend::Rgba8;

// The window's buffers: complete, RGBA8 colour and a packed 24-bit depth + 8-bit stencil.
void ExpectWindowBuffers(GLuint framebuffer, int width, int height)
{
    const auto attachment = [framebuffer](GLenum point, GLenum name) {
        GLint value = 0;
        glGetNamedFramebufferAttachmentParameteriv(framebuffer, point, name, &value);
        return value;
    };
    const auto renderbuffer = [&attachment](GLenum point, GLenum name) {
        GLint value = 0;
        glGetNamedRenderbufferParameteriv(
            static_cast<GLuint>(attachment(point, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME)), name, &value);
        return value;
    };
    EXPECT_EQ(glCheckNamedFramebufferStatus(framebuffer, GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
    EXPECT_EQ(renderbuffer(GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER_INTERNAL_FORMAT), GL_RGBA8);
    EXPECT_EQ(renderbuffer(GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER_INTERNAL_FORMAT), GL_DEPTH24_STENCIL8);
    for (const GLenum channel : {GL_FRAMEBUFFER_ATTACHMENT_RED_SIZE, GL_FRAMEBUFFER_ATTACHMENT_GREEN_SIZE,
                                 GL_FRAMEBUFFER_ATTACHMENT_BLUE_SIZE, GL_FRAMEBUFFER_ATTACHMENT_ALPHA_SIZE})
        EXPECT_EQ(attachment(GL_COLOR_ATTACHMENT0, channel), 8);
    EXPECT_EQ(attachment(GL_DEPTH_ATTACHMENT, GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE), 24);
    EXPECT_EQ(attachment(GL_STENCIL_ATTACHMENT, GL_FRAMEBUFFER_ATTACHMENT_STENCIL_SIZE), 8);
    for (const GLenum point : {GL_COLOR_ATTACHMENT0, GL_DEPTH_STENCIL_ATTACHMENT}) {
        EXPECT_EQ(renderbuffer(point, GL_RENDERBUFFER_WIDTH), width);
        EXPECT_EQ(renderbuffer(point, GL_RENDERBUFFER_HEIGHT), height);
    }
}

GLint Binding(GLenum name)
{
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

void ClearTo(float r, float g, float b, float depth)
{
    glClearColor(r, g, b, 1.0f);
    glClearDepth(depth);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

class GlSurfaceTest : public HeadlessGlTest {};

TEST_F(GlSurfaceTest, ContextIsOpenGl45CoreWithDepthTestAndProgramPointSize)
{
    EXPECT_TRUE(surface.HasContext());
    EXPECT_TRUE(headless->IsCurrent());
    const GLint major = Binding(GL_MAJOR_VERSION);
    const GLint minor = Binding(GL_MINOR_VERSION);
    EXPECT_GE(major * 10 + minor, 45) << major << "." << minor;
    EXPECT_NE(Binding(GL_CONTEXT_PROFILE_MASK) & GL_CONTEXT_CORE_PROFILE_BIT, 0);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_PROGRAM_POINT_SIZE));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GlSurfaceTest, WindowFramebufferIsBoundRgba8WithDepth24Stencil8AndFullViewport)
{
    const GLuint framebuffer = surface.WindowFramebuffer();
    ASSERT_NE(framebuffer, 0u);
    EXPECT_EQ(surface.DrawableSize().width, 64);
    EXPECT_EQ(surface.DrawableSize().height, 48);
    ExpectWindowBuffers(framebuffer, 64, 48);

    // Making the context current (again) draws and reads the window's framebuffer.
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    ASSERT_TRUE(surface.MakeCurrent());
    EXPECT_EQ(Binding(GL_DRAW_FRAMEBUFFER_BINDING), static_cast<GLint>(framebuffer));
    EXPECT_EQ(Binding(GL_READ_FRAMEBUFFER_BINDING), static_cast<GLint>(framebuffer));

    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_THAT(viewport, testing::ElementsAre(0, 0, 64, 48));
}

TEST_F(GlSurfaceTest, ClearedColourAndDepthReadBack)
{
    ClearTo(0.2f, 0.4f, 0.6f, 1.0f);
    EXPECT_EQ(headless->ReadColor(0, 0), (Rgba8{51, 102, 153, 255}));
    EXPECT_EQ(headless->ReadColor(63, 47), (Rgba8{51, 102, 153, 255}));
    EXPECT_EQ(headless->ReadDepth(10, 20), 1.0f);

    const std::vector<float> depth = headless->ReadDepthImage();
    ASSERT_EQ(depth.size(), 64u * 48u);
    EXPECT_TRUE(std::all_of(depth.begin(), depth.end(), [](float d) { return d == 1.0f; }));
    EXPECT_EQ(headless->ReadColorImage().size(), 64u * 48u * 4u);

    ClearTo(0.0f, 0.0f, 0.0f, 0.25f);
    ASSERT_TRUE(headless->ReadDepth(5, 5).has_value());
    EXPECT_NEAR(*headless->ReadDepth(5, 5), 0.25f, 1e-6f);
    // Swapping a headless surface changes nothing.
    surface.SwapBuffers();
    EXPECT_EQ(headless->ReadColor(5, 5), (Rgba8{0, 0, 0, 255}));
}

TEST_F(GlSurfaceTest, ImagesComeBottomRowFirst)
{
    ClearTo(0.0f, 0.0f, 0.0f, 1.0f);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 64, 1);  // bottom row
    ClearTo(1.0f, 0.0f, 0.0f, 0.0f);
    glScissor(63, 47, 1, 1);  // top-right pixel
    ClearTo(0.0f, 1.0f, 0.0f, 1.0f);
    glDisable(GL_SCISSOR_TEST);

    const std::vector<std::uint8_t> color = headless->ReadColorImage();
    ASSERT_EQ(color.size(), 64u * 48u * 4u);
    EXPECT_THAT(std::vector<std::uint8_t>(color.begin(), color.begin() + 4), testing::ElementsAre(255, 0, 0, 255));
    EXPECT_THAT(std::vector<std::uint8_t>(color.begin() + 64 * 4, color.begin() + 65 * 4),
                testing::ElementsAre(0, 0, 0, 255));
    EXPECT_THAT(std::vector<std::uint8_t>(color.end() - 4, color.end()), testing::ElementsAre(0, 255, 0, 255));
    EXPECT_EQ(headless->ReadColor(5, 0), (Rgba8{255, 0, 0, 255}));
    EXPECT_EQ(headless->ReadColor(5, 1), (Rgba8{0, 0, 0, 255}));

    const std::vector<float> depth = headless->ReadDepthImage();
    ASSERT_EQ(depth.size(), 64u * 48u);
    EXPECT_EQ(depth[0], 0.0f);
    EXPECT_EQ(depth[64], 1.0f);

    // A rectangle partly outside: the part GL does not return keeps the cleared depth.
    const std::vector<float> corner = ReadFramebufferDepth(surface.WindowFramebuffer(), -1, -1, 2, 2);
    ASSERT_EQ(corner.size(), 4u);
    EXPECT_EQ(corner[3], 0.0f);
    EXPECT_EQ(corner[0], 1.0f);
}

TEST_F(GlSurfaceTest, ReadBackRefusesPixelsOutsideAndEmptyRectangles)
{
    EXPECT_FALSE(headless->ReadColor(-1, 0).has_value());
    EXPECT_FALSE(headless->ReadColor(64, 0).has_value());
    EXPECT_FALSE(headless->ReadColor(0, 48).has_value());
    EXPECT_FALSE(headless->ReadDepth(0, -1).has_value());
    EXPECT_TRUE(ReadFramebufferColor(surface.WindowFramebuffer(), 0, 0, 0, 5).empty());
    EXPECT_TRUE(ReadFramebufferDepth(surface.WindowFramebuffer(), 0, 0, 5, -2).empty());
    EXPECT_TRUE(ReadFramebufferDepth(surface.WindowFramebuffer(), 0, 0, 1 << 20, 1 << 20).empty());
    // The read framebuffer binding is put back.
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    ReadFramebufferColor(surface.WindowFramebuffer(), 0, 0, 2, 2);
    EXPECT_EQ(Binding(GL_READ_FRAMEBUFFER_BINDING), 0);
}

TEST_F(GlSurfaceTest, ResizeRecreatesAttachmentsAtTheNewSize)
{
    ASSERT_TRUE(headless->SetSize(100, 30));
    EXPECT_EQ(surface.DrawableSize().width, 100);
    EXPECT_EQ(surface.DrawableSize().height, 30);
    ExpectWindowBuffers(surface.WindowFramebuffer(), 100, 30);
    EXPECT_EQ(Binding(GL_DRAW_FRAMEBUFFER_BINDING), static_cast<GLint>(surface.WindowFramebuffer()));

    // As with a window, the viewport is the resize handler's business.
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_THAT(viewport, testing::ElementsAre(0, 0, 64, 48));

    ClearTo(0.2f, 0.4f, 0.6f, 1.0f);
    EXPECT_EQ(headless->ReadColor(99, 29), (Rgba8{51, 102, 153, 255}));
    EXPECT_FALSE(headless->ReadColor(99, 30).has_value());
    EXPECT_EQ(headless->ReadColorImage().size(), 100u * 30u * 4u);
    EXPECT_EQ(headless->ReadDepthImage().size(), 100u * 30u);

    ASSERT_TRUE(headless->SetSize(1, 1));
    ExpectWindowBuffers(surface.WindowFramebuffer(), 1, 1);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GlSurfaceTest, ResizeRefusesImpossibleSizesAndKeepsTheOldBuffers)
{
    ScopedLogCapture capture;
    EXPECT_FALSE(headless->SetSize(0, 10));
    EXPECT_FALSE(headless->SetSize(10, -1));
    EXPECT_FALSE(headless->SetSize(1 << 20, 10));
    const auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_THAT(lines[0], testing::StartsWith("[HeadlessEglBackend] framebuffer size 0 x 10 is outside 1 x 1 .. "));
    EXPECT_THAT(lines[2], testing::StartsWith("[HeadlessEglBackend] framebuffer size 1048576 x 10 is outside"));

    EXPECT_EQ(surface.DrawableSize().width, 64);
    EXPECT_EQ(surface.DrawableSize().height, 48);
    ExpectWindowBuffers(surface.WindowFramebuffer(), 64, 48);
    ClearTo(0.2f, 0.4f, 0.6f, 1.0f);
    EXPECT_EQ(headless->ReadColor(63, 47), (Rgba8{51, 102, 153, 255}));
}

TEST_F(GlSurfaceTest, ReleaseTwiceIsHarmlessAndLeavesNoContext)
{
    ScopedLogCapture capture;
    ReleaseGlSurface(surface);
    ReleaseGlSurface(surface);
    EXPECT_FALSE(surface.HasContext());
    EXPECT_EQ(surface.Backend(), nullptr);
    EXPECT_FALSE(surface.MakeCurrent());
    EXPECT_EQ(surface.WindowFramebuffer(), 0u);
    EXPECT_EQ(surface.DrawableSize().width, 0);
    surface.SwapBuffers();
    surface.BindWindowFramebuffer();
    EXPECT_EQ(eglGetCurrentContext(), EGL_NO_CONTEXT);
    EXPECT_EQ(capture.Text(), "");
}

TEST(GlSurfaceWithoutContext, ReleaseAndCreationWithoutBackendDoNothing)
{
    ScopedLogCapture capture;
    GlSurface surface;
    ReleaseGlSurface(surface);
    ReleaseGlSurface(surface);
    EXPECT_FALSE(CreateGlSurface(surface, nullptr));
    EXPECT_FALSE(surface.HasContext());
    EXPECT_FALSE(surface.MakeCurrent());
    EXPECT_EQ(capture.Text(), "");
}

// These make further surfaces beside the fixture's, which proves that the machine has GL.
class GlSurfaceCreationTest : public HeadlessGlTest {};

TEST_F(GlSurfaceCreationTest, ContextsOtherThan45CoreAreRefusedWithTheContextLine)
{
    // EGL itself refuses version 9.9; a compatibility-profile context is made and then refused
    // (as when a window system falls back to one), and kept until release.
    for (const GlContextRequest request : {GlContextRequest{9, 9, true}, GlContextRequest{3, 0, false}}) {
        SCOPED_TRACE(request.majorVersion);
        ScopedLogCapture capture;
        GlSurface other;
        EXPECT_FALSE(CreateGlSurface(other, std::make_unique<HeadlessEglBackend>(16, 16, request)));
        EXPECT_EQ(capture.Text(), "Failed to create OpenGL 4.5 Core context.\n");
        EXPECT_FALSE(other.HasContext());
        EXPECT_FALSE(other.MakeCurrent());
        EXPECT_EQ(other.WindowFramebuffer(), 0u);
        ReleaseGlSurface(other);
        EXPECT_EQ(other.Backend(), nullptr);
    }
    EXPECT_EQ(eglGetCurrentContext(), EGL_NO_CONTEXT);
}

TEST_F(GlSurfaceCreationTest, ImpossibleInitialSizeIsRefused)
{
    ScopedLogCapture capture;
    GlSurface other;
    EXPECT_EQ(CreateHeadlessGlSurface(other, 0, 16), nullptr);
    EXPECT_FALSE(other.HasContext());
    EXPECT_THAT(capture.Text(), testing::StartsWith("[HeadlessEglBackend] framebuffer size 0 x 16 is outside"));
}

TEST_F(GlSurfaceCreationTest, ReleasingOneSurfaceLeavesTheOthersWorking)
{
    {
        GlSurface other;
        HeadlessEglBackend* second = CreateHeadlessGlSurface(other, 8, 8);
        ASSERT_NE(second, nullptr);
        EXPECT_TRUE(second->IsCurrent());
        EXPECT_NE(other.WindowFramebuffer(), 0u);

        // Releasing a surface that is not current keeps the current one.
        ASSERT_TRUE(surface.MakeCurrent());
        ReleaseGlSurface(other);
        EXPECT_TRUE(headless->IsCurrent());
    }
    ClearTo(0.2f, 0.4f, 0.6f, 1.0f);
    EXPECT_EQ(headless->ReadColor(1, 1), (Rgba8{51, 102, 153, 255}));
    ExpectWindowBuffers(surface.WindowFramebuffer(), 64, 48);

    // The display outlives every surface: a new one can still be made after all are gone.
    ReleaseGlSurface(surface);
    GlSurface later;
    HeadlessEglBackend* third = CreateHeadlessGlSurface(later, 4, 4);
    ASSERT_NE(third, nullptr);
    ClearTo(1.0f, 1.0f, 1.0f, 1.0f);
    EXPECT_EQ(third->ReadColor(3, 3), (Rgba8{255, 255, 255, 255}));
}

}  // namespace
