#pragma once

#include "io/core/ReadResult.h"
#include "scene/GaussianData.h"

#include <string>

// True when the file is a PLY whose header declares a "chunk" element and a "vertex" element
// with packed_position: PlayCanvas's compressed splat PLY.
bool IsCompressedSplatPly(const std::string& path);

// Reads a compressed splat PLY: 256-splat chunks with their value ranges, each splat's
// position, rotation, scale and colour packed in four 32-bit words, and SH (when there is an
// "sh" element) as bytes. Files from older writers lack the chunk's colour range and the SH.
ReadResult<GaussianData> ReadCompressedSplatPly(const std::string& path, const ReadOptions& options = {});
