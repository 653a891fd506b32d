#include "render/GaussianSplatRenderer.h"

#include "scene/GaussianData.h"
#include "render/SplatRecords.h"
#include "tests/gl/GlTestFixture.h"
#include "tests/gl/SplatTestScenes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using namespace testsupport;
using Rgba8 = HeadlessEglBackend::Rgba8;

constexpr int kWidth = 65;  // odd, so that the view's centre is a pixel centre
constexpr int kHeight = 49;
constexpr float kDistance = 5.0f;
const Eigen::Vector3f kEye(0.0f, 0.0f, kDistance);

class SplatRendererTest : public HeadlessGlTest {
protected:
    Size InitialSize() const override { return {kWidth, kHeight}; }

    static Eigen::Matrix4f View() { return LookAt(kEye, Eigen::Vector3f::Zero()); }
    static Eigen::Matrix4f Projection()
    {
        return PerspectiveProjection(60.0f * 3.14159265f / 180.0f, float(kWidth) / float(kHeight), 0.1f, 100.0f);
    }
    // Pixels per world unit at unit distance.
    static float Focal() { return Projection()(1, 1) * kHeight * 0.5f; }
    // Opacity left at the centre of a round splat after the half-pixel low-pass filter.
    static float CentreAlpha(float scale, float distance, float opacity = 1.0f)
    {
        const float variance = std::pow(scale * Focal() / distance, 2.0f);
        return opacity * std::max(variance / (variance + 0.5f), 0.65f);
    }

