#include "tests/gl/GlTestFixture.h"
#include "support/TestData.h"
#include "tests/gl/PixelChecks.h"

#include "io/las/LasReader.h"
#include "io/laz/LazReader.h"
#include "io/ply/PlyReader.h"
#include "render/PointCloudRenderer.h"
#include "scene/PointCloudData.h"
#include "scene/PointColoring.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
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

// Position, under identity matrices, of the centre of pixel (x, y).
Vector3f AtPixel(int x, int y, float z = 0.0f)
{
    const auto ndc = [](int p) { return (static_cast<float>(p) + 0.5f) / (kSize / 2.0f) - 1.0f; };
    return {ndc(x), ndc(y), z};
}

Rgba8 Opaque(const Vector3f& color)
{
    return ToRgba8(Vector4f(color.x(), color.y(), color.z(), 1.0f));
}

// Five points along a row, each with its own attributes, heights 0..4 along z.
PointCloudData AttributedCloud()
{
    PointCloudData cloud;
    for (int i = 0; i < 5; ++i) {
        Vector3f p = AtPixel(8 + 12 * i, 32);
        p.z() = static_cast<float>(i) * 0.1f;
        cloud.positions.push_back(p);
        cloud.colors.push_back({0.1f * static_cast<float>(i), 0.5f, 0.9f, 1.0f});
    }
    cloud.hasColors = true;
    cloud.intensity = {0, 100, 200, 300, 400};
    cloud.classification = {2, 5, 6, 9, 77};
    cloud.returnNumber = {1, 2, 3, 4, 0};
    cloud.numberOfReturns = {4, 4, 4, 4, 0};
    cloud.ComputeBounds();
    return cloud;
}

// 4 x 4 pixel squares, so a point's centre pixel is well inside it.
const PointStyle kSquares = {4.0f, false};

PointStyle InMode(ColorMode mode)
{
    PointStyle style = kSquares;
    style.colorMode = mode;
    return style;
}

// A perspective projection looking down -z, 90 degrees vertically, near 1 and far 10.
Matrix4f Perspective()
{
    const float n = 1.0f;
    const float f = 10.0f;
    Matrix4f p = Matrix4f::Zero();
    p(0, 0) = 1.0f;
    p(1, 1) = 1.0f;
    p(2, 2) = -(f + n) / (f - n);
    p(2, 3) = -2.0f * f * n / (f - n);
    p(3, 2) = -1.0f;
    return p;
}

// A step seen from the front: the left half of the view filled by a wall 2 away, the right
// half by a wall 4 away, both facing the eye.
PointCloudData Step()
{
    PointCloudData cloud;
    for (float y = -2.0f; y <= 2.0f; y += 0.02f)
        for (float x = -2.0f; x < 0.0f; x += 0.02f)
            cloud.positions.push_back({x, y, -2.0f});
    for (float y = -4.0f; y <= 4.0f; y += 0.04f)
        for (float x = 0.0f; x <= 4.0f; x += 0.04f)
            cloud.positions.push_back({x, y, -4.0f});
    cloud.ComputeBounds();
    return cloud;
}

class PointColorModesTest : public testsupport::HeadlessGlTest {
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

    std::vector<std::uint8_t> Image(const Matrix4f& projection = Matrix4f::Identity())
    {
        ClearFramebuffer();
        renderer.Draw(Matrix4f::Identity(), projection);
        return headless->ReadColorImage();
    }

    std::optional<Rgba8> PointPixel(int i) { return headless->ReadColor(8 + 12 * i, 32); }

    PointCloudRenderer renderer;
};

}  // namespace

TEST_F(PointColorModesTest, EachModeColoursThePointsByItsAttribute)
{
    const PointCloudData cloud = AttributedCloud();
    ASSERT_TRUE(renderer.UploadPoints(cloud));
    ASSERT_NE(renderer.ColorBuffers().IntensityBuffer(), 0u);

    renderer.SetPointStyle(InMode(ColorMode::Intensity));
    Image();
    // The 2nd and 98th percentiles of five values are the lowest and the highest.
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(ColorNear(PointPixel(i), Opaque(IntensityColor(static_cast<float>(i) / 4.0f)))) << i;

    renderer.SetPointStyle(InMode(ColorMode::Classification));
    Image();
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(ColorNear(PointPixel(i), Opaque(ClassificationColor(cloud.classification[static_cast<std::size_t>(i)]))))
            << i;

    renderer.SetPointStyle(InMode(ColorMode::ReturnNumber));
    Image();
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(ColorNear(PointPixel(i), Opaque(ReturnNumberColor(cloud.returnNumber[static_cast<std::size_t>(i)]))))
            << i;

    renderer.SetPointStyle(InMode(ColorMode::Elevation));
    Image();
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(ColorNear(PointPixel(i), Opaque(ElevationColor(static_cast<float>(i) / 4.0f)))) << i;
    EXPECT_EQ(renderer.DrawnColorMode(), ColorMode::Elevation);
}

