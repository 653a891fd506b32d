#include "BenchData.h"
#include "BenchPool.h"
#include "PeakMemory.h"

#include "io/splat/SplatReader.h"
#include "scene/GaussianData.h"

#include <algorithm>

// A splat scene opened as the document opens it (a fresh record, as on a first open). The
// counters give the file size and the most memory one load held beyond what the process had
// before it, beside the size of the record it produced; compare the time with
// BM_PlainRead/splat_1m_sh3 of the same run.
static void BM_LoadGaussianPly(benchmark::State& state, const char* name, bool onPool)
{
    const auto path = BenchDataFile(name);
    if (!RequireBenchFile(state, path))
        return;
    std::uint64_t peakExtra = 0;
    std::size_t recordBytes = 0;
    for (auto _ : state) {
        const std::uint64_t before = ResidentBytes();
        ResetPeakResidentBytes();
        {
            ReadResult<GaussianData> result = ReadGaussianPly(path.string(), BenchReadOptions(onPool));
            if (!result) {
                state.SkipWithError(result.Failure().reason.c_str());
                return;
            }
            const GaussianData data = result.TakeValue();
            benchmark::DoNotOptimize(data.positions.data());
            recordBytes = data.positions.size() * (sizeof(Eigen::Vector3f) * 3 + sizeof(Eigen::Vector4f) + sizeof(float)) +
                          data.shRest.size() * sizeof(float) + data.objectIds.size() * sizeof(std::uint32_t);
            peakExtra = std::max(peakExtra, PeakResidentBytes() - std::min(before, PeakResidentBytes()));
        }
    }
    const auto fileBytes = std::filesystem::file_size(path);
    state.SetBytesProcessed(static_cast<int64_t>(fileBytes) * state.iterations());
    state.counters["file_MB"] = static_cast<double>(fileBytes) / 1e6;
    state.counters["record_MB"] = static_cast<double>(recordBytes) / 1e6;
    state.counters["peak_MB"] = static_cast<double>(peakExtra) / 1e6;
}
BENCHMARK_CAPTURE(BM_LoadGaussianPly, splat_1m_sh3, "splat-1m-sh3.ply", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadGaussianPly, splat_1m_sh3_pool, "splat-1m-sh3.ply", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadGaussianPly, splat_200k_sh0_ids, "splat-200k-sh0-ids.ply", false)->Unit(benchmark::kMillisecond);
