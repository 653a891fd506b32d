#pragma once

#include "io/core/ReadResult.h"
#include "io/ply/PlyElement.h"
#include "scene/PointCloudData.h"

#include <string>
#include <vector>

// The values of the element's scalar property `name` widened to double, one per record;
// empty when the element has no such property or it is a list property. Never throws for
// a missing or unreadable property.
std::vector<double> ReadPropertyAsDouble(const orrisk::ply::PlyElement& element, const std::string& name);

// Reads a PLY point cloud: the "vertex" element's x, y, z become the points (relative to
// their per-axis minimum, kept in origin) and red/green/blue, r/g/b or
// diffuse_red/diffuse_green/diffuse_blue (with their alpha) the colours. A failure comes with
// one "[CPlyLoader] ..." note for the log. Never throws.
ReadResult<PointCloudData> ReadPly(const std::string& path, const ReadOptions& options = {});
