#include "render/PointCloudRenderer.h"

#include "scene/PointCloudData.h"
#include "platform/Log.h"
#include "render/GpuObjects.h"
#include "render/PointProgram.h"

#include <limits>
#include <string>

namespace {

constexpr GLuint kPositionLocation = 0;
constexpr GLuint kColorLocation = 1;

// glDrawArrays takes a signed count, so that is the most points one cloud can have.
constexpr std::size_t kMaxDrawablePoints = static_cast<std::size_t>(std::numeric_limits<GLsizei>::max());

bool UsableColors(const PointCloudData& cloud)
{
    return cloud.hasColors && cloud.colors.size() == cloud.positions.size();
}

}  // namespace

bool PointCloudRenderer::EnsureProgram()
{
    if (m_program.Name() != 0)
        return true;
    m_program = BuildPointProgram("PointCloudRenderer", m_uniforms);
    if (m_program.Name() == 0)
        return false;
    m_colorUniforms = PointColorBuffers::FindUniforms(m_program.Name());
    return true;
}

bool PointCloudRenderer::UploadPoints(const PointCloudData& cloud)
{
    if (!EnsureProgram())
        return false;
    ReleaseCloud();

    const std::size_t count = cloud.positions.size();
    if (count == 0)
        return true;
    if (count > kMaxDrawablePoints) {
        Log(LogLevel::Error, "PointCloudRenderer", "cannot draw " + std::to_string(count) + " points; at most " +
                    std::to_string(kMaxDrawablePoints) + " fit one draw.\n");
        return false;
    }

    GlBuffer positions = CreateStaticBuffer(cloud.positions);
    GlBuffer colors;
    const bool withColors = UsableColors(cloud);
    if (withColors && positions.Name() != 0)
        colors = CreateStaticBuffer(cloud.colors);
    if (positions.Name() == 0 || (withColors && colors.Name() == 0)) {
        Log(LogLevel::Error, "PointCloudRenderer", "cannot allocate GPU memory for " + std::to_string(count) + " points.\n");
        return false;
    }

    GlVertexArray vao = GlVertexArray::Create();
    AttachFloatAttributes(vao, 0, positions, sizeof(Eigen::Vector3f), {{kPositionLocation, 3, 0}});
    // Without a colour buffer attribute 1 stays disabled and reads the constant white that
    // Draw sets.
    if (withColors)
        AttachFloatAttributes(vao, 1, colors, sizeof(Eigen::Vector4f), {{kColorLocation, 4, 0}});
    if (!m_colorBuffers.Upload(cloud, vao))
        Log(LogLevel::Error, "PointCloudRenderer", "cannot allocate GPU memory for the point attributes; "
                                                   "only RGB colouring is available.\n");

    m_vao = std::move(vao);
    m_positionBuffer = std::move(positions);
    m_colorBuffer = std::move(colors);
    m_vertexCount = static_cast<std::uint32_t>(count);
    m_budgetedDraw.Reset(m_vertexCount);
    return true;
}

void PointCloudRenderer::Draw(const Eigen::Matrix4f& view, const Eigen::Matrix4f& projection)
{
    if (m_vertexCount == 0 || m_program.Name() == 0)
        return;
    if (m_edlStrength > 0.0f && m_edl.Begin()) {
        DrawPoints(view, projection);
        m_edl.End(projection, m_edlStrength, m_edlRadius);
        return;
    }
    DrawPoints(view, projection);
}

void PointCloudRenderer::DrawPoints(const Eigen::Matrix4f& view, const Eigen::Matrix4f& projection)
{
    UsePointProgram(m_program, m_uniforms, view, projection, m_pointSize, m_roundPoints);
    m_colorBuffers.Apply(m_colorUniforms, m_colorMode);
    // The constant value of a disabled attribute belongs to the context, not to the vertex
    // array, and other passes may change it: set it for every draw.
    if (m_colorBuffer.Name() == 0)
        glVertexAttrib4f(kColorLocation, 1.0f, 1.0f, 1.0f, 1.0f);

    glBindVertexArray(m_vao.Name());
    m_budgetedDraw.Draw(m_vao.Name(), projection * view);
    glBindVertexArray(0);
    glUseProgram(0);
}

void PointCloudRenderer::DrawPick(const Eigen::Matrix4f& view, const Eigen::Matrix4f& projection)
{
    if (m_vertexCount != 0 && m_program.Name() != 0)
        DrawPoints(view, projection);
}

void PointCloudRenderer::SetPointStyle(const PointStyle& style)
{
    m_pointSize = style.size;
    m_roundPoints = style.isRound;
    m_colorMode = style.colorMode;
    m_edlStrength = style.edlStrength;
    m_edlRadius = style.edlRadius;
}

void PointCloudRenderer::Resize(int, int) {}

void PointCloudRenderer::ReleaseCloud()
{
    m_positionBuffer.Reset();
    m_colorBuffer.Reset();
    m_vao.Reset();
    m_colorBuffers.Release();
    m_vertexCount = 0;
    m_budgetedDraw.Reset(0);
}

void PointCloudRenderer::ReleaseGpuResources()
{
    ReleaseCloud();
    m_program.Reset();
    m_uniforms = {};
    m_colorUniforms = {};
    m_colorBuffers.ReleasePalette();
    m_edl.Release();
}
