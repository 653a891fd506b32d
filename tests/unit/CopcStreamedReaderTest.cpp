#include "document/SceneFileRead.h"
#include "io/copc/CopcHierarchy.h"
#include "io/copc/CopcReader.h"
#include "io/las/LasRecords.h"
#include "io/laz/ChunkDecoder.h"
#include "io/laz/LazReader.h"
#include "platform/ThreadPool.h"
#include "scene/PointCloudData.h"
#include "scene/StreamedCloud.h"
#include "support/TestData.h"
#include "support/ToolRun.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <span>
#include <string>
#include <tuple>
#include <vector>

namespace {

using testsupport::TestDataFile;

// A point as both reads give it: the local position and the colour channels as stored in the
// file (each read's scale undone), so that reads with different colour rules compare.
using RawPoint = std::tuple<float, float, float, long, long, long>;

void Append(std::vector<RawPoint>& out, std::span<const Eigen::Vector3f> positions,
            std::span<const Eigen::Vector4f> colours, float factor)
{
    for (std::size_t i = 0; i < positions.size(); ++i) {
        const Eigen::Vector4f c = colours.empty() ? Eigen::Vector4f::Zero() : Eigen::Vector4f(colours[i] / factor);
        out.emplace_back(positions[i].x(), positions[i].y(), positions[i].z(), std::lround(c.x()), std::lround(c.y()),
                         std::lround(c.z()));
    }
}

// The largest colour channel stored in the whole file, and in the root node's chunk alone,
// straight from the decoder's records.
struct StoredChannels {
    std::uint16_t whole = 0;
    std::uint16_t root = 0;
};

StoredChannels LargestStoredChannels(const std::string& path)
{
    StoredChannels largest;
    const ReadResult<LazFileInfo> info = ReadLazInfo(path);
    const ReadResult<CopcHierarchy> hierarchy = ReadCopcHierarchy(path);
    if (!info || !hierarchy)
        return largest;
    const las::LasHeader& header = info.Value().header;
    const std::optional<std::size_t> colour = las::ColourOffset(header);
    if (!colour)
        return largest;
    const auto channels = [&](const unsigned char* records, std::size_t count) {
        std::vector<Eigen::Vector4f> scratch(count);
        return las::DecodeRawColours(records, count, header.recordLength, *colour, scratch.data());
    };
    DecodeLazRecords(path, laz::kAllFields, [&](std::uint64_t, const unsigned char* records, std::size_t count) {
        largest.whole = std::max(largest.whole, channels(records, count));
    });
    const CopcNode& root = hierarchy.Value().nodes.front();
    const std::string bytes = testsupport::ReadWholeFile(path);
    std::vector<unsigned char> records(std::size_t{root.pointCount} * header.recordLength);
    const laz::ChunkOutcome outcome =
        laz::DecodeChunk(info.Value().layout, header.recordLength, laz::kAllFields,
                         reinterpret_cast<const unsigned char*>(bytes.data()) + root.chunkOffset, root.chunkSize,
                         root.pointCount, records.data());
    EXPECT_TRUE(outcome.ok) << outcome.reason;
    largest.root = channels(records.data(), root.pointCount);
    return largest;
}

class CopcStreamed : public ::testing::TestWithParam<const char*> {};

// Every node loaded yields the points of a whole read, as a set: the same local positions
// (both subtract the header's minimum corner) and the same stored colours, each read having
// scaled them by its own rule: the whole read by every point's largest channel, the streamed
// one by the root node's.
TEST_P(CopcStreamed, EveryNodeLoadedGivesThePointsOfAWholeRead)
{
    ORRISK_REQUIRE_TESTDATA();
    const std::string path = TestDataFile(GetParam()).string();
    ThreadPool pool(2);
    ReadResult<PointCloudData> whole = ReadLaz(path, {{}, &pool});
    ASSERT_TRUE(whole) << whole.Failure().reason;
    ReadResult<PointCloudData> opened = ReadCopcStreamed(path, {{}, &pool});
    ASSERT_TRUE(opened) << opened.Failure().reason;
    const PointCloudData& cloud = opened.Value();
    StreamedCloud& streamed = *cloud.streamed;
    EXPECT_TRUE(cloud.positions.empty());
    EXPECT_EQ(cloud.origin, whole.Value().origin);
    EXPECT_EQ(cloud.hasColors, whole.Value().hasColors);
    EXPECT_EQ(streamed.TotalPoints(), whole.Value().positions.size());
    EXPECT_EQ(streamed.GetStats().loadedNodes, 1u) << "opening decodes the root alone";
    // The header's box holds every point.
    const Eigen::AlignedBox3f box(cloud.boundsMin, cloud.boundsMax);
    EXPECT_TRUE(box.contains(Eigen::AlignedBox3f(whole.Value().boundsMin, whole.Value().boundsMax)));

    std::vector<std::uint32_t> all(streamed.Nodes().size());
    std::iota(all.begin(), all.end(), 0u);
    streamed.Request(all);
    streamed.WaitUntilIdle();
    ASSERT_EQ(streamed.GetStats().failed, 0u);

    const StoredChannels stored = LargestStoredChannels(path);
    std::vector<RawPoint> fromNodes;
    for (std::size_t node = 0; node < streamed.Nodes().size(); ++node) {
        const auto points = streamed.Points(node);
        ASSERT_EQ(points != nullptr, streamed.Nodes()[node].pointCount > 0) << node;
        if (points)
            Append(fromNodes, points->positions, points->colors, las::ColourFactor(stored.root));
    }
    std::vector<RawPoint> fromWhole;
    Append(fromWhole, whole.Value().positions, whole.Value().colors, las::ColourFactor(stored.whole));
    std::sort(fromNodes.begin(), fromNodes.end());
    std::sort(fromWhole.begin(), fromWhole.end());
    ASSERT_EQ(fromNodes.size(), fromWhole.size());
    EXPECT_TRUE(fromNodes == fromWhole);
}

// Children follow their parent side by side, each inside its parent's cell, and every point of a
// node lies in its cell (up to float rounding).
TEST_P(CopcStreamed, NodesFormATreeWhosePointsLieInTheirCells)
{
    ORRISK_REQUIRE_TESTDATA();
    const std::string path = TestDataFile(GetParam()).string();
    ReadResult<PointCloudData> opened = ReadCopcStreamed(path);
    ASSERT_TRUE(opened) << opened.Failure().reason;
    StreamedCloud& streamed = *opened.Value().streamed;
    const ReadResult<CopcHierarchy> hierarchy = ReadCopcHierarchy(path);
    ASSERT_TRUE(hierarchy);
    const std::vector<StreamedNode>& nodes = streamed.Nodes();
    EXPECT_EQ(nodes.size(), hierarchy.Value().nodes.size());
    EXPECT_EQ(streamed.Depth(), hierarchy.Value().depth);
    std::vector<int> parents(nodes.size(), 0);
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const StreamedNode& node = nodes[i];
        for (std::uint32_t child = node.firstChild; child < node.firstChild + node.childCount; ++child) {
            ASSERT_LT(child, nodes.size());
            EXPECT_GT(child, i);
            ++parents[child];
            EXPECT_EQ(nodes[child].depth, node.depth + 1);
            EXPECT_TRUE(node.bounds.contains(nodes[child].bounds.center()));
            EXPECT_NEAR(nodes[child].bounds.sizes().x(), node.bounds.sizes().x() / 2, 1e-3);
        }
    }
    EXPECT_EQ(parents[0], 0);
    for (std::size_t i = 1; i < nodes.size(); ++i)
        EXPECT_EQ(parents[i], 1) << "node " << i;

