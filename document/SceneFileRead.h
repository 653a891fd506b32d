#pragma once

#include "document/OpenFailure.h"
#include "io/core/ReadResult.h"
#include "scene/Scene.h"

#include <functional>
#include <string>

// What reading a scene file produced, before the document takes it: the scene, or why
// there is none and what was being opened.
struct SceneFileRead {
    std::string path;
    ReadResult<Scene> scene;
    // How the user is told when the read failed.
    OpenFailureKind failureKind = OpenFailureKind::PointCloud;
    // Turned away before any reader ran (missing, not a regular file): the open document stays.
    bool unreadable = false;

    bool Cancelled() const { return !scene && scene.Failure().code == ReadError::Cancelled; }
};

// Reads a scene file with the reader the file's header or name calls for, and writes the
// reader's notes to the log. Touches no document and no window, so it may run on any thread.
SceneFileRead ReadSceneFile(const std::string& path, const ReadOptions& options);

// ReadSceneFile, or a stand-in for it (tests use one that waits, as a slow disk would).
using SceneFileReader = std::function<SceneFileRead(const std::string& path, const ReadOptions& options)>;
