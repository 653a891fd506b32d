#pragma once

#include "gl/GlObject.h"
#include "render/EyeDomeLighting.h"
#include "render/BudgetedPointDraw.h"
#include "render/IRenderer.h"
#include "render/PointProgram.h"
#include "render/PointColorBuffers.h"

#include <cstdint>

struct PointCloudData;

// Draws a point cloud as GL points of a fixed pixel size, round or square. The cloud's
// positions and colours are copied to GPU buffers once per upload; a cloud without usable
// colours is drawn white. Per-point attributes go to small buffers of their own beside them,
// so the colour mode is a uniform; eye-dome lighting, when on, is a pass after the points.
// A frame draws at most the point budget (see BudgetedPointDraw); picking draws the same
// points. Also serves as the renderer of the empty scene.
//
// Every operation runs with the view's context current, destruction included: whatever GL
// object is still held then is deleted. A renderer that holds nothing makes no GL call.
class PointCloudRenderer final : public IRenderer {
public:
    PointCloudRenderer() = default;
    ~PointCloudRenderer() override = default;
    PointCloudRenderer(const PointCloudRenderer&) = delete;
    PointCloudRenderer& operator=(const PointCloudRenderer&) = delete;

    // Builds the program on first use, then replaces the buffers with the cloud's. False,
    // with a log line, when the program cannot be built (earlier buffers stay) or the cloud
    // is too large to draw or to allocate (nothing stays uploaded).
    bool UploadPoints(const PointCloudData& cloud);
    void Draw(const Eigen::Matrix4f& view, const Eigen::Matrix4f& projection) override;
    void DrawPick(const Eigen::Matrix4f& view, const Eigen::Matrix4f& projection) override;
    void SetPointStyle(const PointStyle& style) override;
    void Resize(int width, int height) override;
    void ReleaseGpuResources() override;
    // Gives back the GPU copy of the cloud (buffers and vertex array); nothing is drawn until
    // the next upload. The program stays.
    void ReleaseCloud();

    // Points a frame may draw; kEveryPoint (the default) draws every point.
    void SetPointBudget(std::uint64_t budget) { m_budgetedDraw.SetBudget(budget); }
    // The octree of the uploaded arrays, which must be in its order; null drops it. A new
    // upload drops it too.
    void SetOctree(std::shared_ptr<const PointOctree> tree) { m_budgetedDraw.SetOctree(std::move(tree)); }
    const PointOctree* Octree() const { return m_budgetedDraw.Octree(); }
    const PointDrawStats& LastDrawStats() const { return m_budgetedDraw.LastDraw(); }

    GLuint Vao() const { return m_vao.Name(); }
    GLuint PositionBuffer() const { return m_positionBuffer.Name(); }
    GLuint ColorBuffer() const { return m_colorBuffer.Name(); }
    std::uint32_t VertexCount() const { return m_vertexCount; }
    GLuint Program() const { return m_program.Name(); }
    float PointSize() const { return m_pointSize; }
    bool RoundPoints() const { return m_roundPoints; }
    // The mode the points are drawn in: the chosen one, or RGB when the cloud lacks it.
    ColorMode DrawnColorMode() const { return m_colorBuffers.Effective(m_colorMode); }
    const PointColorBuffers& ColorBuffers() const { return m_colorBuffers; }

private:

    bool EnsureProgram();
    void DrawPoints(const Eigen::Matrix4f& view, const Eigen::Matrix4f& projection);

    GlVertexArray m_vao;
    GlBuffer m_positionBuffer;
    GlBuffer m_colorBuffer;
    std::uint32_t m_vertexCount = 0;
    GlProgram m_program;
    float m_pointSize = 2.0f;
    bool m_roundPoints = true;
    PointProgramUniforms m_uniforms;
    PointColorBuffers m_colorBuffers;
    PointColorBuffers::Uniforms m_colorUniforms;
    ColorMode m_colorMode = ColorMode::Rgb;
    EyeDomeLighting m_edl;
    float m_edlStrength = 0.0f;
    float m_edlRadius = 1.4f;
    BudgetedPointDraw m_budgetedDraw;
};