    std::vector<std::uint32_t> all(nodes.size());
    std::iota(all.begin(), all.end(), 0u);
    streamed.Request(all);
    streamed.WaitUntilIdle();
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const auto points = streamed.Points(i);
        if (!points)
            continue;
        const Eigen::Vector3f slack = Eigen::Vector3f::Constant(1e-3f);
        const Eigen::AlignedBox3f cell(nodes[i].bounds.min() - slack, nodes[i].bounds.max() + slack);
        for (const Eigen::Vector3f& p : points->positions)
            ASSERT_TRUE(cell.contains(p)) << "node " << i << " point " << p.transpose();
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, CopcStreamed, ::testing::Values("laz/simple.copc.laz", "laz/lone-star.copc.laz"));

TEST(CopcStreamedReader, TheDocumentOpensCopcFilesStreamedAndOtherLazWhole)
{
    ORRISK_REQUIRE_TESTDATA();
    EXPECT_TRUE(IsCopcFile(TestDataFile("laz/lone-star.copc.laz").string()));
    EXPECT_FALSE(IsCopcFile(TestDataFile("laz/simple.laz").string()));
    EXPECT_FALSE(IsCopcFile(TestDataFile("las/autzen.las").string()));

    SceneFileRead copc = ReadSceneFile(TestDataFile("laz/simple.copc.laz").string(), {});
    ASSERT_TRUE(copc.scene) << copc.scene.Failure().reason;
    const auto& streamed = std::get<PointCloudData>(copc.scene.Value());
    ASSERT_NE(streamed.streamed, nullptr);
    EXPECT_EQ(streamed.streamed->TotalPoints(), 1065u);

    SceneFileRead laz = ReadSceneFile(TestDataFile("laz/simple.laz").string(), {});
    ASSERT_TRUE(laz.scene) << laz.scene.Failure().reason;
    EXPECT_EQ(std::get<PointCloudData>(laz.scene.Value()).streamed, nullptr);
    EXPECT_EQ(std::get<PointCloudData>(laz.scene.Value()).positions.size(), 1065u);
}

TEST(CopcStreamedReader, CancellingWhileTheHierarchyIsReadFails)
{
    ORRISK_REQUIRE_TESTDATA();
    ReadOptions options;
    options.progress = [](double) { return false; };
    const ReadResult<PointCloudData> read = ReadCopcStreamed(TestDataFile("laz/lone-star.copc.laz").string(), options);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.Failure().code, ReadError::Cancelled);
}

#ifdef ORRISK_INFO_TOOL
TEST(CopcStreamedReader, OrriskInfoPrintsTheHierarchysNodesAndDepth)
{
    ORRISK_REQUIRE_TESTDATA();
    const testsupport::ToolRun run = testsupport::RunTool(ORRISK_INFO_TOOL, {TestDataFile("laz/lone-star.copc.laz").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    const nlohmann::json summary = nlohmann::json::parse(run.out);
    EXPECT_EQ(summary["kind"], "PointCloud");
    EXPECT_EQ(summary["count"], 518862);
    EXPECT_EQ(summary["copcNodes"], 15);
    EXPECT_EQ(summary["copcDepth"], 3);
    EXPECT_EQ(summary["hasColors"], false);
    EXPECT_EQ(summary["boundsMin"], nlohmann::json::array({0, 0, 0}));

    // Files read whole have no hierarchy to report.
    const testsupport::ToolRun laz = testsupport::RunTool(ORRISK_INFO_TOOL, {TestDataFile("laz/simple.laz").string()});
    EXPECT_FALSE(nlohmann::json::parse(laz.out).contains("copcNodes"));
}
#endif

}  // namespace
