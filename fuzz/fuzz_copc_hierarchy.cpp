// The COPC header, info VLR and hierarchy reader.
#include "FuzzInputFile.h"
#include "io/copc/CopcHierarchy.h"

#include <set>
#include <tuple>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FuzzInputFile file("input.copc.laz");
    const auto result = ReadCopcHierarchy(file.Write(data, size));
    if (!result) {
        if (result.Failure().reason.empty())
            std::abort();
        return 0;
    }
    const CopcHierarchy& h = result.Value();
    // What the reader promises: a root first, parents before children, no key twice, no more
    // points than the header counts, chunks inside the file.
    if (h.nodes.empty() || h.nodes.front().key.level != 0 || h.nodePoints > h.header.pointCount ||
        h.depth > kCopcMaxLevels || h.skipped.size() > kCopcKeptReasons)
        std::abort();
    std::set<std::tuple<int, int, int, int>> seen;
    for (const CopcNode& node : h.nodes) {
        const CopcKey parent = node.key.Parent();
        if (node.key.level > 0 && !seen.contains({parent.level, parent.x, parent.y, parent.z}))
            std::abort();
        if (!seen.insert({node.key.level, node.key.x, node.key.y, node.key.z}).second)
            std::abort();
        if (node.pointCount > 0 && node.chunkOffset + node.chunkSize > size)
            std::abort();
    }
    return 0;
}
