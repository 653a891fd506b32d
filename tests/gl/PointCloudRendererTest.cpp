#include "tests/gl/GlTestFixture.h"
#include "tests/gl/PixelChecks.h"
#include "tests/gl/ShaderCompileFailure.h"

#include "scene/PointCloudData.h"
#include "render/PointCloudRenderer.h"
#include "view/ViewCamera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using Eigen::Matrix4f;
using Eigen::Vector3f;
using Eigen::Vector4f;
using testsupport::ClearFramebuffer;
using testsupport::ColorNear;
using testsupport::Rgba8;
using testsupport::ToRgba8;

namespace {

constexpr int kSize = 64;
const Rgba8 kBackground = {0, 0, 0, 255};
const Rgba8 kWhite = {255, 255, 255, 255};

struct Pixel {
    int x;
    int y;
};

// Position, under identity matrices, of the centre of a pixel of the 64 x 64 framebuffer.
Vector3f AtPixel(Pixel pixel, float z = 0.0f)
{
    const auto ndc = [](int p) { return (static_cast<float>(p) + 0.5f) / (kSize / 2.0f) - 1.0f; };
    return {ndc(pixel.x), ndc(pixel.y), z};
}

PointCloudData Cloud(std::vector<Vector3f> positions, std::vector<Vector4f> colors = {})
{
    PointCloudData cloud;
    cloud.hasColors = !colors.empty();
    cloud.positions.assign(positions.begin(), positions.end());
    cloud.colors.assign(colors.begin(), colors.end());
    cloud.ComputeBounds();
    return cloud;
}

class PointCloudRendererTest : public testsupport::HeadlessGlTest {
protected:
    Size InitialSize() const override { return {kSize, kSize}; }

    void TearDown() override
    {
        if (headless) {
            EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
            renderer.ReleaseGpuResources();
        }
        HeadlessGlTest::TearDown();
    }

    // Clears, then draws the uploaded cloud with identity matrices.
    void DrawFlat()
    {
        ClearFramebuffer();
        renderer.Draw(Matrix4f::Identity(), Matrix4f::Identity());
    }

    std::optional<Rgba8> At(Pixel pixel) { return headless->ReadColor(pixel.x, pixel.y); }

    int LitPixelCount()
    {
        const std::vector<std::uint8_t> image = headless->ReadColorImage();
        int lit = 0;
        for (std::size_t i = 0; i < image.size(); i += 4)
            lit += (image[i] | image[i + 1] | image[i + 2]) != 0 ? 1 : 0;
        return lit;
    }

