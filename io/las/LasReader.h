#pragma once

#include "io/core/ReadResult.h"
#include "scene/PointCloudData.h"

#include <string>

// Reads an uncompressed ASPRS LAS file (any version, point data record formats 0 to 10):
// positions relative to the header's minimum corner, and RGB colours for the formats that
// carry them. Succeeds only when every point was read. Writes nothing to the log: the
// caller reports failures.
ReadResult<PointCloudData> ReadLas(const std::string& path, const ReadOptions& options = {});
