#pragma once

#include "io/core/ReadResult.h"
#include "scene/GaussianData.h"

#include <string>

// Gaussian splat scenes in every format read here: the 3D Gaussian Splatting PLY and the
// shared formats made from it (SPZ, compressed PLY, SOG, .splat). The readers end a
// successful read with notes for the log: the PLY reader with its segmentation notes, the
// others with "[tag] SH degree: N" and "[tag] Loaded N gaussians.".

// True when the file's text header looks like a 3D Gaussian Splatting scene: its first line
// begins with "ply" and the 300 lines after it, up to a line containing "end_header", contain
// "f_dc_0", "opacity", "scale_0" and "rot_0" somewhere (in any element, even in comments).
// Reads only the header; false for a file that cannot be opened or is not a regular file.
bool IsGaussianSplatPly(const std::string& path);

// Reads a 3D Gaussian Splatting PLY file from its "vertex" element: positions relative to
// their per-axis minimum (kept in origin), SH colour (f_dc_*, or red/green/blue turned into
// degree-0 coefficients) and f_rest_* coefficients, logistic opacities, exponentiated scales,
// normalised rotations, and segment ids from object_id / obj_id / segment_id or from the
// arg-max of mask_* properties; then the bounds. A failure comes with one
// "[CGaussianPlyLoader] ..." note for the log. Never throws.
ReadResult<GaussianData> ReadGaussianPly(const std::string& path, const ReadOptions& options = {});

// The shared splat formats besides the 3DGS PLY.
enum class SplatFormat { None, Spz, CompressedPly, Sog, AntimatterSplat };

// Which of them the file is: by its content first (SPZ, compressed PLY, SOG), then by its
// extension (.spz, .sog, .splat, .compressed.ply), so that a damaged file of a known
// extension still goes to its reader and fails there with a reason.
SplatFormat DetectSplatFormat(const std::string& path);

// Reads the file with the format's reader; None fails as not recognised.
ReadResult<GaussianData> ReadSplatFormat(SplatFormat format, const std::string& path, const ReadOptions& options = {});
