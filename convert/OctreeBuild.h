#pragma once

#include "convert/KeySort.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// How the octree's nodes get their points.
//
// Structure: a node is split into its eight children while it has more than maxNodePoints
// points (and is above the finest key level); the nodes that are not split are the leaves.
//
// Sampling, bottom-up: a leaf starts with all its points. A split node, once its children are
// done, looks at the points its children hold and keeps, in each cell of a grid laid over it,
// the point nearest the cell's centre; those points leave the children. The grid has 128 cells
// a side (the node's cells seven levels down, so COPC's spacing, side / 128 at the root, halves
// at every level), coarsened level by level while it would keep more than maxNodePoints points.
// Equal distances go to the point first in key order, and equal keys to the point first in the
// source; every choice depends on the points alone, so the tree does too.
//
// Every point ends in exactly one node: the leaf it falls in or one of that leaf's ancestors,
// whose cubes hold the leaf's.
namespace octree {

inline constexpr int kGridLevels = 7;  // 128 cells a side

struct BuiltNode {
    int level = 0;
    std::uint64_t cell = 0;             // the first 3 level bits of its points' keys
    std::vector<std::uint32_t> points;  // positions in the sorted rows, ascending
};

// Builds the subtree whose root at rootLevel holds all of rows (sorted by key, all inside the
// root). Nodes come in pre-order, root first, children in key order.
std::vector<BuiltNode> BuildSubtree(std::span<const KeyedRow> rows, int rootLevel, std::uint32_t maxNodePoints);

// The candidates (positions in rows, ascending, all inside the node at `level`) the node keeps.
void SampleNode(std::span<const KeyedRow> rows, int level, std::span<const std::uint32_t> candidates,
                std::uint32_t maxNodePoints, std::vector<std::uint32_t>& picks);

}  // namespace octree
