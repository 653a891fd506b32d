#include "view/SceneView.h"

#include "document/Document.h"
#include "render/CloudReorder.h"
#include "render/PointBudget.h"
#include "render/PointCloudRenderer.h"
#include "scene/StreamedCloud.h"
#include "view/OctreeBuildJob.h"

#include <span>
#include <utility>

namespace {

// A wheel notch or fly key counts as motion this long; the settle repaint comes a little
// later, so that it always finds the camera at rest.
constexpr std::chrono::milliseconds kCameraStepMotion{250};
constexpr int kSettleRepaintMilliseconds = 300;

}  // namespace

void SceneView::SetWorkerPool(ThreadPool* pool)
{
    StopOctreeBuild();
    m_workerPool = pool;
    StartOctreeBuildIfNeeded();
}

std::uint64_t SceneView::StillBudget() const
{
    return StillPointBudget(m_pointBudgetSetting.value_or(kAutomaticPointBudget), m_glRenderer);
}

bool SceneView::CameraMoving() const
{
    if (m_controller.dragMode != DragMode::Idle)
        return true;
    return m_lastCameraStep && std::chrono::steady_clock::now() - *m_lastCameraStep < kCameraStepMotion;
}

void SceneView::NoteCameraStep()
{
    m_lastCameraStep = std::chrono::steady_clock::now();
    m_desktop.InvalidateViewAfter(kSettleRepaintMilliseconds);
}

void SceneView::ApplyPointBudget()
{
    const std::int64_t setting = m_pointBudgetSetting.value_or(kAutomaticPointBudget);
    if (PointCloudRenderer* points = PointRenderer())
        points->SetPointBudget(PointBudget(setting, m_glRenderer, CameraMoving()));
    // The streamed renderer tells a moving camera by itself, from frame to frame.
    if (m_streamedRenderer)
        m_streamedRenderer->SetPointBudgetSetting(setting);
}

PointDrawStats SceneView::LastDrawStats() const
{
    if (const PointCloudRenderer* points = PointRenderer())
        return points->LastDrawStats();
    PointDrawStats stats;
    if (m_streamedRenderer && m_document && m_document->m_pointCloud.streamed) {
        stats.total = m_document->m_pointCloud.streamed->TotalPoints();
        stats.drawn = m_streamedRenderer->DrawnPoints();
        stats.nodesDrawn = m_streamedRenderer->NodesDrawn();
        stats.nodesLoaded = m_document->m_pointCloud.streamed->GetStats().loadedNodes;
        return stats;
    }
    if (m_document && m_splatRenderer && m_sceneDrawable)
        stats.total = stats.drawn = m_document->m_gaussianData.positions.size();
    return stats;
}

bool SceneView::OctreeWanted() const
{
    const PointCloudRenderer* points = PointRenderer();
    return points && m_document && m_sceneDrawable && !points->Octree() &&
           m_document->m_sceneKind == SceneKind::PointCloud &&
           NeedsOctree(m_document->m_pointCloud.positions.size(), StillBudget());
}

void SceneView::StartOctreeBuildIfNeeded()
{
    if (m_octreeBuild || !m_workerPool || !m_glSurface.HasContext() || !OctreeWanted())
        return;
    const std::span<const Eigen::Vector3f> positions(m_document->m_pointCloud.positions);
    m_octreeBuild = std::make_unique<OctreeBuildJob>(positions, m_workerPool,
                                                     [&desktop = m_desktop] { desktop.PostResortMessage(); });
}

void SceneView::StopOctreeBuild()
{
    // Destruction cancels the build and waits for the worker to let go of the positions.
    m_octreeBuild.reset();
}

void SceneView::OnSceneLeaving()
{
    StopOctreeBuild();
}

void SceneView::FinishOctreeBuild()
{
    std::optional<PointOctree> tree;
    if (m_octreeBuild) {
        tree = m_octreeBuild->TakeResult();
        m_octreeBuild.reset();
    } else if (OctreeWanted() && m_glSurface.HasContext()) {
        tree = BuildPointOctree(m_document->m_pointCloud.positions, CancellationToken{}, m_workerPool);
    }
    if (tree)
        AdoptOctree(std::move(*tree));
}

std::optional<PointOctree> SceneView::OctreeBeforeUpload()
{
    if (!m_octreeBeforeUpload || !m_pointRenderer || !m_document || m_document->m_sceneKind != SceneKind::PointCloud)
        return std::nullopt;
    PointCloudData& cloud = m_document->m_pointCloud;
    if (cloud.streamed || !NeedsOctree(cloud.positions.size(), StillBudget()))
        return std::nullopt;
    std::optional<PointOctree> tree = BuildPointOctree(cloud.positions, CancellationToken{}, m_workerPool);
    if (!tree || !ReorderCloudToOctree(cloud, tree->order, m_workerPool))
        return std::nullopt;
    tree->order = {};  // the arrays are in node order now; drawing needs only the nodes
    return tree;
}

void SceneView::AdoptOctree(PointOctree tree)
{
    // The document may have changed since the build began only through a new scene, which
    // cancels the build; a tree that no longer fits is dropped all the same.
    PointCloudRenderer* points = PointRenderer();
    if (!points || !m_document || !m_glSurface.HasContext())
        return;
    PointCloudData& cloud = m_document->m_pointCloud;
    // The GPU copy is given back first: it is replaced below anyway, and the reorder holds a
    // second copy of one array at a time, so the two never add up.
    m_glSurface.MakeCurrent();
    points->ReleaseCloud();
    const bool reordered = ReorderCloudToOctree(cloud, tree.order, m_workerPool);
    tree.order = {};  // the arrays are in node order now; drawing needs only the nodes
    m_sceneDrawable = points->UploadPoints(cloud) && !cloud.positions.empty();
    if (m_sceneDrawable && reordered)
        points->SetOctree(std::make_shared<const PointOctree>(std::move(tree)));
    Invalidate();
}

void SceneView::ShowDrawnCount()
{
    const PointCloudRenderer* points = PointRenderer();
    const std::uint64_t drawn = points ? points->LastDrawStats().drawn : 0;
    if (drawn == m_shownDrawnPoints)
        return;
    m_shownDrawnPoints = drawn;
    UpdateStatusTexts();
}
