#include "BenchData.h"
#include "PeakMemory.h"

#include "scene/PointCloudData.h"
#include "io/laz/LazReader.h"
#include "platform/ThreadPool.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <thread>

// The LAZ decoder on the corpus files of the LAZ issue: LoadLaz (what the viewer decodes:
// xyz, and RGB where the format has it, as arrays) on one thread and on a pool of one
// thread per core, and a full decode of every field of every record on one thread.
// points_per_s is the figure the targets are stated in. peak_MiB is the resident
// memory one load added at its peak; budget_MiB is what the issue allows: the output
// arrays, one compressed and one decompressed chunk per thread, plus 10 % (or 16 MiB).

namespace {

std::filesystem::path LazCorpusFile(const std::string& name)
{
    return std::filesystem::path(ORRISK_TESTDATA_DIR) / "laz" / name;
}

unsigned AllThreads()
{
    return std::max(1u, std::thread::hardware_concurrency());
}

// The most points one chunk holds, found by decoding the file once (chunks reach the sink whole).
std::size_t LargestChunk(const std::string& path)
{
    std::size_t largest = 0;
    DecodeLazRecords(path, laz::kFieldXyz, [&](std::uint64_t, const unsigned char*, std::size_t count) {
        largest = std::max(largest, count);
    });
    return largest;
}

double BudgetBytes(const LazFileInfo& info, std::size_t points, std::size_t chunkPoints, bool colours, unsigned threads)
{
    const double arrays = static_cast<double>(points) * (sizeof(Eigen::Vector3f) + (colours ? sizeof(Eigen::Vector4f) : 0));
    const double chunk = static_cast<double>(chunkPoints) * info.header.recordLength;
    const double budget = arrays + 2 * chunk * threads;  // a compressed chunk is smaller than its records
    return budget + std::max(budget * 0.1, 16.0 * 1024 * 1024);
}

}  // namespace

static void BM_LoadLaz(benchmark::State& state, const char* name)
{
    const auto path = LazCorpusFile(name);
    if (!RequireBenchFile(state, path))
        return;
    const auto threads = static_cast<unsigned>(state.range(0));
    std::unique_ptr<ThreadPool> pool = threads > 1 ? std::make_unique<ThreadPool>(threads) : nullptr;
    const LazFileInfo info = ReadLazInfo(path.string()).Value();
    const std::size_t chunkPoints = LargestChunk(path.string());
    std::size_t points = 0;
    bool colours = false;
    double peak = 0;
    for (auto _ : state) {
        ResetPeakResidentBytes();
        const std::uint64_t before = ResidentBytes();
        ReadResult<PointCloudData> cloud = ReadLaz(path.string(), {{}, pool.get()});
        peak = std::max(peak, static_cast<double>(PeakResidentBytes() - before));
        if (!cloud) {
            state.SkipWithError(cloud.Failure().reason.c_str());
            return;
        }
        points = cloud.Value().positions.size();
        colours = cloud.Value().hasColors;
        benchmark::DoNotOptimize(cloud.Value().positions.data());
    }
    state.counters["threads"] = threads;
    state.counters["points_per_s"] = benchmark::Counter(static_cast<double>(points), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["peak_MiB"] = peak / (1024.0 * 1024.0);
    state.counters["budget_MiB"] = BudgetBytes(info, points, chunkPoints, colours, threads) / (1024.0 * 1024.0);
}
BENCHMARK_CAPTURE(BM_LoadLaz, bench_500k_f3, "bench_500k_f3.laz")->Arg(1)->Arg(AllThreads())->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_LoadLaz, lone_star_copc, "lone-star.copc.laz")->Arg(1)->Arg(AllThreads())->Unit(benchmark::kMillisecond)->UseRealTime();

// Every field of every record, the work the reference figures describe.
static void BM_DecodeLazAllFields(benchmark::State& state, const char* name)
{
    const auto path = LazCorpusFile(name);
    if (!RequireBenchFile(state, path))
        return;
    std::uint64_t points = 0;
    for (auto _ : state) {
        points = 0;
        const ReadResult<LazFileInfo> decoded = DecodeLazRecords(path.string(), laz::kAllFields,
            [&](std::uint64_t, const unsigned char* records, std::size_t count) {
                benchmark::DoNotOptimize(records);
                points += count;
            });
        if (!decoded) {
            state.SkipWithError(decoded.Failure().reason.c_str());
            return;
        }
    }
    state.counters["points_per_s"] = benchmark::Counter(static_cast<double>(points), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK_CAPTURE(BM_DecodeLazAllFields, bench_500k_f3, "bench_500k_f3.laz")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_DecodeLazAllFields, lone_star_copc, "lone-star.copc.laz")->Unit(benchmark::kMillisecond)->UseRealTime();
