#pragma once

#include "gl/GlObject.h"
#include "render/BudgetedPointDraw.h"
#include "render/IRenderer.h"

#include <cstdint>

// Draws a point cloud as GL points of a fixed pixel size, round or square. The cloud's
// positions and colours are copied to GPU buffers once per upload; a cloud without usable
// colours is drawn white. Also serves as the renderer of the empty scene. A frame draws at
// most the point budget (see BudgetedPointDraw); picking draws the same points.
//
// Every operation runs with the view's context current, destruction included: whatever GL
// object is still held then is deleted. A renderer that holds nothing makes no GL call.
class PointCloudRenderer final : public IRenderer {
public:
    PointCloudRenderer() = default;
    ~PointCloudRenderer() override = default;
    PointCloudRenderer(const PointCloudRenderer&) = delete;
    PointCloudRenderer& operator=(const PointCloudRenderer&) = delete;

    bool UploadSplats(const GaussianData& data) override;
    // Builds the program on first use, then replaces the buffers with the cloud's. False,
    // with a log line, when the program cannot be built (earlier buffers stay) or the cloud
    // is too large to draw or to allocate (nothing stays uploaded).
    bool UploadPoints(const PointCloudData& cloud) override;
    void Draw(const Eigen::Matrix4f& view, const Eigen::Matrix4f& projection) override;
    void DrawPick(const Eigen::Matrix4f& view, const Eigen::Matrix4f& projection) override;
    void SetPointStyle(const PointStyle& style) override;
    void Resize(int width, int height) override;
    void ReleaseGpuResources() override;

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

private:
    struct UniformLocations {
        GLint model = -1;
        GLint view = -1;
        GLint projection = -1;
        GLint pointSize = -1;
        GLint roundPoints = -1;
    };

    bool EnsureProgram();
    void ReleaseCloud();

    GlVertexArray m_vao;
    GlBuffer m_positionBuffer;
    GlBuffer m_colorBuffer;
    std::uint32_t m_vertexCount = 0;
    GlProgram m_program;
    float m_pointSize = 2.0f;
    bool m_roundPoints = true;
    UniformLocations m_uniforms;
    BudgetedPointDraw m_budgetedDraw;
};
