#include "BenchData.h"
#include "BenchPool.h"

#include "io/las/LasReader.h"
#include "scene/PointCloudData.h"

#include <sys/resource.h>

// ReadLas against the plain read of the same file (BM_PlainRead/cloud_20m_f3). Every
// iteration loads into a fresh record, as a document opening the file would.
// peak_rss_MiB is the process's peak, so it describes ReadLas only when the filter selects
// this benchmark alone.
static void BM_LoadLas(benchmark::State& state, const char* name, bool onPool)
{
    const auto path = BenchDataFile(name);
    if (!RequireBenchFile(state, path))
        return;
    std::size_t points = 0;
    for (auto _ : state) {
        ReadResult<PointCloudData> result = ReadLas(path.string(), BenchReadOptions(onPool));
        if (!result) {
            state.SkipWithError(result.Failure().reason.c_str());
            return;
        }
        const PointCloudData cloud = result.TakeValue();
        points = cloud.positions.size();
        benchmark::DoNotOptimize(cloud.positions.data());
        benchmark::DoNotOptimize(cloud.colors.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(std::filesystem::file_size(path)) * state.iterations());
    state.counters["points"] = static_cast<double>(points);
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK_CAPTURE(BM_LoadLas, cloud_20m_f3, "cloud-20m-f3.las", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadLas, cloud_20m_f3_pool, "cloud-20m-f3.las", true)->Unit(benchmark::kMillisecond);
