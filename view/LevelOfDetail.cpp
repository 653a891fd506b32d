#include "view/LevelOfDetail.h"

#include "document/Document.h"
#include "render/CloudReorder.h"
#include "render/PointBudget.h"
#include "render/PointCloudRenderer.h"
#include "render/StreamedPointRenderer.h"
#include "view/OctreeBuildJob.h"
#include "view/ViewHost.h"

#include <span>
#include <utility>

namespace {

// A wheel notch or fly key counts as motion this long; the settle repaint comes a little
// later, so that it always finds the camera at rest.
constexpr std::chrono::milliseconds kCameraStepMotion{250};
constexpr int kSettleRepaintMilliseconds = 300;

}  // namespace

LevelOfDetail::LevelOfDetail(ViewHost& host) : m_host(host) {}

LevelOfDetail::~LevelOfDetail() = default;

std::uint64_t LevelOfDetail::StillBudget() const
{
    return StillPointBudget(m_budgetSetting.value_or(kAutomaticPointBudget), m_glRenderer);
}

bool LevelOfDetail::CameraMoving(bool dragging) const
{
    if (dragging)
        return true;
    return m_lastCameraStep && std::chrono::steady_clock::now() - *m_lastCameraStep < kCameraStepMotion;
}

void LevelOfDetail::NoteCameraStep()
{
    m_lastCameraStep = std::chrono::steady_clock::now();
    m_host.InvalidateViewAfter(kSettleRepaintMilliseconds);
}

void LevelOfDetail::ApplyBudget(PointCloudRenderer* points, StreamedPointRenderer* streamed, bool dragging) const
{
    const std::int64_t setting = m_budgetSetting.value_or(kAutomaticPointBudget);
    if (points)
        points->SetPointBudget(PointBudget(setting, m_glRenderer, CameraMoving(dragging)));
    // The streamed renderer tells a moving camera by itself, from frame to frame.
    if (streamed)
        streamed->SetPointBudgetSetting(setting);
}

bool LevelOfDetail::OctreeWanted(const Document& document, const PointCloudRenderer& points) const
{
    const PointCloudData* cloud = document.PointCloud();
    return cloud && !points.Octree() && NeedsOctree(cloud->positions.size(), StillBudget());
}

void LevelOfDetail::StartBuild(const Document& document)
{
    const PointCloudData* cloud = document.PointCloud();
    if (m_build || !m_pool || !cloud)
        return;
    const std::span<const Eigen::Vector3f> positions(cloud->positions);
    m_build = std::make_unique<OctreeBuildJob>(positions, m_pool, [&host = m_host] { host.PostWake(); });
}

void LevelOfDetail::StopBuild()
{
    // Destruction cancels the build and waits for the worker to let go of the positions.
    m_build.reset();
}

std::optional<PointOctree> LevelOfDetail::TakeFinishedBuild()
{
    if (!m_build || !m_build->Finished())
        return std::nullopt;
    return WaitForBuild();
}

std::optional<PointOctree> LevelOfDetail::WaitForBuild()
{
    if (!m_build)
        return std::nullopt;
    std::optional<PointOctree> tree = m_build->TakeResult();
    m_build.reset();
    return tree;
}

std::optional<PointOctree> LevelOfDetail::BuildNow(const Document& document) const
{
    const PointCloudData* cloud = document.PointCloud();
    if (!cloud)
        return std::nullopt;
    return BuildPointOctree(cloud->positions, CancellationToken{}, m_pool);
}

std::optional<PointOctree> LevelOfDetail::BuildBeforeUpload(Document& document) const
{
    const PointCloudData* cloud = document.PointCloud();
    if (!m_octreeBeforeUpload || !cloud || cloud->streamed || !NeedsOctree(cloud->positions.size(), StillBudget()))
        return std::nullopt;
    std::optional<PointOctree> tree = BuildPointOctree(cloud->positions, CancellationToken{}, m_pool);
    if (!tree || !PutCloudInTreeOrder(document, *tree))
        return std::nullopt;
    return tree;
}

bool LevelOfDetail::AdoptOctree(PointOctree tree, Document& document, PointCloudRenderer& points) const
{
    // The GPU copy is given back first: it is replaced below anyway, and the reorder holds a
    // second copy of one array at a time, so the two never add up.
    points.ReleaseCloud();
    const bool reordered = PutCloudInTreeOrder(document, tree);
    const PointCloudData* cloud = document.PointCloud();
    const bool drawable = cloud && points.UploadPoints(*cloud) && !cloud->positions.empty();
    if (drawable && reordered)
        points.SetOctree(std::make_shared<const PointOctree>(std::move(tree)));
    return drawable;
}

bool LevelOfDetail::PutCloudInTreeOrder(Document& document, PointOctree& tree) const
{
    const bool reordered = document.ReorderPoints(
        [&](PointCloudData& cloud) { return ReorderCloudToOctree(cloud, tree.order, m_pool); });
    tree.order = {};  // the arrays are in node order now; drawing needs only the nodes
    return reordered;
}

bool LevelOfDetail::DrawnCountChanged(std::uint64_t drawn)
{
    if (drawn == m_shownDrawnPoints)
        return false;
    m_shownDrawnPoints = drawn;
    return true;
}
