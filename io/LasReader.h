#pragma once

#include <string>

struct PointCloudData;

// Reads an uncompressed ASPRS LAS file (any version, point data record formats 0 to 10) into
// pointCloud: positions relative to the header's minimum corner, and RGB colours for the
// formats that carry them. True when every point was read; on failure the record is left
// cleared. Silent: the caller reports failures.
bool LoadLas(const std::string& path, PointCloudData& pointCloud);