TEST_F(PointColorModesTest, SwitchingModesKeepsTheUploadedBuffers)
{
    ASSERT_TRUE(renderer.UploadPoints(AttributedCloud()));
    const GLuint positions = renderer.PositionBuffer();
    const GLuint intensity = renderer.ColorBuffers().IntensityBuffer();
    const std::vector<std::uint8_t> rgb = (renderer.SetPointStyle(kSquares), Image());
    for (const ColorMode mode : kColorModes) {
        renderer.SetPointStyle(InMode(mode));
        const std::vector<std::uint8_t> image = Image();
        EXPECT_EQ(image == rgb, mode == ColorMode::Rgb) << ColorModeKey(mode);
        EXPECT_EQ(renderer.PositionBuffer(), positions);
        EXPECT_EQ(renderer.ColorBuffers().IntensityBuffer(), intensity);
    }
    renderer.SetPointStyle(kSquares);
    EXPECT_EQ(Image(), rgb);
}

TEST_F(PointColorModesTest, RgbImagesAreThoseOfACloudWithoutAttributes)
{
    PointCloudData withAttributes = AttributedCloud();
    PointCloudData plain = AttributedCloud();
    plain.intensity.clear();
    plain.classification.clear();
    plain.returnNumber.clear();
    plain.numberOfReturns.clear();

    renderer.SetPointStyle(kSquares);
    ASSERT_TRUE(renderer.UploadPoints(plain));
    const std::vector<std::uint8_t> before = Image();
    ASSERT_TRUE(renderer.UploadPoints(withAttributes));
    EXPECT_EQ(Image(), before);
    // A mode the cloud cannot show draws RGB.
    ASSERT_TRUE(renderer.UploadPoints(plain));
    renderer.SetPointStyle(InMode(ColorMode::Classification));
    EXPECT_EQ(renderer.DrawnColorMode(), ColorMode::Rgb);
    EXPECT_EQ(Image(), before);
}

TEST_F(PointColorModesTest, EyeDomeLightingDarkensTheFarSideOfAnEdgeAndLeavesFlatAreas)
{
    ASSERT_TRUE(renderer.UploadPoints(Step()));
    PointStyle style = kSquares;
    style.size = 3.0f;
    renderer.SetPointStyle(style);
    const std::vector<std::uint8_t> plain = Image(Perspective());
    const auto grey = [](const std::vector<std::uint8_t>& image, int x, int y) {
        return int{image[static_cast<std::size_t>((y * kSize + x) * 4)]};
    };
    ASSERT_EQ(grey(plain, 16, 32), 255);
    ASSERT_EQ(grey(plain, 48, 32), 255);

    style.edlStrength = 1.0f;
    style.edlRadius = 3.0f;
    renderer.SetPointStyle(style);
    const std::vector<std::uint8_t> shaded = Image(Perspective());
    for (int y = 8; y < 56; y += 8) {
        EXPECT_LT(grey(shaded, 33, y), 128) << y;  // far wall beside the edge
        EXPECT_EQ(grey(shaded, 16, y), 255) << y;  // near wall
        EXPECT_EQ(grey(shaded, 48, y), 255) << y;  // far wall away from the edge
        EXPECT_EQ(grey(shaded, 30, y), 255) << y;  // near wall at the edge: nothing in front of it
    }

    // Strength 0 is the plain drawing.
    style.edlStrength = 0.0f;
    renderer.SetPointStyle(style);
    EXPECT_EQ(Image(Perspective()), plain);
}

TEST_F(PointColorModesTest, EveryCorpusCloudDrawsInRgbExactlyAsWithoutItsAttributes)
{
    ORRISK_REQUIRE_TESTDATA();
    std::vector<std::filesystem::path> files;
    for (const char* folder : {"las", "laz", "ply"})
        for (const auto& entry : std::filesystem::directory_iterator(testsupport::TestDataFile(folder)))
            if (entry.is_regular_file() && entry.file_size() < (std::uintmax_t{8} << 20))
                files.push_back(entry.path());
    int compared = 0;
    for (const auto& path : files) {
        const std::string extension = path.extension().string();
        ReadResult<PointCloudData> read = extension == ".las" ? ReadLas(path.string())
                                        : extension == ".laz" ? ReadLaz(path.string())
                                        : extension == ".ply" ? ReadPly(path.string())
                                                              : ReadResult<PointCloudData>(Fail(ReadError::NotRecognised, ""));
        if (!read || read.Value().intensity.empty())
            continue;
        PointCloudData cloud = read.TakeValue();
        // The whole cloud into the unit cube in front of the identity camera.
        const float scale = cloud.radius > 0.0f ? 0.9f / cloud.radius : 1.0f;
        Matrix4f view = Matrix4f::Identity();
        view.topLeftCorner<3, 3>() *= scale;
        view.topRightCorner<3, 1>() = -cloud.center * scale;

        renderer.SetPointStyle(kSquares);
        ASSERT_TRUE(renderer.UploadPoints(cloud)) << path;
        ClearFramebuffer();
        renderer.Draw(view, Matrix4f::Identity());
        const std::vector<std::uint8_t> withAttributes = headless->ReadColorImage();

        cloud.intensity.clear();
        cloud.classification.clear();
        cloud.returnNumber.clear();
        cloud.numberOfReturns.clear();
        ASSERT_TRUE(renderer.UploadPoints(cloud)) << path;
        ClearFramebuffer();
        renderer.Draw(view, Matrix4f::Identity());
        EXPECT_TRUE(headless->ReadColorImage() == withAttributes) << path;
        ++compared;
    }
    EXPECT_GT(compared, 40);
}
