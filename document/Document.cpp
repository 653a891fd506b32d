#include "document/Document.h"

#include "document/DocumentView.h"
#include "document/ReadNotesLog.h"
#include "document/SceneFileRead.h"
#include "io/poses/PoseReader.h"
#include "document/DocumentHost.h"

#include <algorithm>
#include <utility>
#include <variant>

namespace {

constexpr const char* kCameraPosesFailed = "Failed to load the camera pose file (transforms.json).\n";

}  // namespace

Document::Document(DocumentHost& host, ThreadPool* pool) : m_host(host), m_pool(pool) {}

bool Document::OnNewDocument()
{
    DeleteContents();
    m_pathName.clear();
    m_host.RefreshFrameTitle(m_pathName);
    return true;
}

bool Document::OnOpenDocument(const std::string& path)
{
    return ApplySceneFile(ReadSceneFile(path, ReadOptions{{}, m_pool}));
}

bool Document::ApplySceneFile(SceneFileRead read)
{
    if (read.unreadable) {
        m_host.ShowMessageBox(read.failureMessage, read.scene.Failure().reason);
        return false;
    }
    DeleteContents();
    m_pathName = read.path;
    const bool loaded = read.scene.Ok();
    if (loaded) {
        TakeScene(read.scene.TakeValue());
        NotifySceneChanged();
    } else {
        m_host.ShowMessageBox(read.failureMessage, read.scene.Failure().reason);
        m_pathName.clear();  // the earlier scene is gone too: the document is now empty and untitled
    }
    m_host.RefreshFrameTitle(m_pathName);
    return loaded;
}

void Document::TakeScene(Scene scene)
{
    if (auto* splats = std::get_if<GaussianData>(&scene)) {
        m_gaussianData = std::move(*splats);
        m_sceneKind = SceneKind::GaussianSplats;
    } else {
        m_pointCloud = std::move(std::get<PointCloudData>(scene));
        m_sceneKind = SceneKind::PointCloud;
    }
}

void Document::DeleteContents()
{
    for (IDocumentView* view : std::vector<IDocumentView*>(m_views))
        view->OnSceneLeaving();
    m_pointCloud.Clear();
    m_gaussianData.Clear();
    m_cameraPoses.Clear();
    m_sceneKind = SceneKind::None;
}

bool Document::LoadCameraPoses(const std::string& path)
{
    return ApplyCameraPoses(ReadCameraPoses(path));
}

bool Document::ApplyCameraPoses(ReadResult<CameraPoseSet> poses)
{
    LogReadNotes(poses.TakeNotes());
    if (!poses) {
        m_host.ShowMessageBox(kCameraPosesFailed + poses.Failure().reason);
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
