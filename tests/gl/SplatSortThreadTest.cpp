#include "render/GaussianSplatRenderer.h"

#include "tests/gl/GlTestFixture.h"
#include "tests/gl/SplatTestScenes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace testsupport;
using namespace std::chrono_literals;

// Counts finished background sorts; the callback runs on the sort thread.
class SortSignal {
public:
    std::function<void()> Callback(std::chrono::milliseconds delay = 0ms)
    {
        return [this, delay] {
            std::this_thread::sleep_for(delay);
            std::lock_guard lock(m_mutex);
            ++m_count;
            m_changed.notify_all();
        };
    }
    bool WaitFor(int count)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, 20s, [&] { return m_count >= count; });
    }
    int Count()
    {
        std::lock_guard lock(m_mutex);
        return m_count;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_count = 0;
};

// Two splats side by side at one depth and one far behind them: looking straight down -z
// the pair ties (index order); turned a little to the right, the right one (index 1) is
// farther; turned left, the left one.
const std::vector<Eigen::Vector3f> kPairAndBackdrop = {{-1, 0, 0}, {1, 0, 0}, {0, 0, -5}};
const std::vector<uint32_t> kStraightOrder = {2, 0, 1};
const std::vector<uint32_t> kTurnedRightOrder = {2, 1, 0};

class SplatSortThreadTest : public HeadlessGlTest {
protected:
    void SetUp() override
    {
        HeadlessGlTest::SetUp();
        if (!headless)
            return;
        projection = PerspectiveProjection(1.0f, 64.0f / 48.0f, 0.1f, 100.0f);
    }
    void TearDown() override
    {
        if (headless && renderer)
            renderer->ReleaseGpuResources();
        renderer.reset();
        HeadlessGlTest::TearDown();
    }
    void Start(std::chrono::milliseconds callbackDelay = 0ms)
    {
        renderer = std::make_unique<GaussianSplatRenderer>(signal.Callback(callbackDelay));
        ASSERT_TRUE(renderer->UploadSplats(RoundSplats(kPairAndBackdrop, 0.2f)));
    }
    std::vector<uint32_t> OrderOnGpu()
    {
        std::vector<uint32_t> order(renderer->SplatCount());
        glGetNamedBufferSubData(renderer->Objects().orderBuffer, 0, GLsizeiptr(order.size() * sizeof(uint32_t)),
                                order.data());
        return order;
    }

    SortSignal signal;
    std::unique_ptr<GaussianSplatRenderer> renderer;
    Eigen::Matrix4f projection;
};

TEST_F(SplatSortThreadTest, SortNowOrdersAtOnceOnTheCallingThread)
{
    Start();
    renderer->SortNow(TurnedView(-2.0f));
    EXPECT_EQ(renderer->DrawOrder(), kTurnedRightOrder);
    EXPECT_EQ(OrderOnGpu(), kTurnedRightOrder);
    EXPECT_EQ(signal.Count(), 0);
}

TEST_F(SplatSortThreadTest, SmallTurnKeepsTheOrderAndALargerOneResortsInTheBackground)
{
    Start();
    renderer->SortNow(TurnedView(0.0f));
    ASSERT_EQ(renderer->DrawOrder(), kStraightOrder);

    renderer->Draw(TurnedView(-0.5f), projection);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(signal.Count(), 0) << "a turn of half a degree started a sort";

    renderer->Draw(TurnedView(-1.0f), projection);
    ASSERT_TRUE(signal.WaitFor(1));
    // The result waits for the next draw, which uploads it.
    EXPECT_EQ(renderer->DrawOrder(), kStraightOrder);
    renderer->Draw(TurnedView(-1.0f), projection);
    EXPECT_EQ(renderer->DrawOrder(), kTurnedRightOrder);
    EXPECT_EQ(OrderOnGpu(), kTurnedRightOrder);

    // The next turn is measured from the applied order's direction.
    renderer->Draw(TurnedView(-1.5f), projection);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(signal.Count(), 1);
}

TEST_F(SplatSortThreadTest, SortThatFindsOneDepthChangesNothing)
{
    renderer = std::make_unique<GaussianSplatRenderer>(signal.Callback());
    ASSERT_TRUE(renderer->UploadSplats(RoundSplats({{-1, 0, 0}, {1, 0, 0}, {0, 1, 0}})));
    renderer->Draw(TurnedView(0.0f), projection);
    std::this_thread::sleep_for(100ms);
    renderer->Draw(TurnedView(0.0f), projection);
    EXPECT_EQ(signal.Count(), 0);
    EXPECT_EQ(renderer->DrawOrder(), (std::vector<uint32_t>{0, 1, 2}));
}

TEST_F(SplatSortThreadTest, ReleaseWaitsForARunningSort)
{
    Start(300ms);
    renderer->Draw(TurnedView(-3.0f), projection);
    renderer->ReleaseGpuResources();
    EXPECT_EQ(signal.Count(), 1);
    EXPECT_EQ(renderer->SplatCount(), 0u);
    EXPECT_TRUE(renderer->DrawOrder().empty());
    // Nothing is left to draw, and a finished result is not applied to the empty renderer.
    renderer->Draw(TurnedView(-3.0f), projection);
    EXPECT_TRUE(renderer->DrawOrder().empty());

    // Uploading again drops any result of the previous scene and sorts anew.
    ASSERT_TRUE(renderer->UploadSplats(RoundSplats(kPairAndBackdrop, 0.2f)));
    EXPECT_EQ(renderer->DrawOrder(), (std::vector<uint32_t>{0, 1, 2}));
}

TEST_F(SplatSortThreadTest, DestructionWaitsForARunningSort)
{
    Start(300ms);
    renderer->Draw(TurnedView(-3.0f), projection);
    renderer.reset();
    EXPECT_EQ(signal.Count(), 1);
}

TEST_F(SplatSortThreadTest, UploadAndSortNowWaitForARunningSort)
{
    Start(300ms);
    renderer->Draw(TurnedView(-3.0f), projection);
    renderer->SortNow(TurnedView(3.0f));
    EXPECT_EQ(signal.Count(), 1);
    // The background result (turned right) was dropped in favour of the immediate one.
    renderer->Draw(TurnedView(3.0f), projection);
    EXPECT_EQ(renderer->DrawOrder(), kStraightOrder);

    renderer->Draw(TurnedView(-3.0f), projection);
    ASSERT_TRUE(renderer->UploadSplats(RoundSplats(kPairAndBackdrop, 0.2f)));
    EXPECT_EQ(signal.Count(), 2);
}

}  // namespace
