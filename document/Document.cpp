#include "document/Document.h"

#include "document/DocumentView.h"
#include "document/SceneReaders.h"
#include "io/CameraPoseReader.h"
#include "io/ReadOnlyFile.h"
#include "document/DocumentHost.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>
#include <variant>

namespace {

constexpr const char* kCameraPosesFailed = "Failed to load the camera pose file (transforms.json).\n";

// What opening a document needs before anything is emptied: a regular file that can be
// opened for reading. Directories, devices and pipes are turned away.
bool CanOpenForReading(const std::string& path)
{
    const ReadOnlyFile file(path);
    return file.RegularFileSize().has_value();
}

// Why a file that CanOpenForReading turned away cannot be opened, in one line.
std::string WhyNotReadable(const std::string& path)
{
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status))
        return "the file does not exist";
    if (!std::filesystem::is_regular_file(status))
        return "it is not a regular file";
    return "the file cannot be opened for reading";
}

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
    if (!CanOpenForReading(path)) {
        m_host.ShowMessageBox("ファイル " + path + " を開けませんでした。", WhyNotReadable(path));
        return false;
    }
    DeleteContents();
    m_pathName = path;
    const bool loaded = LoadScene(path);
    if (loaded)
        UpdateAllViews(kSceneChangedHint);
    else
        m_pathName.clear();  // the earlier scene is gone too: the document is now empty and untitled
    m_host.RefreshFrameTitle(m_pathName);
    return loaded;
}

bool Document::LoadScene(const std::string& path)
{
    const SceneReader* reader = FindSceneReader(path);
    if (!reader) {
        m_host.ShowMessageBox(kUnknownSceneFileMessage, kUnknownSceneFileReason);
        return false;
    }
    ReadResult<Scene> scene = reader->read(path, ReadOptions{{}, m_pool});
    if (!scene) {
        m_host.ShowMessageBox(reader->failureMessage, scene.Failure().reason);
        return false;
    }
    if (auto* splats = std::get_if<GaussianData>(&scene.Value())) {
        m_gaussianData = std::move(*splats);
        m_sceneKind = SceneKind::GaussianSplats;
    } else {
        m_pointCloud = std::move(std::get<PointCloudData>(scene.Value()));
        m_sceneKind = SceneKind::PointCloud;
    }
    return true;
}

void Document::DeleteContents()
{
    m_pointCloud.Clear();
    m_gaussianData.Clear();
    m_cameraPoses.Clear();
    m_sceneKind = SceneKind::None;
}

bool Document::LoadCameraPoses(const std::string& path)
{
    ReadResult<CameraPoseSet> poses = ReadCameraPoses(path);
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

void Document::UpdateAllViews(int hint)
{
    // A view may add or remove views while it is told; those removed meanwhile are skipped.
    const std::vector<IDocumentView*> views = m_views;
    for (IDocumentView* view : views)
        if (std::find(m_views.begin(), m_views.end(), view) != m_views.end())
            view->OnUpdate(hint);
}
