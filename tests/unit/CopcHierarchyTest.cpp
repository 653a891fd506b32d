#include "io/copc/CopcHierarchy.h"
#include "support/CopcBytes.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <tuple>

namespace {

using testsupport::TestDataFile;

// Every node's parent comes before it, and keys are unique.
void ExpectParentsFirst(const CopcHierarchy& hierarchy)
{
    std::set<std::tuple<int, int, int, int>> seen;
    for (const CopcNode& node : hierarchy.nodes) {
        const CopcKey& k = node.key;
        if (k.level > 0) {
            const CopcKey p = k.Parent();
            EXPECT_TRUE(seen.contains({p.level, p.x, p.y, p.z})) << "node " << k.level << "-" << k.x << "-" << k.y;
        }
        EXPECT_TRUE(seen.insert({k.level, k.x, k.y, k.z}).second);
    }
}

TEST(CopcHierarchy, LoneStarHasFifteenNodesOnThreeLevelsHoldingEveryPoint)
{
    ORRISK_REQUIRE_TESTDATA();
    auto result = ReadCopcHierarchy(TestDataFile("laz/lone-star.copc.laz").string());
    ASSERT_TRUE(result) << result.Failure().reason;
    const CopcHierarchy& h = result.Value();
    EXPECT_EQ(h.header.pointCount, 518862u);
    EXPECT_EQ(h.header.pointFormat, 6);
    EXPECT_EQ(h.header.recordLength, 30);
    EXPECT_EQ(h.nodes.size(), 15u);
    EXPECT_EQ(h.depth, 3);
    EXPECT_EQ(h.pageCount, 1u);
    EXPECT_EQ(h.nodePoints, h.header.pointCount);
    EXPECT_EQ(h.skippedCount, 0u);
    EXPECT_TRUE(h.skipped.empty());
    EXPECT_EQ(h.nodes.front().key, (CopcKey{0, 0, 0, 0}));
    EXPECT_EQ(h.nodes.front().pointCount, 58393u);
    EXPECT_NEAR(h.info.halfSize, 20.379875, 1e-6);
    EXPECT_NEAR(h.info.center[0], 515388.982125, 1e-6);
    EXPECT_GT(h.info.spacing, 0.0);
    ExpectParentsFirst(h);
    // The root cell holds the header's bounds.
    for (int axis = 0; axis < 3; ++axis) {
        EXPECT_LE(h.info.center[axis] - h.info.halfSize, h.header.minimum[axis] + 1e-6);
        EXPECT_GE(h.info.center[axis] + h.info.halfSize, h.header.maximum[axis] - 1e-6);
    }
}

TEST(CopcHierarchy, SimpleHasSixtyFiveNodesOnFourLevels)
{
    ORRISK_REQUIRE_TESTDATA();
    auto result = ReadCopcHierarchy(TestDataFile("laz/simple.copc.laz").string());
    ASSERT_TRUE(result) << result.Failure().reason;
    const CopcHierarchy& h = result.Value();
    EXPECT_EQ(h.header.pointCount, 1065u);
    EXPECT_EQ(h.header.pointFormat, 7);
    EXPECT_EQ(h.nodes.size(), 65u);
    EXPECT_EQ(h.depth, 4);
    EXPECT_EQ(h.nodePoints, 1065u);
    EXPECT_EQ(h.skippedCount, 0u);
    ExpectParentsFirst(h);
    // Chunks lie inside the point data, none sharing a byte.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> chunks;
    for (const CopcNode& node : h.nodes)
        chunks.emplace_back(node.chunkOffset, node.chunkOffset + node.chunkSize);
    std::sort(chunks.begin(), chunks.end());
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        EXPECT_GT(chunks[i].first, h.header.pointDataOffset);
        if (i > 0) {
            EXPECT_LE(chunks[i - 1].second, chunks[i].first);
        }
    }
}

TEST(CopcHierarchy, OtherFilesAreNotRecognised)
{
    ORRISK_REQUIRE_TESTDATA();
    for (const char* name : {"laz/simple.laz", "laz/simple.copc.uncompressed.las", "las/autzen.las"}) {
        auto result = ReadCopcHierarchy(TestDataFile(name).string());
        ASSERT_FALSE(result) << name;
        EXPECT_EQ(result.Failure().code, ReadError::NotRecognised) << name;
        EXPECT_EQ(result.Failure().reason.rfind("COPC: ", 0), 0u);
    }
    testsupport::ScratchDir dir;
    auto missing = ReadCopcHierarchy(dir.File("missing.copc.laz").string());
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.Failure().code, ReadError::CannotOpen);
    EXPECT_FALSE(ReadCopcHierarchy(dir.Path().string()));
}

TEST(CopcHierarchy, ChildPagesAreFollowedAndProgressCanCancel)
{
    testsupport::ScratchDir dir;
    const auto path = dir.Write("two-pages.copc.laz", copctest::TwoPageFile().Bytes());
    std::vector<double> fractions;
    ReadOptions options;
    options.progress = [&](double f) {
        fractions.push_back(f);
        return true;
    };
    auto result = ReadCopcHierarchy(path.string(), options);
    ASSERT_TRUE(result) << result.Failure().reason;
    EXPECT_EQ(result.Value().pageCount, 2u);
    EXPECT_EQ(result.Value().nodes.size(), 9u);
    EXPECT_EQ(result.Value().depth, 2);
    EXPECT_EQ(result.Value().nodePoints, 90u);
    ExpectParentsFirst(result.Value());
    ASSERT_FALSE(fractions.empty());
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
    EXPECT_DOUBLE_EQ(fractions.back(), 1.0);

    options.progress = [](double) { return false; };
    auto cancelled = ReadCopcHierarchy(path.string(), options);
    ASSERT_FALSE(cancelled);
    EXPECT_EQ(cancelled.Failure().code, ReadError::Cancelled);
}

}  // namespace
