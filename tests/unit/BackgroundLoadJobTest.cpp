#include "app/BackgroundLoadJob.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using IntLoadJob = BackgroundLoadJob<ReadResult<int>>;

ReadResult<int> FailedRead(const std::string&, ReadFailure failure)
{
    return failure;
}

ReadResult<int> WaitForTheJob(IntLoadJob& job)
{
    while (!job.Finished())
        std::this_thread::yield();
    return job.TakeResult();
}

TEST(BackgroundLoadJob, AnExceptionOnTheWorkerIsAFailedReadTooLargeOnlyWhenMemoryRanOut)
{
    struct Case {
        const char* name;
        std::function<void()> raise;
        ReadError expected;
        std::string inReason;
    };
    const std::vector<Case> cases = {
        {"bad_alloc", [] { throw std::bad_alloc(); }, ReadError::TooLarge, ""},
        {"a size beyond any allocation", [] { std::vector<int>().reserve(std::vector<int>().max_size() + 1); },
         ReadError::TooLarge, ""},
        {"length_error", [] { throw std::length_error("row too long"); }, ReadError::TooLarge, "row too long"},
        {"runtime_error", [] { throw std::runtime_error("inflate state broken"); }, ReadError::Malformed,
         "inflate state broken"},
        {"out_of_range", [] { throw std::out_of_range("index 7 of 3"); }, ReadError::Malformed, "index 7 of 3"},
        {"not a standard exception", [] { throw 42; }, ReadError::Malformed, ""},
    };
    for (const Case& c : cases) {
        IntLoadJob job(
            "file.ply",
            [&c](const std::string&, const ReadOptions&) -> ReadResult<int> {
                c.raise();
                return 1;
            },
            FailedRead);
        const ReadResult<int> result = WaitForTheJob(job);
        ASSERT_FALSE(result) << c.name;
        EXPECT_EQ(result.Failure().code, c.expected) << c.name;
        EXPECT_NE(result.Failure().reason.find(c.inReason), std::string::npos) << c.name << ": " << result.Failure().reason;
    }
}

TEST(BackgroundLoadJob, HandsOverTheReadersResultWithItsPathProgressAndPool)
{
    ThreadPool pool(1);
    std::string readPath;
    ThreadPool* readPool = nullptr;
    IntLoadJob job(
        "scene.ply",
        [&](const std::string& path, const ReadOptions& options) -> ReadResult<int> {
            readPath = path;
            readPool = options.pool;
            ReportProgress(options, 0.25);
            ReportProgress(options, 0.75);
            return 17;
        },
        FailedRead, &pool);
    const ReadResult<int> result = WaitForTheJob(job);
    ASSERT_TRUE(result);
    EXPECT_EQ(result.Value(), 17);
    EXPECT_EQ(readPath, "scene.ply");
    EXPECT_EQ(job.Path(), "scene.ply");
    EXPECT_EQ(readPool, &pool);
    EXPECT_DOUBLE_EQ(job.Fraction(), 0.75);
}

// A reader that reports progress until it is told to stop, as a slow read of a large file would.
ReadResult<int> ReadUntilCancelled(const std::string&, const ReadOptions& options)
{
    for (int step = 0;; ++step) {
        if (!ReportProgress(options, step < 100 ? step / 100.0 : 0.99))
            return Fail(ReadError::Cancelled, "cancelled");
        std::this_thread::yield();
    }
}

TEST(BackgroundLoadJob, CancelStopsTheReadAtItsNextProgressReport)
{
    IntLoadJob job("slow.ply", ReadUntilCancelled, FailedRead);
    EXPECT_FALSE(job.IsCancelled());
    job.Cancel();
    EXPECT_TRUE(job.IsCancelled());
    const ReadResult<int> result = WaitForTheJob(job);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.Failure().code, ReadError::Cancelled);
}

TEST(BackgroundLoadJob, DestructionCancelsTheReadAndWaitsForIt)
{
    std::atomic<bool> returned{false};
    {
        IntLoadJob job(
            "slow.ply",
            [&returned](const std::string& path, const ReadOptions& options) {
                ReadResult<int> result = ReadUntilCancelled(path, options);
                returned = true;
                return result;
            },
            FailedRead);
    }
    EXPECT_TRUE(returned.load());
}

}  // namespace
