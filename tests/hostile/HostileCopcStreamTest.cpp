#include "AllocationCounter.h"
#include "io/copc/CopcHierarchy.h"
#include "io/copc/CopcReader.h"
#include "platform/Log.h"
#include "platform/ThreadPool.h"
#include "scene/PointCloudData.h"
#include "scene/StreamedCloud.h"
#include "support/CopcBytes.h"
#include "support/ReadNoteLines.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

namespace {

using testsupport::ReadWholeFile;
using testsupport::TestDataFile;

// simple.copc.laz with parts of it broken: its nodes' chunks and hierarchy entries are found
// through the hierarchy read from the intact file.
class HostileCopcStream : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (testsupport::TestDataDir().empty())
            GTEST_SKIP() << "../shared/testdata is not present; skipping corpus test";
        path = TestDataFile("laz/simple.copc.laz").string();
        bytes = ReadWholeFile(path);
        ReadResult<CopcHierarchy> read = ReadCopcHierarchy(path);
        ASSERT_TRUE(read) << read.Failure().reason;
        hierarchy = read.TakeValue();
    }

    // Where the hierarchy entry of the node lies in the file.
    std::size_t EntryAt(const CopcNode& node) const
    {
        char key[24];
        std::memcpy(key, &node.key, 16);
        std::memcpy(key + 16, &node.chunkOffset, 8);
        const std::size_t at = bytes.find(std::string(key, sizeof key));
        EXPECT_NE(at, std::string::npos);
        return at;
    }

    // The cloud opened from the bytes, with every node asked for and the decoding finished.
    // Checks it ends promptly.
    PointCloudData OpenAndLoadAll(const std::string& broken, ThreadPool& pool)
    {
        const auto file = dir.Write("broken.copc.laz", broken);
        const auto start = std::chrono::steady_clock::now();
        ReadResult<PointCloudData> opened = ReadCopcStreamed(file.string(), {{}, &pool});
        EXPECT_TRUE(opened) << opened.Failure().reason;
        if (!opened)
            return {};
        StreamedCloud& cloud = *opened.Value().streamed;
        std::vector<std::uint32_t> all(cloud.Nodes().size());
        std::iota(all.begin(), all.end(), 0u);
        for (int round = 0; round < 3; ++round) {  // asking again decodes nothing again
            cloud.Request(all);
            cloud.WaitUntilIdle();
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
        return opened.TakeValue();
    }

    // The first node after the root that holds points.
    const CopcNode& SomeChild() const
    {
        for (const CopcNode& node : hierarchy.nodes)
            if (node.key.level > 0 && node.pointCount > 1)
                return node;
        return hierarchy.nodes.back();
    }

    std::string path;
    std::string bytes;
    CopcHierarchy hierarchy;
    testsupport::ScratchDir dir;
};

TEST_F(HostileCopcStream, ANodeWithADamagedChunkIsSkippedOnceAndTheRestLoads)
{
    const CopcNode& victim = SomeChild();
    std::string broken = bytes;
    // The count a layered chunk states after its first record no longer matches.
    const std::uint32_t wrongCount = 0xFFFFFFF0u;
    std::memcpy(broken.data() + victim.chunkOffset + hierarchy.header.recordLength, &wrongCount, 4);
    ThreadPool pool(2);
    const PointCloudData cloud = OpenAndLoadAll(broken, pool);
    ASSERT_TRUE(cloud.streamed);
    const StreamedCloud::Stats stats = cloud.streamed->GetStats();
    EXPECT_EQ(stats.failed, 1u);
    std::size_t withPoints = 0;
    for (const StreamedNode& node : cloud.streamed->Nodes())
        withPoints += node.pointCount > 0 ? 1 : 0;
    EXPECT_EQ(stats.decoded, withPoints - 1) << "each node decoded once, the root while opening";
    EXPECT_EQ(stats.loadedNodes, withPoints - 1);
    const std::vector<std::string> reasons = cloud.streamed->FailureReasons();
    ASSERT_EQ(reasons.size(), 1u);
    EXPECT_NE(reasons[0].find("damaged"), std::string::npos) << reasons[0];
}

TEST_F(HostileCopcStream, NodeCountsThatDisagreeWithTheirChunksFailThoseNodes)
{
    // Two nodes trade point counts: the sum still matches the header, the chunks do not.
    const CopcNode* a = nullptr;
    const CopcNode* b = nullptr;
    for (const CopcNode& node : hierarchy.nodes) {
        if (node.key.level == 0 || node.pointCount == 0)
            continue;
        if (!a)
            a = &node;
        else if (node.pointCount != a->pointCount) {
            b = &node;
            break;
        }
    }
    ASSERT_TRUE(a && b);
    std::string broken = bytes;
    std::memcpy(broken.data() + EntryAt(*a) + 28, &b->pointCount, 4);
    std::memcpy(broken.data() + EntryAt(*b) + 28, &a->pointCount, 4);
    ThreadPool pool(2);
    const PointCloudData cloud = OpenAndLoadAll(broken, pool);
    ASSERT_TRUE(cloud.streamed);
    EXPECT_EQ(cloud.streamed->GetStats().failed, 2u);
}

