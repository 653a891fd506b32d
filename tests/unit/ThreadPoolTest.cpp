#include "platform/ThreadPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

TEST(ThreadPool, ParallelForRunsEveryIndexExactlyOnce)
{
    ThreadPool pool(3);
    std::vector<std::atomic<int>> hits(1000);
    pool.ParallelFor(hits.size(), [&](std::size_t i) { hits[i].fetch_add(1); });
    for (const auto& hit : hits)
        EXPECT_EQ(hit.load(), 1);
    pool.ParallelFor(0, [](std::size_t) { FAIL() << "no index to run"; });
}

TEST(ThreadPool, ParallelForInsidePoolJobsDoesNotWaitOnABusyPool)
{
    ThreadPool pool(2);
    std::atomic<int> total{0};
    // Both workers run an outer task that itself fans out: the callers do the inner work.
    pool.ParallelFor(4, [&](std::size_t) { pool.ParallelFor(8, [&](std::size_t) { total.fetch_add(1); }); });
    EXPECT_EQ(total.load(), 32);
}

TEST(ThreadPool, FirstExceptionReachesTheCallerAfterTheOthersFinish)
{
    ThreadPool pool(2);
    std::atomic<int> ran{0};
    EXPECT_THROW(pool.ParallelFor(50,
                                  [&](std::size_t i) {
                                      ran.fetch_add(1);
                                      if (i == 3)
                                          throw std::runtime_error("bad chunk");
                                  }),
                 std::runtime_error);
    EXPECT_GE(ran.load(), 1);
    // The pool still works afterwards.
    std::atomic<int> after{0};
    pool.ParallelFor(10, [&](std::size_t) { after.fetch_add(1); });
    EXPECT_EQ(after.load(), 10);
}

TEST(ThreadPool, SubmitRunsJobsAndReportsTheirExceptions)
{
    ThreadPool pool(1);
    std::atomic<bool> ran{false};
    pool.Submit([&] { ran = true; }).get();
    EXPECT_TRUE(ran.load());
    auto failing = pool.Submit([] { throw std::runtime_error("job failed"); });
    EXPECT_THROW(failing.get(), std::runtime_error);
}

TEST(ThreadPool, WithoutAPoolTasksRunInOrderOnTheCaller)
{
    std::vector<std::size_t> order;
    ParallelFor(nullptr, 4, [&](std::size_t i) { order.push_back(i); });
    EXPECT_EQ(order, (std::vector<std::size_t>{0, 1, 2, 3}));
}

TEST(CancellationToken, CopiesShareOneFlag)
{
    CancellationToken token;
    const CancellationToken copy = token;
    EXPECT_FALSE(copy.IsCancelled());
    token.Cancel();
    EXPECT_TRUE(copy.IsCancelled());
}
