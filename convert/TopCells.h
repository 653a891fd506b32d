#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The top-level cells of the octree: nodes whose subtrees are built in memory one at a time,
// each made of a run of buckets (convert/PointBuckets.h).
namespace octree {

struct Cell {
    int level = 0;
    std::uint64_t cell = 0;
    std::size_t firstBucket = 0;
    std::size_t endBucket = 0;
    std::uint64_t points = 0;
};

// The most points of a top-level cell: sixteen nodes' worth, up to 2^20, never fewer than a
// node's. The cells depend on the points and maxNodePoints alone, never on memory.
std::uint64_t CellLimit(std::uint32_t maxNodePoints);

// The largest nodes with at most limit points (or at the bucket level, however many they
// hold), in key order; empty ones are left out.
std::vector<Cell> PartitionCells(const std::vector<std::uint64_t>& bucketCounts, std::uint64_t limit);

}  // namespace octree
