#include "platform/ThreadPool.h"
#include "scene/StreamedCloud.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::uint32_t kPointsPerNode = 10;
constexpr std::size_t kNodeBytes = kPointsPerNode * kStreamedPointBytes;

// A flat tree: the root and `children` leaves under it, every node kPointsPerNode points.
std::vector<StreamedNode> FlatTree(std::uint32_t children)
{
    std::vector<StreamedNode> nodes(children + 1);
    for (StreamedNode& node : nodes) {
        node.pointCount = kPointsPerNode;
        node.bounds = Eigen::AlignedBox3f(Eigen::Vector3f::Zero(), Eigen::Vector3f::Ones());
        node.depth = 1;
    }
    nodes[0].depth = 0;
    nodes[0].firstChild = 1;
    nodes[0].childCount = static_cast<std::uint8_t>(children);
    return nodes;
}

// Records which nodes were decoded, in order; can hold every decode until released, and fails
// the nodes it is told to.
class FakeDecoder {
public:
    NodeDecoder Decoder()
    {
        return [this](std::size_t node, NodePoints& out) -> std::optional<std::string> {
            std::unique_lock lock(m_mutex);
            m_order.push_back(node);
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return !m_hold; });
            if (std::find(failing.begin(), failing.end(), node) != failing.end())
                return "broken on purpose";
            const std::size_t count = node == shortNode ? kPointsPerNode - 1 : kPointsPerNode;
            out.positions.assign(count, Eigen::Vector3f::Constant(static_cast<float>(node)));
            out.colors.assign(count, Eigen::Vector4f::Ones());
            return std::nullopt;
        };
    }

    void Hold()
    {
        const std::lock_guard lock(m_mutex);
        m_hold = true;
    }
    void Release()
    {
        const std::lock_guard lock(m_mutex);
        m_hold = false;
        m_changed.notify_all();
    }
    // Waits until `count` decodes have started.
    void WaitForStarts(std::size_t count)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_order.size() >= count; });
    }
    std::vector<std::size_t> Order()
    {
        const std::lock_guard lock(m_mutex);
        return m_order;
    }

    std::vector<std::size_t> failing;
    std::size_t shortNode = ~std::size_t{0};

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::size_t> m_order;
    bool m_hold = false;
};

TEST(StreamedCloud, DecodesTheNewestRequestFirstAndTheMostWantedOfARequestFirst)
{
    ThreadPool pool(1);
    FakeDecoder decoder;
    StreamedCloud cloud(FlatTree(6), decoder.Decoder(), &pool, 1 << 20);
    decoder.Hold();
    const std::uint32_t first[] = {1};
    cloud.Request(first);
    decoder.WaitForStarts(1);  // the only worker is now busy with node 1
    const std::uint32_t older[] = {2, 3};
    const std::uint32_t newer[] = {4, 5};
    const std::uint32_t again[] = {3};  // asked for again: it moves up to the newest request
    cloud.Request(older);
    cloud.Request(newer);
    cloud.Request(again);
    decoder.Release();
    cloud.WaitUntilIdle();
    EXPECT_EQ(decoder.Order(), (std::vector<std::size_t>{1, 3, 4, 5, 2}));
    for (std::size_t node = 1; node <= 5; ++node)
        EXPECT_TRUE(cloud.IsLoaded(node)) << node;
    EXPECT_FALSE(cloud.IsLoaded(6));
    ASSERT_NE(cloud.Points(4), nullptr);
    EXPECT_EQ(cloud.Points(4)->positions.front(), Eigen::Vector3f::Constant(4));
}

TEST(StreamedCloud, RequestsForLoadedOrQueuedNodesDecodeNothingTwice)
{
    ThreadPool pool(2);
    FakeDecoder decoder;
    StreamedCloud cloud(FlatTree(4), decoder.Decoder(), &pool, 1 << 20);
    const std::uint32_t nodes[] = {1, 2, 1, 2};
    for (int i = 0; i < 5; ++i)
        cloud.Request(nodes);
    cloud.WaitUntilIdle();
    cloud.Request(nodes);
    cloud.WaitUntilIdle();
    std::vector<std::size_t> order = decoder.Order();
    std::sort(order.begin(), order.end());
    EXPECT_EQ(order, (std::vector<std::size_t>{1, 2}));
    EXPECT_EQ(cloud.GetStats().decoded, 2u);
}