    void Clear(float r, float g, float b)
    {
        glClearColor(r, g, b, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    // Uploads, sorts for the view and draws once over the given background.
    void DrawScene(const GaussianData& data, const Eigen::Matrix4f& view, const Eigen::Matrix4f& projection,
                   const Eigen::Vector3f& background = Eigen::Vector3f::Zero())
    {
        ASSERT_TRUE(renderer.UploadSplats(data));
        renderer.SortNow(view);
        Clear(background.x(), background.y(), background.z());
        renderer.Draw(view, projection);
    }
    void DrawScene(const GaussianData& data, const Eigen::Vector3f& background = Eigen::Vector3f::Zero())
    {
        DrawScene(data, View(), Projection(), background);
    }
    Eigen::Vector3f Pixel(int x, int y)
    {
        const auto rgba = headless->ReadColor(x, y);
        EXPECT_TRUE(rgba.has_value());
        if (!rgba)
            return Eigen::Vector3f::Zero();
        return Eigen::Vector3f((*rgba)[0], (*rgba)[1], (*rgba)[2]) / 255.0f;
    }
    Eigen::Vector3f CentrePixel() { return Pixel(kWidth / 2, kHeight / 2); }
    bool ImageIsBackground(const Eigen::Vector3f& background)
    {
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                if ((Pixel(x, y) - background).cwiseAbs().maxCoeff() > 1.0f / 255.0f)
                    return false;
        return true;
    }

    void TearDown() override
    {
        if (headless)
            renderer.ReleaseGpuResources();
        HeadlessGlTest::TearDown();
    }

    GaussianSplatRenderer renderer;
};

MATCHER_P2(ColourNear, expected, tolerance, "")
{
    return (arg - expected).cwiseAbs().maxCoeff() <= tolerance;
}

constexpr float kPixelTolerance = 2.5f / 255.0f;

// --- What an upload keeps -------------------------------------------------------------

TEST_F(SplatRendererTest, EmptySceneUploadsNothingAndDrawsNothing)
{
    EXPECT_TRUE(renderer.UploadSplats(GaussianData{}));
    EXPECT_EQ(renderer.SplatCount(), 0u);
    const auto objects = renderer.Objects();
    EXPECT_EQ(objects.splatBuffer, 0u);
    EXPECT_EQ(objects.orderBuffer, 0u);
    EXPECT_EQ(objects.vao, 0u);
    EXPECT_NE(objects.splatProgram, 0u);
    Clear(0.2f, 0.4f, 0.6f);
    renderer.Draw(View(), Projection());
    renderer.DrawPick(View(), Projection());
    EXPECT_THAT(CentrePixel(), ColourNear(Eigen::Vector3f(0.2f, 0.4f, 0.6f), kPixelTolerance));
}

TEST_F(SplatRendererTest, InconsistentSceneIsRefusedWithItsLogLine)
{
    GaussianData data = RoundSplats({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}});
    data.objectIds = {1, 2, 3};
    data.hasObjectIds = true;
    ASSERT_TRUE(renderer.UploadSplats(data));
    data.opacities.pop_back();
    ScopedLogCapture capture;
    EXPECT_FALSE(renderer.UploadSplats(data));
    EXPECT_EQ(capture.Text(), "[GaussianSplatRenderer] GaussianData size mismatch.\n");
    // The earlier scene is gone: nothing is drawn, and its ids are forgotten.
    EXPECT_EQ(renderer.SplatCount(), 0u);
    EXPECT_EQ(renderer.Objects().splatBuffer, 0u);
    EXPECT_FALSE(renderer.hasObjectIds);
    EXPECT_FALSE(renderer.segEnabled);
}

TEST_F(SplatRendererTest, SplatBufferHoldsThePackedRecords)
{
    GaussianData data = RoundSplats({{1, 2, 3}, {4, 5, 6}});
    data.scales[1] = Eigen::Vector3f(2.0f, 1.0f, 0.5f);
    data.rotations[1] = Eigen::Vector4f(0.8f, 0.0f, 0.6f, 0.0f);
    ASSERT_TRUE(renderer.UploadSplats(data));
    std::vector<SplatRecord> stored(2);
    glGetNamedBufferSubData(renderer.Objects().splatBuffer, 0, 2 * sizeof(SplatRecord), stored.data());
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(stored[i].values,
                  PackSplatRecord(data.positions[i], data.opacities[i], data.shDc[i], data.scales[i], data.rotations[i])
                      .values);
    EXPECT_EQ(renderer.DrawOrder(), (std::vector<uint32_t>{0, 1}));
}

GLint64 BufferBytes(GLuint buffer)
{
    GLint64 bytes = 0;
    glGetNamedBufferParameteri64v(buffer, GL_BUFFER_SIZE, &bytes);
    return bytes;
}

TEST_F(SplatRendererTest, ShBufferOnlyForDegreeOneAndUp)
{
    GaussianData data = RoundSplats({{0, 0, 0}, {1, 0, 0}});
    data.shRestCount = 45;
    data.shDegree = 3;
    data.shRest.assign(90, 0.1f);
    ASSERT_TRUE(renderer.UploadSplats(data));
    EXPECT_EQ(renderer.ShDegree(), 3);
    EXPECT_EQ(renderer.ShRestCount(), 45);
    ASSERT_NE(renderer.Objects().shBuffer, 0u);
    EXPECT_EQ(BufferBytes(renderer.Objects().shBuffer), GLint64(90 * sizeof(float)));

    data.shRestCount = 12;  // degree 0
    data.shDegree = 0;
    data.shRest.assign(24, 0.1f);
    ASSERT_TRUE(renderer.UploadSplats(data));
    EXPECT_EQ(renderer.Objects().shBuffer, 0u);
    EXPECT_EQ(renderer.ShDegree(), 0);
    EXPECT_EQ(renderer.ShRestCount(), 0);

    // Coefficients that do not cover every splat are not used either.
    data.shRestCount = 45;
    data.shDegree = 3;
    data.shRest.assign(45, 0.1f);
    ASSERT_TRUE(renderer.UploadSplats(data));
    EXPECT_EQ(renderer.Objects().shBuffer, 0u);
    EXPECT_EQ(renderer.ShDegree(), 0);
}

TEST_F(SplatRendererTest, SegmentIdsSwitchSegmentColouringOn)
{
    GaussianData data = RoundSplats({{0, 0, 0}, {1, 0, 0}});
    ASSERT_TRUE(renderer.UploadSplats(data));
    EXPECT_FALSE(renderer.hasObjectIds);
    EXPECT_FALSE(renderer.segEnabled);

    data.objectIds = {3, 0};
    data.hasObjectIds = true;
    ASSERT_TRUE(renderer.UploadSplats(data));
    EXPECT_TRUE(renderer.hasObjectIds);
    EXPECT_TRUE(renderer.segEnabled);
    EXPECT_NE(renderer.Objects().objIdBuffer, 0u);

    data.objectIds = {3};  // one id short
    ASSERT_TRUE(renderer.UploadSplats(data));
    EXPECT_FALSE(renderer.hasObjectIds);
    EXPECT_FALSE(renderer.segEnabled);
    EXPECT_EQ(renderer.Objects().objIdBuffer, 0u);
}

TEST_F(SplatRendererTest, BuffersBeyondTheShaderStorageLimitAreNeverDrawnFrom)
{
    GLint64 limit = 0;
    glGetInteger64v(GL_MAX_SHADER_STORAGE_BLOCK_SIZE, &limit);
    if (limit > (GLint64{256} << 20))
        GTEST_SKIP() << "storage limit of " << limit << " bytes is too large to reach in a test";

    // Splat records fit, degree-3 SH (180 bytes a splat) does not: drawn with base colours.
    const std::size_t shSplats = std::size_t(limit) / (45 * sizeof(float)) + 1;
    GaussianData data = RoundSplats(std::vector<Eigen::Vector3f>(shSplats, Eigen::Vector3f::Zero()));
    data.shRestCount = 45;
    data.shDegree = 3;
    data.shRest.assign(shSplats * 45, 0.0f);
    {
        ScopedLogCapture capture;
        ASSERT_TRUE(renderer.UploadSplats(data));
        ASSERT_EQ(capture.Lines().size(), 1u);
        EXPECT_THAT(capture.Text(), ::testing::StartsWith("[GaussianSplatRenderer] SH coefficients need "));
    }
    EXPECT_EQ(renderer.SplatCount(), shSplats);
    EXPECT_EQ(renderer.ShDegree(), 0);
    EXPECT_EQ(renderer.Objects().shBuffer, 0u);

    // The records themselves do not fit: refused, nothing to draw.
    data = RoundSplats(std::vector<Eigen::Vector3f>(std::size_t(limit) / sizeof(SplatRecord) + 1));
    ScopedLogCapture capture;
    EXPECT_FALSE(renderer.UploadSplats(data));
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_THAT(capture.Text(), ::testing::HasSubstr("bytes of shader storage; this GPU allows"));
    EXPECT_EQ(renderer.SplatCount(), 0u);
    EXPECT_EQ(renderer.Objects().splatBuffer, 0u);
}

// --- Pixels ------------------------------------------------------------------------------

TEST_F(SplatRendererTest, PlainSplatIsGreyOverTheBackground)
{
    // Half opacity tells premultiplied blending apart from blending by source alpha.
    const Eigen::Vector3f background(0.2f, 0.4f, 0.6f);
    DrawScene(RoundSplats({{0, 0, 0}}, 1.0f, 0.5f), background);
    const float alpha = CentreAlpha(1.0f, kDistance, 0.5f);
    EXPECT_THAT(CentrePixel(), ColourNear(Eigen::Vector3f::Constant(0.5f * alpha) + background * (1.0f - alpha),
                                          kPixelTolerance));
    // The footprint is bounded: the corners keep the background.
    EXPECT_THAT(Pixel(0, 0), ColourNear(background, kPixelTolerance));
}

TEST_F(SplatRendererTest, NegativeBaseColourClampsToBlack)
{
    GaussianData data = RoundSplats({{0, 0, 0}});
    data.shDc[0] = Eigen::Vector3f::Constant(-2.0f);
    DrawScene(data, Eigen::Vector3f::Ones());
    const float alpha = CentreAlpha(1.0f, kDistance);
    EXPECT_THAT(CentrePixel(), ColourNear(Eigen::Vector3f::Constant(1.0f - alpha), kPixelTolerance));
}

TEST_F(SplatRendererTest, NearerSplatCoversFartherOneOnceSorted)
{
    // Index order would draw the far red splat last, over the near green one.
    GaussianData data = RoundSplats({{0, 0, 1}, {0, 0, -1}});
    data.shDc[0] = Eigen::Vector3f(-2.0f, kWhiteShDc, -2.0f);
    data.shDc[1] = Eigen::Vector3f(kWhiteShDc, -2.0f, -2.0f);
    DrawScene(data);
    const Eigen::Vector3f centre = CentrePixel();
    EXPECT_GT(centre.y(), 0.95f);
    EXPECT_LT(centre.x(), 0.05f);
}

// Segment colours of the hash for seed 1.
TEST_F(SplatRendererTest, SegmentColoursFollowIdAndSeed)
{
    struct Case {
        uint32_t id;
        Eigen::Vector3f colour;
    };
    const Case cases[] = {{1, {0.894f, 0.442f, 0.278f}}, {2, {0.328f, 0.900f, 0.207f}}, {0, {0.5f, 0.5f, 0.5f}}};
    const float alpha = CentreAlpha(1.0f, kDistance);
    for (const Case& c : cases) {
        GaussianData data = RoundSplats({{0, 0, 0}});
        data.objectIds = {c.id};
        data.hasObjectIds = true;
        ASSERT_TRUE(renderer.UploadSplats(data));
        renderer.segSeed = 1;
        renderer.segBlend = 1.0f;
        renderer.SortNow(View());
        Clear(0, 0, 0);
        renderer.Draw(View(), Projection());
        EXPECT_THAT(CentrePixel(), ColourNear(c.colour * alpha, kPixelTolerance + 0.002f)) << "id " << c.id;

        // Switched off, or blended at 0, the splat keeps its own colour.
        for (int variant = 0; variant < 2; ++variant) {
            renderer.segEnabled = variant == 1;
            renderer.segBlend = variant == 1 ? 0.0f : 1.0f;
            Clear(0, 0, 0);
            renderer.Draw(View(), Projection());
            EXPECT_THAT(CentrePixel(), ColourNear(Eigen::Vector3f::Constant(0.5f * alpha), kPixelTolerance));
        }
    }
}

// Higher-order SH, one coefficient at a time, seen from an oblique direction: each term's
// constant, sign, coefficient slot and channel.
TEST_F(SplatRendererTest, HigherOrderShAddsEachTermForTheViewingDirection)
{
    const Eigen::Vector3f eye = Eigen::Vector3f(1.0f, 2.0f, 3.0f).normalized() * kDistance;
    const Eigen::Vector3f v = -eye.normalized();  // from the camera to the splat
    const float x = v.x(), y = v.y(), z = v.z();
    const double basis[15] = {
        -0.4886025119029199 * y,
        0.4886025119029199 * z,
        -0.4886025119029199 * x,
        1.0925484305920792 * x * y,
        -1.0925484305920792 * y * z,
        0.31539156525252005 * (2 * z * z - x * x - y * y),
        -1.0925484305920792 * x * z,
        0.5462742152960396 * (x * x - y * y),
        -0.5900435899266435 * y * (3 * x * x - y * y),
        2.890611442640554 * x * y * z,
        -0.4570457994644658 * y * (4 * z * z - x * x - y * y),
        0.3731763325901154 * z * (2 * z * z - 3 * x * x - 3 * y * y),
        -0.4570457994644658 * x * (4 * z * z - x * x - y * y),
        2.890611442640554 * 0.5 * (x * x - y * y) * z,
        -0.5900435899266435 * x * (x * x - 3 * y * y),
    };
    const float alpha = CentreAlpha(1.0f, kDistance);
    const Eigen::Matrix4f view = LookAt(eye, Eigen::Vector3f::Zero());
    for (int channel = 0; channel < 3; ++channel) {
        for (int term = 0; term < 15; ++term) {
            GaussianData data = RoundSplats({{0, 0, 0}});
            data.shRestCount = 45;
            data.shDegree = 3;
            data.shRest.assign(45, 0.0f);
            // Scaled so that the term adds +0.2 to its channel.
            data.shRest[std::size_t(channel * 15 + term)] = float(0.2 / basis[term]);
            DrawScene(data, view, Projection());
            Eigen::Vector3f expected = Eigen::Vector3f::Constant(0.5f);
            expected[channel] += 0.2f;
            EXPECT_THAT(CentrePixel(), ColourNear(expected * alpha, kPixelTolerance))
                << "channel " << channel << ", coefficient " << term;
        }
    }
}

TEST_F(SplatRendererTest, SplatsBehindTheCameraOrAtTheNearPlaneAreNotDrawn)
{
    const Eigen::Vector3f background(0.2f, 0.4f, 0.6f);
    const float nearZ = 0.1f;
    const auto drawSmallWhiteSplatAt = [&](float distance) {
        GaussianData data = RoundSplats({{0, 0, kDistance - distance}}, 0.001f);
        data.shDc[0] = Eigen::Vector3f::Constant(kWhiteShDc);
        DrawScene(data, background);
    };
    drawSmallWhiteSplatAt(0.2f);
    EXPECT_GT(CentrePixel().x(), background.x() + 0.2f) << "a splat clear of the near plane is drawn";
    drawSmallWhiteSplatAt(nearZ + 5e-5f);
    EXPECT_TRUE(ImageIsBackground(background));
    drawSmallWhiteSplatAt(-1.0f);
    EXPECT_TRUE(ImageIsBackground(background));

    const float nan = std::numeric_limits<float>::quiet_NaN();
    DrawScene(RoundSplats({{nan, 0, 0}, {0, std::numeric_limits<float>::infinity(), 0}}), background);
    EXPECT_TRUE(ImageIsBackground(background));
}

TEST_F(SplatRendererTest, OrthographicProjectionUsesPixelsPerWorldUnit)
{
    const float halfHeight = 2.0f;
    const float scale = 0.4f;
    GaussianData data = RoundSplats({{0, 0, 0}}, scale);
    data.shDc[0] = Eigen::Vector3f::Constant(kWhiteShDc);
    DrawScene(data, View(), OrthographicProjection(halfHeight, float(kWidth) / float(kHeight), 0.1f, 100.0f));

    // Footprint exp(-r^2 / 2(s^2 + blur)) with s in pixels: scale x pixels per unit.
    const float sigmaPx = scale * kHeight / (2.0f * halfHeight);
    const int offset = 4;
    const float expectedRatio = std::exp(-float(offset * offset) / (2.0f * (sigmaPx * sigmaPx + 0.5f)));
    const float centre = CentrePixel().x();
    const float ratio = Pixel(kWidth / 2 + offset, kHeight / 2).x() / centre;
    EXPECT_NEAR(ratio, expectedRatio, 0.02f);
    EXPECT_NEAR(Pixel(kWidth / 2, kHeight / 2 + offset).x() / centre, expectedRatio, 0.02f);
    EXPECT_NEAR(centre, sigmaPx * sigmaPx / (sigmaPx * sigmaPx + 0.5f), kPixelTolerance);
}

TEST_F(SplatRendererTest, EmptyViewportCountsAsOnePixel)
{
    ASSERT_TRUE(renderer.UploadSplats(RoundSplats({{0, 0, 0}, {1, 0, 0}})));
    glViewport(0, 0, 0, 0);
    renderer.Draw(View(), Projection());
    glViewport(0, 0, kWidth, kHeight);
    const GLuint program = renderer.Objects().splatProgram;
    float viewport[2] = {0, 0}, focal[2] = {0, 0};
    glGetUniformfv(program, glGetUniformLocation(program, "uViewport"), viewport);
    glGetUniformfv(program, glGetUniformLocation(program, "uFocal"), focal);
    EXPECT_EQ(viewport[0], 1.0f);
    EXPECT_EQ(viewport[1], 1.0f);
    EXPECT_FLOAT_EQ(focal[0], Projection()(0, 0) * 0.5f);
    EXPECT_FLOAT_EQ(focal[1], Projection()(1, 1) * 0.5f);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(SplatRendererTest, DrawRestoresBlendingAndDepthWrites)
{
    DrawScene(RoundSplats({{0, 0, 0}}));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    GLboolean depthWrites = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrites);
    EXPECT_EQ(depthWrites, GL_TRUE);
    GLint program = -1, vertexArray = -1, storage = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &vertexArray);
    glGetIntegeri_v(GL_SHADER_STORAGE_BUFFER_BINDING, 0, &storage);
    EXPECT_EQ(program, 0);
    EXPECT_EQ(vertexArray, 0);
    EXPECT_EQ(storage, 0);
    // Splats never write depth: a later pass still sees the cleared depth.
    EXPECT_EQ(headless->ReadDepth(kWidth / 2, kHeight / 2), 1.0f);
}

