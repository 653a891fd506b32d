#include "render/PointColorBuffers.h"

#include "render/GpuObjects.h"
#include "scene/PointCloudData.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace {

// Palette rows: every classification code, the return numbers, the elevation ramp.
constexpr GLsizei kPaletteWidth = 256;
constexpr GLsizei kPaletteRows = 3;
constexpr int kReturnEntries = 16;

std::array<std::uint8_t, 4> Rgba8(const Eigen::Vector3f& color)
{
    std::array<std::uint8_t, 4> texel{};
    for (int c = 0; c < 3; ++c)
        texel[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(std::lround(std::clamp(color[c], 0.0f, 1.0f) * 255.0f));
    texel[3] = 255;
    return texel;
}

void AttachScalar(const GlVertexArray& vao, GLuint location, const GlBuffer& buffer, GLenum type, GLsizei stride)
{
    glVertexArrayVertexBuffer(vao.Name(), location, buffer.Name(), 0, stride);
    glVertexArrayAttribFormat(vao.Name(), location, 1, type, GL_FALSE, 0);
    glVertexArrayAttribBinding(vao.Name(), location, location);
    glEnableVertexArrayAttrib(vao.Name(), location);
}

}  // namespace

PointColorBuffers::Uniforms PointColorBuffers::FindUniforms(GLuint program)
{
    Uniforms uniforms;
    uniforms.colorMode = glGetUniformLocation(program, "uColorMode");
    uniforms.intensityStretch = glGetUniformLocation(program, "uIntensityStretch");
    uniforms.heightStretch = glGetUniformLocation(program, "uHeightStretch");
    uniforms.upAxis = glGetUniformLocation(program, "uUpAxis");
    uniforms.palette = glGetUniformLocation(program, "uPalette");
    return uniforms;
}

bool PointColorBuffers::EnsurePalette()
{
    if (m_palette.Name() != 0)
        return true;
    std::array<std::array<std::uint8_t, 4>, kPaletteWidth * kPaletteRows> texels{};
    for (int i = 0; i < kPaletteWidth; ++i) {
        texels[static_cast<std::size_t>(i)] = Rgba8(ClassificationColor(static_cast<std::uint8_t>(i)));
        if (i < kReturnEntries)
            texels[static_cast<std::size_t>(kPaletteWidth + i)] = Rgba8(ReturnNumberColor(static_cast<std::uint8_t>(i)));
        const float t = static_cast<float>(i) / static_cast<float>(kPaletteWidth - 1);
        texels[static_cast<std::size_t>(2 * kPaletteWidth + i)] = Rgba8(ElevationColor(t));
    }
    GlTexture2D palette = GlTexture2D::Create();
    glTextureStorage2D(palette.Name(), 1, GL_RGBA8, kPaletteWidth, kPaletteRows);
    glTextureSubImage2D(palette.Name(), 0, 0, 0, kPaletteWidth, kPaletteRows, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glTextureParameteri(palette.Name(), GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTextureParameteri(palette.Name(), GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    m_palette = std::move(palette);
    return m_palette.Name() != 0;
}

bool PointColorBuffers::Upload(const PointCloudData& cloud, const GlVertexArray& vao)
{
    Release();
    if (!EnsurePalette())
        return false;
    const std::size_t count = cloud.positions.size();
    GlBuffer intensity;
    GlBuffer classification;
    GlBuffer returnNumber;
    if (cloud.intensity.size() == count && count != 0 && !(intensity = CreateStaticBuffer(cloud.intensity)).Name())
        return false;
    if (cloud.classification.size() == count && count != 0
        && !(classification = CreateStaticBuffer(cloud.classification)).Name())
        return false;
    if (cloud.returnNumber.size() == count && count != 0
        && !(returnNumber = CreateStaticBuffer(cloud.returnNumber)).Name())
        return false;

    if (intensity.Name()) {
        AttachScalar(vao, kIntensityLocation, intensity, GL_UNSIGNED_SHORT, sizeof(std::uint16_t));
        m_intensityStretch = StretchOver(PercentileRange(cloud.intensity));
    }
    if (classification.Name())
        AttachScalar(vao, kClassificationLocation, classification, GL_UNSIGNED_BYTE, sizeof(std::uint8_t));
    if (returnNumber.Name())
        AttachScalar(vao, kReturnNumberLocation, returnNumber, GL_UNSIGNED_BYTE, sizeof(std::uint8_t));
    m_heightStretch = StretchOver(HeightRange(cloud));
    m_upAxis = std::clamp(cloud.upAxis, 0, 2);
    m_intensity = std::move(intensity);
    m_classification = std::move(classification);
    m_returnNumber = std::move(returnNumber);
    return true;
}

void PointColorBuffers::Release()
{
    m_intensity.Reset();
    m_classification.Reset();
    m_returnNumber.Reset();
    m_intensityStretch = {};
    m_heightStretch = {};
    m_upAxis = 2;
}

void PointColorBuffers::ReleasePalette()
{
    Release();
    m_palette.Reset();
}

ColorMode PointColorBuffers::Effective(ColorMode chosen) const
{
    switch (chosen) {
    case ColorMode::Intensity: return m_intensity.Name() ? chosen : ColorMode::Rgb;
    case ColorMode::Classification: return m_classification.Name() ? chosen : ColorMode::Rgb;
    case ColorMode::ReturnNumber: return m_returnNumber.Name() ? chosen : ColorMode::Rgb;
    case ColorMode::Rgb:
    case ColorMode::Elevation: return chosen;
    }
    return ColorMode::Rgb;
}

void PointColorBuffers::Apply(const Uniforms& uniforms, ColorMode chosen) const
{
    const ColorMode mode = Effective(chosen);
    glUniform1i(uniforms.colorMode, static_cast<GLint>(mode));
    if (mode == ColorMode::Rgb)
        return;
    glUniform2f(uniforms.intensityStretch, m_intensityStretch.scale, m_intensityStretch.offset);
    glUniform2f(uniforms.heightStretch, m_heightStretch.scale, m_heightStretch.offset);
    glUniform1i(uniforms.upAxis, m_upAxis);
    glUniform1i(uniforms.palette, 0);
    glBindTextureUnit(0, m_palette.Name());
}