TEST_F(HostileCopcStream, ANodeClaimingMorePointsThanItsChunkCanHoldIsRefusedUnsized)
{
    const CopcNode& victim = SomeChild();
    std::string broken = bytes;
    // More points than any real chunk of that size holds; the header's count is raised to
    // match, so that the hierarchy keeps the node.
    const std::uint32_t claimed = victim.chunkSize * 64 + 1000;
    const std::uint64_t headerCount = hierarchy.header.pointCount - victim.pointCount + claimed;
    std::memcpy(broken.data() + 247, &headerCount, 8);
    std::memcpy(broken.data() + EntryAt(victim) + 28, &claimed, 4);
    ThreadPool pool(1);
    const hostile::PeakAllocation peak;
    const PointCloudData cloud = OpenAndLoadAll(broken, pool);
    ASSERT_TRUE(cloud.streamed);
    EXPECT_EQ(cloud.streamed->GetStats().failed, 1u);
    ASSERT_EQ(cloud.streamed->FailureReasons().size(), 1u);
    EXPECT_NE(cloud.streamed->FailureReasons()[0].find("cannot hold"), std::string::npos)
        << cloud.streamed->FailureReasons()[0];
    EXPECT_LT(peak.Bytes(), 2 * bytes.size() + (std::size_t{8} << 20));
}

TEST_F(HostileCopcStream, ADamagedRootFailsTheOpenWithItsReason)
{
    const CopcNode& root = hierarchy.nodes.front();
    std::string broken = bytes;
    const std::uint32_t wrongCount = 7;
    std::memcpy(broken.data() + root.chunkOffset + hierarchy.header.recordLength, &wrongCount, 4);
    const auto file = dir.Write("broken-root.copc.laz", broken);
    const ReadResult<PointCloudData> opened = ReadCopcStreamed(file.string());
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.Failure().reason.rfind("COPC: the root node cannot be decoded", 0), 0u) << opened.Failure().reason;
}

TEST_F(HostileCopcStream, EveryNodeButTheRootDamagedStillEnds)
{
    std::string broken = bytes;
    for (const CopcNode& node : hierarchy.nodes)
        if (node.key.level > 0 && node.pointCount > 0)
            std::memset(broken.data() + node.chunkOffset, 0xA5, node.chunkSize);
    ThreadPool pool(2);
    const PointCloudData cloud = OpenAndLoadAll(broken, pool);
    ASSERT_TRUE(cloud.streamed);
    const StreamedCloud::Stats stats = cloud.streamed->GetStats();
    EXPECT_EQ(stats.loadedNodes + stats.failed, stats.decoded + 1);
    EXPECT_TRUE(cloud.streamed->IsLoaded(0));
}

// Entries that turn into pages pointing back at the root page (a cycle) or into keys deeper
// than the levels read: the hierarchy drops them and what hangs below them, the open says so in
// the log and goes on with the rest.
TEST_F(HostileCopcStream, BadHierarchyEntriesAreLoggedAndTheRestStreams)
{
    const CopcNode& cyclic = SomeChild();
    const CopcNode* deep = nullptr;
    for (const CopcNode& node : hierarchy.nodes)
        if (node.key.level > 0 && &node != &cyclic && node.key.level == hierarchy.depth - 1)
            deep = &node;
    ASSERT_NE(deep, nullptr);
    std::string broken = bytes;
    const std::size_t cyclicAt = EntryAt(cyclic);
    const std::size_t deepAt = EntryAt(*deep);
    const std::int32_t pageMark = -1;
    const auto rootPageSize = static_cast<std::int32_t>(hierarchy.info.rootPageSize);
    std::memcpy(broken.data() + cyclicAt + 16, &hierarchy.info.rootPageOffset, 8);
    std::memcpy(broken.data() + cyclicAt + 24, &rootPageSize, 4);
    std::memcpy(broken.data() + cyclicAt + 28, &pageMark, 4);
    const std::int32_t tooDeep = 40;
    std::memcpy(broken.data() + deepAt, &tooDeep, 4);

    const auto file = dir.Write("bad-entries.copc.laz", broken);
    ThreadPool pool(2);
    const auto start = std::chrono::steady_clock::now();
    ReadResult<PointCloudData> opened = ReadCopcStreamed(file.string(), {{}, &pool});
    ASSERT_TRUE(opened) << opened.Failure().reason;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    const std::string notes = testsupport::NoteText(opened.Notes());
    EXPECT_NE(notes.find("overlaps a page already read"), std::string::npos) << notes;
    EXPECT_NE(notes.find("levels read"), std::string::npos) << notes;
    StreamedCloud& cloud = *opened.Value().streamed;
    EXPECT_LT(cloud.Nodes().size(), hierarchy.nodes.size() - 1);
    EXPECT_LT(cloud.TotalPoints(), hierarchy.header.pointCount);
    std::vector<std::uint32_t> all(cloud.Nodes().size());
    std::iota(all.begin(), all.end(), 0u);
    cloud.Request(all);
    cloud.WaitUntilIdle();
    EXPECT_EQ(cloud.GetStats().failed, 0u);
    EXPECT_EQ(cloud.GetStats().loadedNodes, cloud.GetStats().decoded + 1);
}

// Hand-made hierarchies whose chunks are placeholder bytes: the open fails with a reason, or
// the nodes fail one by one; nothing hangs.
TEST(HostileCopcStreamMade, PlaceholderChunksFailCleanly)
{
    testsupport::ScratchDir dir;
    const copctest::CopcFile file = copctest::TwoPageFile();
    const auto path = dir.Write("made.copc.laz", file.Bytes());
    const ReadResult<PointCloudData> opened = ReadCopcStreamed(path.string());
    ASSERT_FALSE(opened);
    EXPECT_FALSE(opened.Failure().reason.empty());
}

}  // namespace
