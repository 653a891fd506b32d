#include "render/StreamedPointRenderer.h"

#include "platform/Log.h"
#include "render/GpuObjects.h"
#include "render/PointBudget.h"
#include "render/PointProgram.h"
#include "scene/PointCloudData.h"
#include "scene/StreamedCloud.h"

#include <utility>

namespace {

constexpr GLuint kPositionLocation = 0;
constexpr GLuint kColorLocation = 1;
// GPU copies of nodes not drawn for this many frames are given back, so that the GPU holds
// about what the recent views drew, not everything the (larger) cache holds.
constexpr std::uint64_t kGpuKeepFrames = 60;

}  // namespace

StreamedPointRenderer::StreamedPointRenderer(std::function<void()> requestRepaint)
    : m_requestRepaint(std::move(requestRepaint))
{
}

StreamedPointRenderer::~StreamedPointRenderer()
{
    if (const auto cloud = m_cloud.lock())
        cloud->SetArrivalCallback({});
}

bool StreamedPointRenderer::EnsureProgram()
{
    if (m_program.Name() != 0)
        return true;
    m_program = BuildPointProgram("StreamedPointRenderer", m_uniforms);
    if (m_program.Name() == 0)
        return false;
    return true;
}

bool StreamedPointRenderer::UploadPoints(const PointCloudData& cloud)
{
    ReleaseCloud();
    if (!cloud.streamed || !EnsureProgram())
        return false;
    m_cloud = cloud.streamed;
    cloud.streamed->SetArrivalCallback(m_requestRepaint);
    m_hasLastCamera = false;
    return true;
}

namespace {

StreamedSelection Select(const StreamedCloud& cloud, const SelectionView& view, std::uint64_t budget)
{
    return SelectStreamedNodes(cloud.Nodes(), view, budget, [&cloud](std::size_t node) {
        if (cloud.IsLoaded(node))
            return NodeAvailability::Loaded;
        return cloud.HasFailed(node) ? NodeAvailability::Unavailable : NodeAvailability::Missing;
    });
}

}  // namespace

void StreamedPointRenderer::DropEvictedNodes(const StreamedCloud& cloud)
{
    for (auto it = m_gpuNodes.begin(); it != m_gpuNodes.end();) {
        if (cloud.IsLoaded(it->first) && m_frame - it->second.lastDrawn <= kGpuKeepFrames)
            ++it;
        else
            it = m_gpuNodes.erase(it);
    }
}

StreamedPointRenderer::GpuNode* StreamedPointRenderer::Upload(const StreamedCloud& cloud, std::uint32_t node)
{
    if (const auto found = m_gpuNodes.find(node); found != m_gpuNodes.end())
        return &found->second;
    const std::shared_ptr<const NodePoints> points = cloud.Points(node);
    if (!points || points->positions.empty())
        return nullptr;
    GpuNode gpu;
    gpu.positions = CreateStaticBuffer(points->positions);
    if (!points->colors.empty())
        gpu.colors = CreateStaticBuffer(points->colors);
    if (gpu.positions.Name() == 0 || (!points->colors.empty() && gpu.colors.Name() == 0)) {
        Log(LogLevel::Error, "StreamedPointRenderer",
            "cannot allocate GPU memory for the " + std::to_string(points->positions.size()) + " points of node " +
                std::to_string(node) + ".\n");
        return nullptr;
    }
    gpu.vao = GlVertexArray::Create();
    AttachFloatAttributes(gpu.vao, 0, gpu.positions, sizeof(Eigen::Vector3f), {{kPositionLocation, 3, 0}});
    if (gpu.colors.Name() != 0)
        AttachFloatAttributes(gpu.vao, 1, gpu.colors, sizeof(Eigen::Vector4f), {{kColorLocation, 4, 0}});
    gpu.count = static_cast<GLsizei>(points->positions.size());
    gpu.lastDrawn = m_frame;
    return &m_gpuNodes.emplace(node, std::move(gpu)).first->second;
}

void StreamedPointRenderer::Draw(const Eigen::Matrix4f& view, const Eigen::Matrix4f& projection)
{
    m_drawnPoints = 0;
    m_nodesDrawn = 0;
    const std::shared_ptr<StreamedCloud> cloud = m_cloud.lock();
    if (!cloud || m_program.Name() == 0)
        return;
    if (m_glRenderer.empty()) {
        const GLubyte* name = glGetString(GL_RENDERER);
        m_glRenderer = name ? reinterpret_cast<const char*>(name) : "unknown";
    }
    const bool waits = cloud->DrawWaitsForNodes();
    const bool moving = !waits && m_hasLastCamera && (view != m_lastView || projection != m_lastProjection);
    m_hasLastCamera = true;
    m_lastView = view;
    m_lastProjection = projection;

    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    if (viewport[3] > 0)
        m_viewportHeight = static_cast<float>(viewport[3]);
    const SelectionView selectionView{projection * view, m_viewportHeight};
    const std::uint64_t budget = PointBudget(m_budgetSetting, m_glRenderer, moving);
    StreamedSelection selection = Select(*cloud, selectionView, budget);
    if (waits) {
        // Every round loads or fails at least one node, or the selection is complete.
        for (std::size_t round = 0; !selection.missing.empty() && round <= cloud->Nodes().size(); ++round) {
            cloud->Request(selection.missing);
            cloud->WaitUntilIdle();
            selection = Select(*cloud, selectionView, budget);
        }
    } else if (!selection.missing.empty()) {
        cloud->Request(selection.missing);
    }
    cloud->MarkDrawn(selection.drawn);
    ++m_frame;
    DropEvictedNodes(*cloud);

    UsePointProgram(m_program, m_uniforms, view, projection, m_pointSize, m_roundPoints);
    for (const std::uint32_t node : selection.drawn) {
        GpuNode* gpu = Upload(*cloud, node);
        if (!gpu)
            continue;
        gpu->lastDrawn = m_frame;
        // A disabled attribute's constant belongs to the context: set it for every draw.
        if (gpu->colors.Name() == 0)
            glVertexAttrib4f(kColorLocation, 1.0f, 1.0f, 1.0f, 1.0f);
        glBindVertexArray(gpu->vao.Name());
        glDrawArrays(GL_POINTS, 0, gpu->count);
        m_drawnPoints += static_cast<std::uint64_t>(gpu->count);
        ++m_nodesDrawn;
    }
    glBindVertexArray(0);
    glUseProgram(0);
    if (moving && m_requestRepaint)
        m_requestRepaint();
}

void StreamedPointRenderer::DrawPick(const Eigen::Matrix4f& view, const Eigen::Matrix4f& projection)
{
    Draw(view, projection);
}

void StreamedPointRenderer::SetPointStyle(const PointStyle& style)
{
    m_pointSize = style.size;
    m_roundPoints = style.isRound;
}

void StreamedPointRenderer::Resize(int, int height)
{
    if (height > 0)
        m_viewportHeight = static_cast<float>(height);
}

void StreamedPointRenderer::ReleaseCloud()
{
    m_gpuNodes.clear();
    if (const auto cloud = m_cloud.lock())
        cloud->SetArrivalCallback({});
    m_cloud.reset();
    m_drawnPoints = 0;
    m_nodesDrawn = 0;
}

void StreamedPointRenderer::ReleaseGpuResources()
{
    ReleaseCloud();
    m_program.Reset();
    m_uniforms = {};
}
