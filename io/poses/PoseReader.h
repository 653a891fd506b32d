#pragma once

#include "io/core/ReadResult.h"
#include "scene/CameraPoses.h"

#include <string>

// Reads a camera pose file (path in UTF-8): a transforms.json, or a trainer's cameras.json,
// told apart by content; the frames that could be read, in file order. A failure's reason is
// a short English sentence ("Cannot open file.") that the document shows after its own first
// line, so it does not name the format. Never throws.
ReadResult<CameraPoseSet> ReadCameraPoses(const std::string& path, const ReadOptions& options = {});
