#pragma once

#include "io/core/PointRecords.h"
#include "io/core/ReadResult.h"

#include <array>
#include <optional>
#include <string>

// How a PLY cloud's coordinates become LAS integers. Unset, each axis gets its own scale and
// offset from the values themselves:
// - scale: 1 for integer properties; for float properties the largest power of ten not above
//   half the float spacing at the largest magnitude, so every coordinate comes back to the
//   same float; for doubles 0.0001 (a tenth of a millimetre in metres);
// - then coarser by powers of ten until the extent fits in 32-bit integers;
// - offset: the middle of the extent, as a whole multiple of the scale.
struct PlyQuantisation {
    std::optional<std::array<double, 3>> scale;
    std::optional<std::array<double, 3>> offset;
};

// Streams the "vertex" element of a PLY point cloud as LAS 1.2 records: format 2 when it has
// colours (8-bit channels widened by 257, floats of 0 to 1 by 65535), format 0 when not;
// intensity and classification (0 to 31) where present; every point a single return. Fails as
// TooLarge when a coordinate does not fit the scale and offset, and as Malformed for a
// coordinate that is not a finite number; never wraps.
ReadResult<PointRecordFormat> StreamPlyRecords(const std::string& path, PointRecordSink& sink, const ReadOptions& options = {},
                                               const PlyQuantisation& quantisation = {});
