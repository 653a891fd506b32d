#pragma once

#include "io/core/ReadResult.h"
#include "scene/CameraPoses.h"
#include "scene/GaussianData.h"
#include "scene/PointCloudData.h"
#include "scene/Scene.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class DocumentHost;
struct SceneFileRead;
class ThreadPool;
class IDocumentView;

// Which kind of scene the document holds.
enum class SceneKind : std::int32_t { None = 0, PointCloud = 1, GaussianSplats = 2 };

// The single document: holds the open scene (a point cloud or a Gaussian splat scene) and
// the camera frames of a camera pose file, picks the reader for a file from its header and
// name, reports a failed open in a message box and tells its views when the scene changed.
// Every new scene comes in through one place, which drops the old one with its camera frames
// and tells the views. It never writes files. Sources are UTF-8 paths.
class Document {
public:
    // `pool`, when given, decodes files on all its threads; it must outlive the document.
    explicit Document(DocumentHost& host, ThreadPool* pool = nullptr);
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    SceneKind Kind() const;
    // The open scene as a point cloud or as splats; null when it is of the other kind or
    // there is none.
    const PointCloudData* PointCloud() const;
    const GaussianData* Splats() const;
    // The frames of the camera pose file opened last; empty when none is open.
    const CameraPoseSet& CameraPoses() const { return m_cameraPoses; }
    // Where the open scene came from; empty when there is none or it was put in by hand.
    const std::string& Source() const { return m_source; }

    // Reads the file and takes its scene; true on success. Failures are shown in a message
    // box: a file that cannot be opened at all keeps the open scene, one that fails to read
    // leaves the document empty.
    bool Open(const std::string& source);
    // Open's second half, for a file read elsewhere (ReadSceneFile on a worker): takes the
    // scene, or shows why there is none, exactly as Open would.
    bool FinishOpen(SceneFileRead read);
    // Empties the document: no source, no scene, no camera frames. The views are not told of
    // a new scene; they draw nothing from an empty document.
    void Clear();
    // Reads a camera pose file and, only on success, replaces the camera frames; a failure
    // is shown in a message box and keeps the previous frames.
    bool OpenCameraPoses(const std::string& path);
    // OpenCameraPoses's second half, for a file read elsewhere (on a worker).
    bool FinishOpenCameraPoses(ReadResult<CameraPoseSet> poses);

    // A scene made elsewhere (by a test, a benchmark or a tool), taken as a successful open
    // takes a file's: the camera frames go, the views are told and the title shows `source`.
    void SetScene(Scene scene, std::string source = {});
    // Camera frames made elsewhere; the views are not told, as after OpenCameraPoses.
    void SetCameraPoses(CameraPoseSet poses) { m_cameraPoses = std::move(poses); }

    // The one change the document lets others make to its point cloud: putting the points
    // into another order, as a view does to draw them through an octree. `reorder` must keep
    // the same points with all their attributes. False, without calling it, when the scene
    // is no point cloud; otherwise what `reorder` returns.
    bool ReorderPoints(const std::function<bool(PointCloudData&)>& reorder);

    // The views told when the scene changes: the window's, and an off-screen one while a
    // fly-through is exported.
    void AddView(IDocumentView* view);
    void RemoveView(IDocumentView* view);

private:
    // The one place where the scene is replaced: the views let go of the old one, which
    // goes with its camera frames; the new one, when there is one, is announced to them.
    void ReplaceScene(std::optional<Scene> scene, std::string source);
    void NotifySceneChanged();

    DocumentHost& m_host;
    ThreadPool* m_pool = nullptr;
    std::optional<Scene> m_scene;
    CameraPoseSet m_cameraPoses;
    std::string m_source;
    std::vector<IDocumentView*> m_views;
};
