#include "document/Document.h"

#include "document/DocumentView.h"
#include "document/ReadNotesLog.h"
#include "document/SceneFileRead.h"
#include "io/poses/PoseReader.h"
#include "document/DocumentHost.h"

#include <algorithm>
#include <utility>
#include <variant>

Document::Document(DocumentHost& host, ThreadPool* pool) : m_host(host), m_pool(pool) {}

SceneKind Document::Kind() const
{
    if (!m_scene)
        return SceneKind::None;
    return std::holds_alternative<GaussianData>(*m_scene) ? SceneKind::GaussianSplats : SceneKind::PointCloud;
}

const PointCloudData* Document::PointCloud() const
{
    return m_scene ? std::get_if<PointCloudData>(&*m_scene) : nullptr;
}

const GaussianData* Document::Splats() const
{
    return m_scene ? std::get_if<GaussianData>(&*m_scene) : nullptr;
}

bool Document::Open(const std::string& source)
{
    return FinishOpen(ReadSceneFile(source, ReadOptions{{}, m_pool}));
}

bool Document::FinishOpen(SceneFileRead read)
{
    if (read.unreadable) {
        m_host.ReportOpenFailure({read.failureKind, read.path, read.scene.Failure()});
        return false;
    }
    const bool loaded = read.scene.Ok();
    if (loaded) {
        ReplaceScene(read.scene.TakeValue(), std::move(read.path));
    } else {
        // The earlier scene is gone too: the document is now empty and untitled.
        ReplaceScene(std::nullopt, {});
        m_host.ReportOpenFailure({read.failureKind, read.path, read.scene.Failure()});
    }
    m_host.RefreshFrameTitle(m_source);
    return loaded;
}

void Document::Clear()
{
    ReplaceScene(std::nullopt, {});
    m_host.RefreshFrameTitle(m_source);
}

void Document::SetScene(Scene scene, std::string source)
{
    ReplaceScene(std::move(scene), std::move(source));
    m_host.RefreshFrameTitle(m_source);
}

void Document::ReplaceScene(std::optional<Scene> scene, std::string source)
{
    for (IDocumentView* view : std::vector<IDocumentView*>(m_views))
        view->OnSceneLeaving();
    m_scene.reset();
    m_cameraPoses.Clear();
    m_source = std::move(source);
    if (!scene)
        return;
    m_scene = std::move(scene);
    NotifySceneChanged();
}

bool Document::ReorderPoints(const std::function<bool(PointCloudData&)>& reorder)
{
    auto* cloud = m_scene ? std::get_if<PointCloudData>(&*m_scene) : nullptr;
    return cloud && reorder(*cloud);
}

bool Document::OpenCameraPoses(const std::string& path)
{
    return FinishOpenCameraPoses(ReadCameraPoses(path));
}

bool Document::FinishOpenCameraPoses(ReadResult<CameraPoseSet> poses)
{
    LogReadNotes(poses.TakeNotes());
    if (!poses) {
        m_host.ReportOpenFailure({OpenFailureKind::CameraPoses, {}, poses.Failure()});
        return false;
    }
    m_cameraPoses = poses.TakeValue();
    return true;
}

void Document::AddView(IDocumentView* view)
{
    if (view && std::find(m_views.begin(), m_views.end(), view) == m_views.end())
        m_views.push_back(view);
}

void Document::RemoveView(IDocumentView* view)
{
    m_views.erase(std::remove(m_views.begin(), m_views.end(), view), m_views.end());
}

void Document::NotifySceneChanged()
{
    // A view may add or remove views while it is told; those removed meanwhile are skipped.
    const std::vector<IDocumentView*> views = m_views;
    for (IDocumentView* view : views)
        if (std::find(m_views.begin(), m_views.end(), view) != m_views.end())
            view->OnSceneChanged();
}
