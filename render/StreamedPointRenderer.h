#pragma once

#include "gl/GlObject.h"
#include "render/IRenderer.h"
#include "render/PointProgram.h"
#include "render/StreamedSelection.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

class StreamedCloud;
struct PointCloudData;

// Draws a cloud read node by node from disk (PointCloudData::streamed): each frame it selects
// the nodes the view needs under the point budget, asks the cloud for those not loaded (drawn
// meanwhile as their parents), uploads the loaded ones it has not uploaded yet, gives back the
// GPU copies of nodes the cache dropped or that have not been drawn for a while, and draws the
// selection as the point renderer draws a cloud. A frame whose camera differs from the last
// one's counts as moving and draws a quarter of the budget; it then asks for a repaint, so that
// the still frame after it draws them all.
//
// Every operation runs with the view's context current; requestRepaint is called on worker
// threads as nodes arrive and must be thread-safe.
class StreamedPointRenderer final : public IRenderer {
public:
    explicit StreamedPointRenderer(std::function<void()> requestRepaint);
    ~StreamedPointRenderer() override;
    StreamedPointRenderer(const StreamedPointRenderer&) = delete;
    StreamedPointRenderer& operator=(const StreamedPointRenderer&) = delete;

    // Takes the cloud's streamed nodes; false for a cloud that is not streamed, or when the
    // program cannot be built.
    bool UploadPoints(const PointCloudData& cloud);
    void Draw(const Eigen::Matrix4f& view, const Eigen::Matrix4f& projection) override;
    void DrawPick(const Eigen::Matrix4f& view, const Eigen::Matrix4f& projection) override;
    void SetPointStyle(const PointStyle& style) override;
    void Resize(int width, int height) override;
    void ReleaseGpuResources() override;

    // The point budget setting (see PointBudget.h): negative automatic, 0 every point.
    void SetPointBudgetSetting(std::int64_t setting) { m_budgetSetting = setting; }

    // What the last frame drew.
    std::uint64_t DrawnPoints() const { return m_drawnPoints; }
    std::size_t NodesDrawn() const { return m_nodesDrawn; }
    std::size_t NodesOnGpu() const { return m_gpuNodes.size(); }

private:
    struct GpuNode {
        GlVertexArray vao;
        GlBuffer positions;
        GlBuffer colors;
        GLsizei count = 0;
        std::uint64_t lastDrawn = 0;  // frame number
    };

    bool EnsureProgram();
    void DropEvictedNodes(const StreamedCloud& cloud);
    GpuNode* Upload(const StreamedCloud& cloud, std::uint32_t node);
    void ReleaseCloud();

    std::function<void()> m_requestRepaint;
    // The document owns the cloud: closing it stops the decoding even while this renderer lives.
    std::weak_ptr<StreamedCloud> m_cloud;
    std::unordered_map<std::uint32_t, GpuNode> m_gpuNodes;
    GlProgram m_program;
    PointProgramUniforms m_uniforms;
    float m_pointSize = 2.0f;
    bool m_roundPoints = true;
    float m_viewportHeight = 1.0f;
    std::int64_t m_budgetSetting = -1;
    std::string m_glRenderer;
    bool m_hasLastCamera = false;
    Eigen::Matrix4f m_lastView = Eigen::Matrix4f::Zero();
    Eigen::Matrix4f m_lastProjection = Eigen::Matrix4f::Zero();
    std::uint64_t m_drawnPoints = 0;
    std::size_t m_nodesDrawn = 0;
    std::uint64_t m_frame = 0;
};
