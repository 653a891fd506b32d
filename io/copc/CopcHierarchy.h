#pragma once

#include "io/copc/CopcHeader.h"
#include "io/core/ReadResult.h"

#include <cstdint>
#include <string>
#include <vector>

// An octree cell: level 0 is the root, x, y and z count cells from the root's minimum corner.
struct CopcKey {
    std::int32_t level = 0;
    std::int32_t x = 0, y = 0, z = 0;

    CopcKey Parent() const { return {level - 1, x / 2, y / 2, z / 2}; }
    bool operator==(const CopcKey&) const = default;
};

// One node of the hierarchy: where its LAZ chunk lies and how many points it holds (0: none,
// though its children may hold some).
struct CopcNode {
    CopcKey key;
    std::uint64_t chunkOffset = 0;
    std::uint32_t chunkSize = 0;
    std::uint32_t pointCount = 0;
};

// Levels the reader follows: keys deeper than this are skipped.
inline constexpr std::int32_t kCopcMaxLevels = 32;
// Reasons kept word for word; further skips are only counted.
inline constexpr std::size_t kCopcKeptReasons = 64;

struct CopcHierarchy {
    CopcLasHeader header;
    CopcInfo info;
    // Every node reachable from the root; parents come before their children.
    std::vector<CopcNode> nodes;
    std::size_t pageCount = 0;
    int depth = 0;                  // levels that hold nodes (1: the root alone)
    std::uint64_t nodePoints = 0;   // the sum of the nodes' point counts
    std::size_t skippedCount = 0;   // entries and pages left out
    std::vector<std::string> skipped;  // why, one line each, the first kCopcKeptReasons
};

// Reads the header, the info VLR and the hierarchy EVLR of a COPC file, page by page from the
// root page. The file must hold the header, the info VLR, the hierarchy EVLR and the root page
// intact; an entry or page that breaks the rules (outside the file or the hierarchy, overlapping
// a page already read, too deep, more points than the header counts or a chunk shorter than one
// point record, a key outside its level or given twice, chunks sharing bytes, a node whose parent
// is missing) is skipped with its reason.
ReadResult<CopcHierarchy> ReadCopcHierarchy(const std::string& path, const ReadOptions& options = {});
