#pragma once

#include "document/OpenFailure.h"
#include "io/core/ReadResult.h"
#include "scene/Scene.h"

#include <span>
#include <string>
#include <string_view>

// One way of reading a scene file. The document asks the readers in order and uses the
// first that accepts the file.
struct SceneReader {
    // Whether this reader takes the file, from its header bytes or its name; `extension`
    // is the file name's extension, lower-cased (FileExtension).
    bool (*accepts)(const std::string& path, std::string_view extension);
    ReadResult<Scene> (*read)(const std::string& path, const ReadOptions& options);
    // How the user is told when the read fails.
    OpenFailureKind failureKind;
};

// The readers in the order they are asked: files with a Gaussian splat header whatever
// their name, then by extension.
std::span<const SceneReader> SceneReaders();

// The first reader that accepts the file; null when none does.
const SceneReader* FindSceneReader(const std::string& path);

// How the user is told when no reader accepts a file.
extern const OpenFailureKind kUnknownSceneFileFailure;
// Why, in one line, for the message box's details.
extern const char* const kUnknownSceneFileReason;
