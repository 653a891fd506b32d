#pragma once

#include "io/core/ReadResult.h"
#include "scene/CameraPoses.h"
#include "scene/GaussianData.h"
#include "scene/PointCloudData.h"
#include "scene/Scene.h"

#include <cstdint>
#include <string>
#include <vector>

class DocumentHost;
struct SceneFileRead;
class ThreadPool;
class IDocumentView;

// Which record of the document holds the current scene.
enum class SceneKind : std::int32_t { None = 0, PointCloud = 1, GaussianSplats = 2 };

// The single document: owns the loaded scene (a point cloud or a Gaussian splat scene) and
// the camera frames of a camera pose file, picks the reader for a file from its header and
// name, reports a failed load in a message box and tells its views when the scene changed.
// It never writes files. Paths are UTF-8.
class Document {
public:
    // `pool`, when given, decodes files on all its threads; it must outlive the document.
    explicit Document(DocumentHost& host, ThreadPool* pool = nullptr);
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    PointCloudData m_pointCloud;
    GaussianData m_gaussianData;
    SceneKind m_sceneKind = SceneKind::None;
    CameraPoseSet m_cameraPoses;

    // Empties the document (no path, no scene, no camera frames).
    bool OnNewDocument();
    // Loads the file; true on success. Failures are shown in a message box.
    bool OnOpenDocument(const std::string& path);
    // The second half of OnOpenDocument, for a file read elsewhere (ReadSceneFile on a worker):
    // takes the scene, or shows why there is none, exactly as OnOpenDocument would.
    bool ApplySceneFile(SceneFileRead read);
    void DeleteContents();
    // Reads a camera pose file and, only on success, replaces the camera frames; a failure
    // is shown in a message box and keeps the previous frames.
    bool LoadCameraPoses(const std::string& path);
    // The second half of LoadCameraPoses, for a file read elsewhere (on a worker).
    bool ApplyCameraPoses(ReadResult<CameraPoseSet> poses);

    // The path of the open file; empty for a new document.
    const std::string& GetPathName() const { return m_pathName; }

    // The views told when the scene changes: the window's, and an off-screen one while a
    // fly-through is exported.
    void AddView(IDocumentView* view);
    void RemoveView(IDocumentView* view);
    // Tells every view that the scene changed (also for scenes put in by hand, as tests do).
    void NotifySceneChanged();

private:
    void TakeScene(Scene scene);

    DocumentHost& m_host;
    ThreadPool* m_pool = nullptr;
    std::string m_pathName;
    std::vector<IDocumentView*> m_views;
};
