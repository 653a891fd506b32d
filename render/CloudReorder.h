#pragma once

#include <cstdint>
#include <span>

struct PointCloudData;
class ThreadPool;

// Puts every per-point array of the cloud into the order of an octree build (order[i]: the
// index before the build of the point that goes to i), one array after the other so that only
// one temporary copy exists at a time. Bounds and flags stay: the points are the same. An
// order whose size differs from the cloud's is refused (false, nothing changed). Every array
// a cloud gains belongs here, or its values would no longer match their points.
bool ReorderCloudToOctree(PointCloudData& cloud, std::span<const std::uint32_t> order, ThreadPool* pool);
