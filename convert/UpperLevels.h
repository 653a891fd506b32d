#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// The octree's levels above the top-level cells, built as the cells come in (in key order):
// once the last cell inside a node is in, the node takes its points from its children's (the
// rule of convert/OctreeBuild.h), whose points are then final and written. Only the nodes
// around the current cell are open, so memory does not grow with the cloud.
namespace octree {

// The points a node holds, with their keys (ascending) and records.
struct HeldPoints {
    int level = 0;
    std::uint64_t cell = 0;
    std::vector<std::uint64_t> keys;
    std::vector<unsigned char> records;
};

class UpperLevels {
public:
    // Writes a finished node's points (count records, contiguous); false stops the build.
    using NodeSink = std::function<bool(int level, std::uint64_t cell, const unsigned char* records, std::size_t count)>;

    UpperLevels(std::uint16_t recordLength, std::uint32_t maxNodePoints, NodeSink sink);

    // The root of the next cell, whose points the levels above may still take.
    bool AddCellRoot(HeldPoints root);
    // Closes every open node up to the root, which it writes last.
    bool Finish();

private:
    struct OpenNode {
        int level = 0;
        std::uint64_t cell = 0;
        std::vector<HeldPoints> children;
    };

    bool CloseDeepest();

    std::uint16_t m_recordLength;
    std::uint32_t m_maxNodePoints;
    NodeSink m_sink;
    std::vector<OpenNode> m_open;  // the root first, each the parent of the next
    std::vector<unsigned char> m_gather;
};

}  // namespace octree
