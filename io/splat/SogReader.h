#pragma once

#include "io/core/ReadResult.h"
#include "scene/GaussianData.h"

#include <string>

// True when the file is a SOG scene: a zip archive holding meta.json, or a meta.json that
// describes SOG images (the scene's images then lie in the same folder).
bool IsSogFile(const std::string& path);

// Reads a SOG scene (meta.json version 2) from its zip bundle or from its meta.json: positions
// from two 8-bit halves of 16-bit values on a symmetric log scale, quaternions by their
// smallest three components, scales, colours and SH through 256-entry codebooks, SH from a
// palette of centroids chosen by a 16-bit label per splat.
ReadResult<GaussianData> ReadSog(const std::string& path, const ReadOptions& options = {});