TEST_F(SplatRendererTest, PickPassWritesDepthInA15PixelSquareOnly)
{
    // Opacity plays no part in picking.
    ASSERT_TRUE(renderer.UploadSplats(RoundSplats({{0, 0, 0}}, 1.0f, 0.0f)));
    Clear(0.2f, 0.4f, 0.6f);
    const auto colourBefore = headless->ReadColorImage();
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    glDepthFunc(GL_LESS);
    renderer.DrawPick(View(), Projection());
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);

    EXPECT_EQ(headless->ReadColorImage(), colourBefore);
    const std::vector<float> depth = headless->ReadDepthImage();
    ASSERT_EQ(depth.size(), std::size_t(kWidth * kHeight));
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const bool inSquare = std::abs(x - kWidth / 2) <= 7 && std::abs(y - kHeight / 2) <= 7;
            EXPECT_EQ(depth[std::size_t(y * kWidth + x)] < 1.0f, inSquare) << "pixel " << x << ", " << y;
        }
    }
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    GLboolean depthWrites = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrites);
    EXPECT_EQ(depthWrites, GL_TRUE);
}

TEST_F(SplatRendererTest, ReleaseDeletesEverythingAndUploadBuildsAgain)
{
    ASSERT_TRUE(renderer.UploadSplats(RoundSplats({{0, 0, 0}, {1, 0, 0}})));
    const auto before = renderer.Objects();
    renderer.segBlend = 0.8f;
    renderer.ReleaseGpuResources();
    const auto after = renderer.Objects();
    for (GLuint name : {after.vao, after.splatBuffer, after.orderBuffer, after.shBuffer, after.objIdBuffer,
                        after.splatProgram, after.pickProgram})
        EXPECT_EQ(name, 0u);
    EXPECT_FALSE(glIsProgram(before.splatProgram));
    EXPECT_FALSE(glIsBuffer(before.splatBuffer));
    EXPECT_EQ(renderer.SplatCount(), 0u);
    EXPECT_EQ(renderer.segBlend, 0.8f);

    DrawScene(RoundSplats({{0, 0, 0}}));
    EXPECT_GT(CentrePixel().x(), 0.4f);
}

}  // namespace
