#pragma once

#include "scene/GaussianData.h"
#include "io/core/ReadResult.h"

#include <string>

// The shared splat formats besides the 3DGS PLY.
enum class SplatFormat { None, Spz, CompressedPly, Sog, AntimatterSplat };

// Which of them the file is: by its content first (SPZ, compressed PLY, SOG), then by its
// extension (.spz, .sog, .splat, .compressed.ply), so that a
// damaged file of a known extension still goes to its reader and fails there with a reason.
SplatFormat DetectSplatFormat(const std::string& path);

// Reads the file with the format's reader; None fails as not recognised.
ReadResult<GaussianData> ReadSplatFormat(SplatFormat format, const std::string& path, const ReadOptions& options = {});
