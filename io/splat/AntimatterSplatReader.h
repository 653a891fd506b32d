#pragma once

#include "io/core/ReadResult.h"
#include "scene/GaussianData.h"

#include <string>

// Reads a ".splat" file: 32-byte records, each a position (3 float32), a linear scale
// (3 float32), an RGBA colour (4 uint8: colour = 0.5 + C0 * f_dc, alpha = opacity after the
// logistic function) and a rotation (4 uint8, about (w, x, y, z) * 128 + 128). No SH beyond
// degree 0. The rotation bytes are read as b / 127.5 - 1, centred on the byte range, as the
// common converters read them; the quaternion is normalised afterwards either way.
// The format has no signature: callers recognise it by its extension.
ReadResult<GaussianData> ReadSplatFile(const std::string& path, const ReadOptions& options = {});
