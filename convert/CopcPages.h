#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The COPC hierarchy as the EVLR stores it: pages of 32-byte entries (the node's level, x, y
// and z, then its chunk's file offset, byte size and point count). A small hierarchy is one
// page. A large one is split so that a reader can load it as it goes deeper: the root page
// holds the top kPageLevels levels, and each node below them that heads more than
// kInlineSubtree nodes gets a page of its own, cut the same way, which its parent's page
// points to with an entry of point count -1 (offset and size: the page's).
namespace copcwrite {

inline constexpr std::size_t kSinglePageNodes = 8192;  // hierarchies up to this many nodes stay one page
inline constexpr int kPageLevels = 4;
inline constexpr std::size_t kInlineSubtree = 64;

struct HierarchyNode {
    int level = 0;
    std::uint64_t cell = 0;  // the node's Morton cell number at its level
    std::uint64_t chunkOffset = 0;
    std::uint32_t chunkSize = 0;
    std::uint32_t pointCount = 0;
};

struct HierarchyPages {
    std::vector<unsigned char> bytes;  // every page, the root page first
    std::uint64_t rootPageSize = 0;
    std::size_t pageCount = 0;
};

// Lays the nodes (any order; each node's parent among them, up to the root) out as pages for
// an EVLR whose data starts at file offset dataOffset. Nodes without points are listed only
// where they lead to nodes with points.
HierarchyPages LayOutHierarchy(std::vector<HierarchyNode> nodes, std::uint64_t dataOffset);

}  // namespace copcwrite