TEST(StreamedCloud, CacheStaysWithinItsBudgetAndEvictsTheLeastRecentlyDrawn)
{
    ThreadPool pool(1);
    FakeDecoder decoder;
    StreamedCloud cloud(FlatTree(6), decoder.Decoder(), &pool, 3 * kNodeBytes);
    const std::uint32_t three[] = {1, 2, 3};
    cloud.Request(three);
    cloud.WaitUntilIdle();
    EXPECT_EQ(cloud.GetStats().cachedBytes, 3 * kNodeBytes);
    // Drawn in the order 3, 1, 2: node 3 is the least recently drawn.
    for (const std::uint32_t node : {3u, 1u, 2u})
        cloud.MarkDrawn(std::span(&node, 1));
    const std::uint32_t fourth[] = {4};
    cloud.Request(fourth);
    cloud.WaitUntilIdle();
    EXPECT_FALSE(cloud.IsLoaded(3));
    EXPECT_EQ(cloud.Points(3), nullptr);
    for (const std::size_t node : {1u, 2u, 4u})
        EXPECT_TRUE(cloud.IsLoaded(node)) << node;
    const StreamedCloud::Stats stats = cloud.GetStats();
    EXPECT_EQ(stats.cachedBytes, 3 * kNodeBytes);
    EXPECT_EQ(stats.loadedNodes, 3u);
    EXPECT_EQ(stats.evicted, 1u);

    // An evicted node is decoded again when it is wanted again.
    cloud.MarkDrawn(std::span(fourth));
    const std::uint32_t evicted[] = {3};
    cloud.Request(evicted);
    cloud.WaitUntilIdle();
    EXPECT_TRUE(cloud.IsLoaded(3));
    EXPECT_TRUE(cloud.IsLoaded(4));  // drawn most recently
    EXPECT_LE(cloud.GetStats().cachedBytes, 3 * kNodeBytes);
}

TEST(StreamedCloud, NodesOfTheCurrentFrameAreKeptOverBudgetUntilTheNextFrame)
{
    ThreadPool pool(1);
    FakeDecoder decoder;
    StreamedCloud cloud(FlatTree(4), decoder.Decoder(), &pool, 2 * kNodeBytes);
    const std::uint32_t all[] = {1, 2, 3};
    cloud.MarkDrawn({});
    cloud.Request(all);
    cloud.WaitUntilIdle();
    // All three arrived for this frame: none may go before it is drawn.
    EXPECT_EQ(cloud.GetStats().loadedNodes, 3u);
    const std::uint32_t drawn[] = {2, 3};
    cloud.MarkDrawn(drawn);
    EXPECT_FALSE(cloud.IsLoaded(1));
    EXPECT_TRUE(cloud.IsLoaded(2));
    EXPECT_TRUE(cloud.IsLoaded(3));
    EXPECT_EQ(cloud.GetStats().cachedBytes, 2 * kNodeBytes);
}

