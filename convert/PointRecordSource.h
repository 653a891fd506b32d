#pragma once

#include "io/core/PointRecords.h"
#include "io/core/ReadResult.h"
#include "io/ply/PlyRecordStream.h"

#include <string>

// The point cloud files whose own records can be streamed.
enum class PointCloudFileKind { Las, Laz, Copc, Ply, Unknown };

// By the file's first bytes, whatever its name.
PointCloudFileKind SniffPointCloudFile(const std::string& path);

// Streams the records of a LAS, LAZ, COPC (every node) or PLY point cloud in file order; PLY
// coordinates are quantised as `quantisation` says. Gaussian splat scenes and anything else
// are not recognised.
ReadResult<PointRecordFormat> StreamPointRecords(const std::string& path, PointRecordSink& sink, const ReadOptions& options = {},
                                                 const PlyQuantisation& quantisation = {});
