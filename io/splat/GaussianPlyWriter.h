#pragma once

#include "scene/GaussianData.h"

#include <filesystem>

// Writes a splat scene as a binary little-endian 3D Gaussian Splatting PLY file: one
// "vertex" element with float x y z, nx ny nz (always zero), f_dc_0..2,
// f_rest_0..(shRestCount-1), opacity, scale_0..2, rot_0..3 and, when the scene has ids,
// uint object_id.
//
// The record holds display values (as the splat reader produces them); the file holds
// the values before activation, so the writer stores logit(opacity) and log(scale).
// Opacities are clamped to [1e-6, 1 - 1e-6] and scales to at least the smallest normal
// float so that every value in the file is finite. Positions are written as origin +
// position. Throws std::runtime_error when the record's arrays disagree in size or the
// file cannot be written; the file is written under a temporary name and renamed into
// place, so a failed write leaves any earlier file of that name as it was.
void WriteGaussianPly(const std::filesystem::path& path, const GaussianData& data);
