// A COPC file opened to be drawn node by node, then every node decoded.
#include "FuzzInputFile.h"
#include "io/copc/CopcReader.h"
#include "scene/PointCloudData.h"
#include "scene/StreamedCloud.h"

#include <cstdlib>
#include <numeric>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FuzzInputFile file("input.copc.laz");
    // A small cache, so that eviction runs too.
    auto result = ReadCopcStreamed(file.Write(data, size), {}, std::size_t{1} << 20);
    if (!result) {
        if (result.Failure().reason.empty())
            std::abort();
        return 0;
    }
    StreamedCloud& cloud = *result.Value().streamed;
    const std::vector<StreamedNode>& nodes = cloud.Nodes();
    std::vector<std::uint32_t> all(nodes.size());
    std::iota(all.begin(), all.end(), 0u);
    for (int round = 0; round < 2; ++round) {
        cloud.Request(all);
        cloud.WaitUntilIdle();
        cloud.MarkDrawn(all);
    }
    // What the cloud promises: children after their parents and inside the list, loaded nodes
    // with exactly the points the hierarchy gives, a cache within its budget after a frame that
    // keeps nothing, and every node decoded at most once unless it was evicted.
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (nodes[i].childCount > 0 && (nodes[i].firstChild <= i || nodes[i].firstChild + nodes[i].childCount > nodes.size()))
            std::abort();
        if (const auto points = cloud.Points(i)) {
            if (points->positions.size() != nodes[i].pointCount ||
                (!points->colors.empty() && points->colors.size() != points->positions.size()))
                std::abort();
        }
    }
    cloud.MarkDrawn({});  // a frame drawing nothing: everything may go
    const StreamedCloud::Stats stats = cloud.GetStats();
    if (stats.cachedBytes > cloud.MemoryBudget() || stats.decoded > 2 * nodes.size())
        std::abort();
    return 0;
}
