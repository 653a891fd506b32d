#include "document/COrriskDoc.h"

#include "document/DocumentView.h"
#include "io/GaussianPlyLoader.h"
#include "io/LasReader.h"
#include "io/PlyLoader.h"
#include "io/ReadOnlyFile.h"
#include "io/splat/SplatFormats.h"
#include "platform/DebugOutput.h"
#include "platform/Desktop.h"

#include <algorithm>

namespace {

constexpr const char* kSplatLoadFailed = "Failed to load the 3D Gaussian Splatting file.\nPlease check the file contents.";
constexpr const char* kPointCloudLoadFailed =
    "Failed to load the point cloud file.\nPlease check the file format (PLY / LAS) and its contents.";
constexpr const char* kCameraPosesFailed = "Failed to load the camera pose file (transforms.json).\n";

// The characters after the last '.' anywhere in the path (a dot in a folder name counts
// too), with A-Z lower-cased; empty when there is no '.' or the path ends with it.
std::string FileExtension(const std::string& path)
{
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos)
        return {};
    std::string extension = path.substr(dot + 1);
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return extension;
}

// What opening a document needs before anything is emptied: a regular file that can be
// opened for reading. Directories, devices and pipes are turned away.
bool CanOpenForReading(const std::string& path)
{
    const ReadOnlyFile file(path);
    return file.RegularFileSize().has_value();
}

}  // namespace

COrriskDoc::COrriskDoc(IDesktop& desktop) : m_desktop(desktop) {}

bool COrriskDoc::OnNewDocument()
{
    DeleteContents();
    m_pathName.clear();
    m_desktop.RefreshFrameTitle(m_pathName);
    return true;
}

bool COrriskDoc::OnOpenDocument(const std::string& path)
{
    if (!CanOpenForReading(path)) {
        m_desktop.ShowMessageBox("ファイル " + path + " を開けませんでした。");
        return false;
    }
    DeleteContents();
    m_pathName = path;
    const bool loaded = LoadScene(path);
    if (loaded)
        UpdateAllViews(kSceneChangedHint);
    else
        m_pathName.clear();  // the earlier scene is gone too: the document is now empty and untitled
    m_desktop.RefreshFrameTitle(m_pathName);
    return loaded;
}

bool COrriskDoc::LoadScene(const std::string& path)
{
    // Splat files are recognised by their header whatever their name.
    if (IsGaussianSplatPly(path)) {
        if (!LoadGaussianPly(path, m_gaussianData)) {
            m_desktop.ShowMessageBox(kSplatLoadFailed);
            return false;
        }
        m_sceneKind = SceneKind::GaussianSplats;
        return true;
    }
    // The shared splat formats: by content, then by extension.
    if (const SplatFormat format = DetectSplatFormat(path); format != SplatFormat::None) {
        ReadResult<GaussianData> scene = ReadSplatFormat(format, path);
        if (!scene) {
            DebugOutput("[COrriskDoc] " + scene.Failure().reason + "\n");
            m_desktop.ShowMessageBox(kSplatLoadFailed);
            return false;
        }
        m_gaussianData = scene.TakeValue();
        m_sceneKind = SceneKind::GaussianSplats;
        return true;
    }
    const std::string extension = FileExtension(path);
    bool loaded = false;
    if (extension == "ply")
        loaded = CPlyLoader::LoadPly(path, m_pointCloud);
    else if (extension == "las")
        loaded = LoadLas(path, m_pointCloud);
    if (!loaded) {
        m_desktop.ShowMessageBox(kPointCloudLoadFailed);
        return false;
    }
    m_sceneKind = SceneKind::PointCloud;
    return true;
}

void COrriskDoc::DeleteContents()
{
    m_pointCloud.Clear();
    m_gaussianData.Clear();
    m_cameraPoses.Clear();
    m_sceneKind = SceneKind::None;
}

bool COrriskDoc::LoadCameraPoses(const std::string& path)
{
    CameraPoseSet poses;
    std::string errorText;
    if (!LoadCameraPoseFile(path, poses, errorText)) {
        m_desktop.ShowMessageBox(kCameraPosesFailed + errorText);
        return false;
    }
    m_cameraPoses = std::move(poses);
    return true;
}

void COrriskDoc::AddView(IDocumentView* view)
{
    if (view && std::find(m_views.begin(), m_views.end(), view) == m_views.end())
        m_views.push_back(view);
}

void COrriskDoc::RemoveView(IDocumentView* view)
{
    m_views.erase(std::remove(m_views.begin(), m_views.end(), view), m_views.end());
}

void COrriskDoc::UpdateAllViews(int hint)
{
    // A view may add or remove views while it is told; those removed meanwhile are skipped.
    const std::vector<IDocumentView*> views = m_views;
    for (IDocumentView* view : views)
        if (std::find(m_views.begin(), m_views.end(), view) != m_views.end())
            view->OnUpdate(hint);
}
