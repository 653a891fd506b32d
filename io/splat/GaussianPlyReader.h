#pragma once

#include "scene/GaussianData.h"
#include "io/core/ReadResult.h"
#include "io/ply/PlyElement.h"

#include <cstdint>
#include <string>
#include <vector>

// True when the file's text header looks like a 3D Gaussian Splatting scene: its first line
// begins with "ply" and the 300 lines after it, up to a line containing "end_header", contain
// "f_dc_0", "opacity", "scale_0" and "rot_0" somewhere (in any element, even in comments).
// Reads only the header; false for a file that cannot be opened or is not a regular file.
bool IsGaussianSplatPly(const std::string& path);

// Reads a 3D Gaussian Splatting PLY file into `data` from its "vertex" element: positions
// relative to their per-axis minimum (kept in origin), SH colour (f_dc_*, or red/green/blue
// turned into degree-0 coefficients) and f_rest_* coefficients, logistic opacities,
// exponentiated scales, normalised rotations, and segment ids from object_id / obj_id /
// segment_id or from the arg-max of mask_* properties; then the bounds. A failure also writes
// one "[CGaussianPlyLoader] ..." line to the log. Never throws.
ReadResult<GaussianData> ReadGaussianPly(const std::string& path, const ReadOptions& options = {});

// The values of the element's scalar property `name` as float, one per record; empty when
// there is no such property, it is a list property, or its type (ushort, uint) has no float
// reading. See SplatColumn for the conversions.
std::vector<float> ReadPropertyAsFloat(const orrisk::ply::PlyElement& element, const std::string& name);

// The values of the element's scalar property `name` as uint32, one per record; empty when
// there is no such property or it is a list property. See SplatColumn for the conversions.
std::vector<std::uint32_t> ReadPropertyAsUInt32(const orrisk::ply::PlyElement& element, const std::string& name);