    PointCloudRenderer renderer;
};

TEST_F(PointCloudRendererTest, ColouredPointsAppearAtTheirProjectedPixelsWithTheirColours)
{
    const std::vector<Vector3f> positions = {{0.0f, 0.0f, 0.0f}, {1.5f, 0.5f, -1.0f}, {-1.0f, 1.2f, 0.8f}};
    const std::vector<Vector4f> colors = {{1.0f, 0.0f, 0.0f, 1.0f}, {0.0f, 0.8f, 0.2f, 1.0f}, {0.2f, 0.4f, 1.0f, 1.0f}};
    ASSERT_TRUE(renderer.UploadPoints(Cloud(positions, colors)));
    EXPECT_EQ(renderer.VertexCount(), 3u);
    EXPECT_NE(renderer.ColorBuffer(), 0u);
    renderer.SetPointStyle({3.0f, false});

    // An oblique perspective camera: a transposed or swapped matrix moves every point.
    ViewCamera camera;
    camera.SetLookAt(Vector3f(3.0f, 2.0f, 5.0f), Vector3f(0.2f, 0.1f, 0.0f), Vector3f(0.0f, 1.0f, 0.0f));
    const Matrix4f view = camera.ViewMatrix();
    const Matrix4f projection = camera.ProjectionMatrix(1.0f);
    ClearFramebuffer();
    renderer.Draw(view, projection);

    for (std::size_t i = 0; i < positions.size(); ++i) {
        const Vector4f clip = projection * view * positions[i].homogeneous();
        const Eigen::Vector2f window = (clip.head<2>() / clip.w() + Eigen::Vector2f::Ones()) * (kSize / 2.0f);
        const Pixel pixel{static_cast<int>(std::floor(window.x())), static_cast<int>(std::floor(window.y()))};
        EXPECT_TRUE(ColorNear(At(pixel), ToRgba8(colors[i]))) << "point " << i;
    }
    EXPECT_EQ(LitPixelCount(), 27);  // three 3 x 3 squares, nothing else
}

TEST_F(PointCloudRendererTest, RoundPointsLeaveTheCornersOfALargePointEmpty)
{
    ASSERT_TRUE(renderer.UploadPoints(Cloud({AtPixel({32, 32})})));
    const Pixel corners[] = {{26, 26}, {38, 26}, {26, 38}, {38, 38}};
    const Pixel insideDisc[] = {{32, 32}, {38, 32}, {32, 26}, {36, 36}};

    renderer.SetPointStyle({15.0f, false});
    DrawFlat();
    for (const Pixel pixel : corners)
        EXPECT_TRUE(ColorNear(At(pixel), kWhite)) << "square corner " << pixel.x << ", " << pixel.y;
    EXPECT_EQ(LitPixelCount(), 15 * 15);

    renderer.SetPointStyle({15.0f, true});
    DrawFlat();
    for (const Pixel pixel : corners)
        EXPECT_TRUE(ColorNear(At(pixel), kBackground)) << "round corner " << pixel.x << ", " << pixel.y;
    for (const Pixel pixel : insideDisc)
        EXPECT_TRUE(ColorNear(At(pixel), kWhite)) << "inside disc " << pixel.x << ", " << pixel.y;
    // A disc of diameter 15 covers about pi x 7.5^2 = 177 pixel centres.
    EXPECT_NEAR(LitPixelCount(), 177, 12);
}

TEST_F(PointCloudRendererTest, CloudWithoutUsableColoursDrawsWhite)
{
    const std::vector<Vector3f> positions = {AtPixel({10, 10}), AtPixel({50, 40})};
    const std::vector<Vector4f> red(2, Vector4f(1.0f, 0.0f, 0.0f, 1.0f));

    PointCloudData noColors = Cloud(positions);
    PointCloudData notFlagged = Cloud(positions, red);
    notFlagged.hasColors = false;
    PointCloudData tooFewColors = Cloud(positions, {red[0]});

    for (const PointCloudData* cloud : {&noColors, &notFlagged, &tooFewColors}) {
        ASSERT_TRUE(renderer.UploadPoints(*cloud));
        EXPECT_EQ(renderer.ColorBuffer(), 0u);
        DrawFlat();
        EXPECT_TRUE(ColorNear(At({10, 10}), kWhite));
        EXPECT_TRUE(ColorNear(At({50, 40}), kWhite));
    }
}

TEST_F(PointCloudRendererTest, WhiteSurvivesAnotherPassChangingTheConstantColour)
{
    ASSERT_TRUE(renderer.UploadPoints(Cloud({AtPixel({20, 20})})));
    DrawFlat();
    // The constant value of a disabled attribute is context state any other pass may set.
    glVertexAttrib4f(1, 1.0f, 0.0f, 0.0f, 0.5f);
    DrawFlat();
    EXPECT_TRUE(ColorNear(At({20, 20}), kWhite));
}

TEST_F(PointCloudRendererTest, PointStyleChangesTakeEffectWithoutANewUpload)
{
    ASSERT_TRUE(renderer.UploadPoints(Cloud({AtPixel({32, 32})})));
    const GLuint buffer = renderer.PositionBuffer();
    const GLuint vao = renderer.Vao();

    renderer.SetPointStyle({1.0f, false});
    DrawFlat();
    EXPECT_EQ(LitPixelCount(), 1);

    renderer.SetPointStyle({5.0f, false});
    DrawFlat();
    EXPECT_EQ(LitPixelCount(), 25);

    renderer.SetPointStyle({9.0f, false});
    DrawFlat();
    EXPECT_EQ(LitPixelCount(), 81);

    EXPECT_EQ(renderer.PositionBuffer(), buffer);
    EXPECT_EQ(renderer.Vao(), vao);
}

TEST_F(PointCloudRendererTest, SecondUploadReplacesTheBuffersAndKeepsTheProgram)
{
    ASSERT_TRUE(renderer.UploadPoints(Cloud({AtPixel({10, 10}), AtPixel({20, 20}), AtPixel({30, 30})},
                                            std::vector<Vector4f>(3, Vector4f(0.0f, 0.0f, 1.0f, 1.0f)))));
    const GLuint program = renderer.Program();
    ASSERT_NE(program, 0u);
    ASSERT_NE(renderer.ColorBuffer(), 0u);

    ASSERT_TRUE(renderer.UploadPoints(Cloud({AtPixel({50, 12})})));
    EXPECT_EQ(renderer.Program(), program);
    EXPECT_EQ(renderer.VertexCount(), 1u);
    EXPECT_EQ(renderer.ColorBuffer(), 0u);

    renderer.SetPointStyle({1.0f, false});
    DrawFlat();
    EXPECT_TRUE(ColorNear(At({50, 12}), kWhite));
    EXPECT_EQ(LitPixelCount(), 1);  // nothing of the first cloud is left
}

TEST_F(PointCloudRendererTest, EmptyCloudUploadsAndDrawsNothing)
{
    ASSERT_TRUE(renderer.UploadPoints(Cloud({AtPixel({32, 32})})));
    ASSERT_TRUE(renderer.UploadPoints(PointCloudData{}));
    EXPECT_EQ(renderer.VertexCount(), 0u);
    EXPECT_EQ(renderer.Vao(), 0u);
    EXPECT_EQ(renderer.PositionBuffer(), 0u);
    EXPECT_NE(renderer.Program(), 0u);

    DrawFlat();
    EXPECT_EQ(LitPixelCount(), 0);
    const std::vector<float> depth = headless->ReadDepthImage();
    EXPECT_TRUE(std::all_of(depth.begin(), depth.end(), [](float d) { return d == 1.0f; }));
}

TEST_F(PointCloudRendererTest, DrawPickLeavesTheNearestDepthWithColoursMasked)
{
    ASSERT_TRUE(renderer.UploadPoints(Cloud({AtPixel({16, 16}, 0.5f), AtPixel({16, 16}, -0.5f)})));
    ClearFramebuffer();
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    renderer.DrawPick(Matrix4f::Identity(), Matrix4f::Identity());
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);