TEST(StreamedCloud, AFailedNodeIsSkippedWithItsReasonAndNeverDecodedAgain)
{
    ThreadPool pool(1);
    FakeDecoder decoder;
    decoder.failing = {2};
    decoder.shortNode = 3;
    StreamedCloud cloud(FlatTree(4), decoder.Decoder(), &pool, 1 << 20);
    const std::uint32_t nodes[] = {1, 2, 3};
    for (int i = 0; i < 3; ++i) {
        cloud.Request(nodes);
        cloud.WaitUntilIdle();
    }
    EXPECT_TRUE(cloud.IsLoaded(1));
    EXPECT_TRUE(cloud.HasFailed(2));
    EXPECT_TRUE(cloud.HasFailed(3));  // fewer points than the hierarchy promised
    EXPECT_FALSE(cloud.IsLoaded(2));
    std::vector<std::size_t> order = decoder.Order();
    std::sort(order.begin(), order.end());
    EXPECT_EQ(order, (std::vector<std::size_t>{1, 2, 3}));
    const std::vector<std::string> reasons = cloud.FailureReasons();
    ASSERT_EQ(reasons.size(), 2u);
    EXPECT_NE(reasons[0].find("node 2"), std::string::npos) << reasons[0];
    EXPECT_NE(reasons[0].find("broken on purpose"), std::string::npos) << reasons[0];
    EXPECT_NE(reasons[1].find("9 points"), std::string::npos) << reasons[1];
    EXPECT_EQ(cloud.GetStats().failed, 2u);
}

TEST(StreamedCloud, ANodeLargerThanTheWholeBudgetFailsWithoutBeingDecoded)
{
    ThreadPool pool(1);
    FakeDecoder decoder;
    StreamedCloud cloud(FlatTree(1), decoder.Decoder(), &pool, kNodeBytes - 1);
    const std::uint32_t node[] = {1};
    cloud.Request(node);
    cloud.WaitUntilIdle();
    EXPECT_TRUE(cloud.HasFailed(1));
    EXPECT_TRUE(decoder.Order().empty());
    ASSERT_EQ(cloud.FailureReasons().size(), 1u);
    EXPECT_NE(cloud.FailureReasons()[0].find("budget"), std::string::npos);
}

TEST(StreamedCloud, NodesWithoutPointsAreLoadedAndNeverDecoded)
{
    std::vector<StreamedNode> nodes = FlatTree(2);
    nodes[1].pointCount = 0;
    FakeDecoder decoder;
    StreamedCloud cloud(std::move(nodes), decoder.Decoder(), nullptr, 1 << 20);
    EXPECT_TRUE(cloud.IsLoaded(1));
    EXPECT_FALSE(cloud.IsLoaded(2));
    EXPECT_EQ(cloud.TotalPoints(), 2u * kPointsPerNode);
    EXPECT_EQ(cloud.Depth(), 2);
    const std::uint32_t both[] = {1, 2};
    cloud.Request(both);  // decoded on the cloud's own thread: no pool was given
    cloud.WaitUntilIdle();
    EXPECT_EQ(decoder.Order(), (std::vector<std::size_t>{2}));
}

TEST(StreamedCloud, ClosingDropsQueuedRequestsAndWaitsForTheRunningOne)
{
    ThreadPool pool(1);
    FakeDecoder decoder;
    std::atomic<int> arrivals{0};
    auto cloud = std::make_unique<StreamedCloud>(FlatTree(40), decoder.Decoder(), &pool, 1 << 20);
    cloud->SetArrivalCallback([&] { ++arrivals; });
    decoder.Hold();
    std::vector<std::uint32_t> all;
    for (std::uint32_t node = 1; node <= 40; ++node)
        all.push_back(node);
    cloud->Request(all);
    decoder.WaitForStarts(1);
    auto closed = std::async(std::launch::async, [&] { cloud.reset(); });
    // The destructor waits for the decode in progress.
    EXPECT_EQ(closed.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    decoder.Release();
    ASSERT_EQ(closed.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(decoder.Order().size(), 1u);
    EXPECT_EQ(arrivals.load(), 0);  // the callback was cleared before the wait
}

TEST(StreamedCloud, ArrivalsAreReported)
{
    ThreadPool pool(2);
    FakeDecoder decoder;
    std::atomic<int> arrivals{0};
    StreamedCloud cloud(FlatTree(3), decoder.Decoder(), &pool, 1 << 20);
    cloud.SetArrivalCallback([&] { ++arrivals; });
    const std::uint32_t nodes[] = {1, 2, 3};
    cloud.Request(nodes);
    cloud.WaitUntilIdle();
    EXPECT_EQ(arrivals.load(), 3);
}

}  // namespace
