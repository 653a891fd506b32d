#pragma once

#include "io/core/ReadResult.h"
#include "scene/GaussianData.h"

#include <string>

// True when the file is an SPZ scene: a gzip stream whose payload starts with "NGSP"
// (versions 1 to 3), or "NGSP" at the start of the file (version 4).
bool IsSpzFile(const std::string& path);

// Reads an SPZ scene (versions 1 to 4), converting its axes to those of the 3DGS PLY it was
// made from. SH degree 4 is read as degree 3.
ReadResult<GaussianData> ReadSpz(const std::string& path, const ReadOptions& options = {});