    EXPECT_EQ(LitPixelCount(), 0);
    // NDC z -0.5 is window depth 0.25.
    EXPECT_NEAR(headless->ReadDepth(16, 16).value_or(-1.0f), 0.25f, 1e-4f);
    EXPECT_EQ(headless->ReadDepth(40, 40).value_or(-1.0f), 1.0f);
}

TEST_F(PointCloudRendererTest, ReleaseDeletesEverythingAndCanBeRepeated)
{
    ASSERT_TRUE(renderer.UploadPoints(Cloud({AtPixel({32, 32})}, {Vector4f(1.0f, 1.0f, 0.0f, 1.0f)})));
    const GLuint program = renderer.Program();
    const GLuint positions = renderer.PositionBuffer();
    const GLuint colors = renderer.ColorBuffer();
    const GLuint vao = renderer.Vao();

    renderer.ReleaseGpuResources();
    EXPECT_EQ(renderer.Program(), 0u);
    EXPECT_EQ(renderer.PositionBuffer(), 0u);
    EXPECT_EQ(renderer.ColorBuffer(), 0u);
    EXPECT_EQ(renderer.Vao(), 0u);
    EXPECT_EQ(renderer.VertexCount(), 0u);
    EXPECT_FALSE(glIsProgram(program));
    EXPECT_FALSE(glIsBuffer(positions));
    EXPECT_FALSE(glIsBuffer(colors));
    EXPECT_FALSE(glIsVertexArray(vao));
    renderer.ReleaseGpuResources();

    DrawFlat();
    EXPECT_EQ(LitPixelCount(), 0);

    // A released renderer builds its program again on the next upload.
    ASSERT_TRUE(renderer.UploadPoints(Cloud({AtPixel({32, 32})})));
    EXPECT_NE(renderer.Program(), 0u);
    DrawFlat();
    EXPECT_TRUE(ColorNear(At({32, 32}), kWhite));
}

TEST_F(PointCloudRendererTest, DestructorDeletesWhatIsStillHeld)
{
    GLuint program = 0;
    GLuint buffer = 0;
    {
        PointCloudRenderer scoped;
        ASSERT_TRUE(scoped.UploadPoints(Cloud({AtPixel({1, 1})})));
        program = scoped.Program();
        buffer = scoped.PositionBuffer();
    }
    EXPECT_FALSE(glIsProgram(program));
    EXPECT_FALSE(glIsBuffer(buffer));
}

TEST_F(PointCloudRendererTest, ProgramThatCannotBeBuiltIsLoggedAndNothingIsUploaded)
{
    ScopedLogCapture capture;
    {
        testsupport::ShaderCompileFailure failing(1);
        EXPECT_FALSE(renderer.UploadPoints(Cloud({AtPixel({32, 32})})));
    }
    const std::vector<std::string> lines = capture.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "[ShaderProgram] compile error:");
    EXPECT_EQ(lines.back(), "[PointCloudRenderer] failed to create shader program.");
    EXPECT_EQ(renderer.Program(), 0u);
    EXPECT_EQ(renderer.VertexCount(), 0u);
    DrawFlat();
    EXPECT_EQ(LitPixelCount(), 0);
}

}  // namespace
